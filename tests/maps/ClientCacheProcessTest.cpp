#include <gtest/gtest.h>
#include <signal.h>

#include "CacheTestSupport.h"
#include "ClientProcess.h"
#include "ReadOnlyFolder.h"
#include "TestSupport.h"
#include "kestra/TextCodec.h"

namespace fs = std::filesystem;

namespace {

const char* const WINDOWS_CREATED = "[INFO] ApplicationManager::run: windows created.\n";

// The real client at start-up and at the end, with its cache in the application folder.
class ClientCacheProcessTest : public ::testing::Test {
protected:
    void SetUp() override {
        // Cached maps only, every host on this machine: the client reaches nothing outside.
        sandbox.writeSettings(
            L"<settings><group name=\"maps\"><item name=\"inetMode\" value=\"1\"/>"
            L"<item name=\"loaderName\" value=\"2\"/>"
            L"<item name=\"openStreet.tileHost\" value=\"http://127.0.0.1:9\"/></group>"
            L"</settings>");
    }
    fs::path indexFile() const { return sandbox.appFolder() / ".lumoracache.index"; }
    void runOnce() {
        testsupport::ChildProcess client;
        ASSERT_TRUE(client.start(sandbox.installedProgram().string(), {}, sandbox.environment()));
        ASSERT_TRUE(sandbox.waitForLog(WINDOWS_CREATED)) << sandbox.log();
        client.sendSignal(SIGTERM);
        int code = -1;
        ASSERT_TRUE(client.waitExit(60000, code));
        EXPECT_EQ(code, 0);
    }
    ClientSandbox sandbox;
};

TEST_F(ClientCacheProcessTest, ADamagedCacheIsStartedAgainEmpty) {
    testsupport::writeFile(indexFile(),
                           kestra::wideToUtf16le(L"1\nnextItem\ngoogle\n0\n"));  // bad first token
    testsupport::writeFile(sandbox.appFolder() / ".lumoracache", "old bytes");
    runOnce();
    EXPECT_NE(sandbox.log().find("[ERROR] CacheManager::loadIndex: Can not load index."),
              std::string::npos)
        << sandbox.log();
    EXPECT_EQ(cachetest::indexTokens(indexFile()), std::vector<std::wstring>{L"0"});
    EXPECT_FALSE(fs::exists(sandbox.appFolder() / ".lumoracache"));
}

TEST_F(ClientCacheProcessTest, AGoodCacheIsKeptAcrossARun) {
    const std::wstring index =
        L"1\nnextIndex\nopenStreet\n1\n4/3/7\n1\nnextItem\n<empty>\npng\n0\n4\n1\n2\n";
    testsupport::writeFile(indexFile(), kestra::wideToUtf16le(index));
    testsupport::writeFile(sandbox.appFolder() / ".lumoracache", "tile");
    runOnce();
    EXPECT_EQ(cachetest::indexTokens(indexFile()).at(4), L"4/3/7");
    EXPECT_EQ(testsupport::readFile(sandbox.appFolder() / ".lumoracache"), "tile");
    EXPECT_EQ(sandbox.log().find("Can not load index"), std::string::npos);
}

// A configured cache folder that exists but where the index cannot be created: the
// client starts all the same, with the cache in the application folder.
TEST_F(ClientCacheProcessTest, ACacheFolderThatCannotHoldTheIndexGivesWayToTheApplicationFolder) {
    const fs::path locked = sandbox.home() / "locked cache";
    fs::create_directories(locked);
    sandbox.writeSettings(
        L"<settings><group name=\"maps\"><item name=\"inetMode\" value=\"1\"/>"
        L"<item name=\"loaderName\" value=\"2\"/>"
        L"<item name=\"cachePlace\" value=\"" +
        locked.wstring() +
        L"\"/><item name=\"openStreet.tileHost\" value=\"http://127.0.0.1:9\"/></group>"
        L"</settings>");
    testsupport::ReadOnlyFolder readOnly(locked);
    ASSERT_TRUE(readOnly.ok());
    runOnce();
    EXPECT_NE(sandbox.log().find("[ERROR] _tWinMain: the tile cache cannot be written in " +
                                 locked.string() + "; the application folder is used."),
              std::string::npos)
        << sandbox.log();
    EXPECT_EQ(sandbox.log().find("CacheSavingException"), std::string::npos);
    EXPECT_EQ(cachetest::indexTokens(indexFile()), std::vector<std::wstring>{L"0"});
    EXPECT_TRUE(fs::is_empty(locked));
}

}  // namespace
