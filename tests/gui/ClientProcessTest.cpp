#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <regex>
#include <thread>

#include "ClientProcess.h"
#include "TestSupport.h"
#include "kestra/TextCodec.h"
#include "platform/SingleInstanceLock.h"

namespace fs = std::filesystem;
using testsupport::ChildProcess;
using testsupport::ScopedEnv;

namespace {

const char* const WINDOWS_CREATED = "[INFO] ApplicationManager::run: windows created.\n";
constexpr int EXIT_WAIT_MS = 60000;

class ClientProcessTest : public ::testing::Test {
protected:
    bool startClient(ChildProcess& process) {
        return process.start(sandbox.installedProgram().string(), {}, sandbox.environment());
    }
    int stopWith(ChildProcess& process, int signal) {
        process.sendSignal(signal);
        int code = -1;
        EXPECT_TRUE(process.waitExit(EXIT_WAIT_MS, code)) << "the client did not end";
        return code;
    }
    ClientSandbox sandbox;
};

TEST_F(ClientProcessTest, FirstStartCreatesFoldersLogAndDefaultsAndSigtermSaves) {
    ChildProcess client;
    ASSERT_TRUE(startClient(client));
    ASSERT_TRUE(sandbox.waitForLog(WINDOWS_CREATED)) << sandbox.log();
    EXPECT_TRUE(fs::is_directory(sandbox.appFolder() / "Jabber"));
    EXPECT_TRUE(fs::is_directory(sandbox.appFolder() / "Jabber" / "Contacts"));
    EXPECT_EQ(fs::status(sandbox.appFolder()).permissions() & fs::perms::all, fs::perms::owner_all);
    const std::regex startLine(
        R"(^\[INFO\] \n\nApplication starting at: \d{4}/\d{2}/\d{2} \d{2}:\d{2}\n)");
    EXPECT_TRUE(std::regex_search(sandbox.log(), startLine)) << sandbox.log();
    // The store wrote its empty file at once; the defaults are saved at the end.
    const std::string bytes = testsupport::readFile(sandbox.settingsFile());
    EXPECT_EQ(bytes.substr(0, 4), std::string("<\0s\0", 4)) << "UTF-16LE, no BOM, no declaration";

    EXPECT_EQ(stopWith(client, SIGTERM), 0);
    const std::wstring saved = sandbox.settings();
    for (const wchar_t* expected :
         {L"<group name=\"maps\"><item name=\"loaderName\" value=\"0\"/>",
          L"<item name=\"host\" value=\"localhost\"/><item name=\"port\" value=\"5222\"/>",
          L"<item name=\"comPortName\" value=\"COM4:\"/><item name=\"useDriver\" value=\"1\"/>"}) {
        EXPECT_NE(saved.find(expected), std::wstring::npos) << kestra::wideToUtf8(expected);
    }
    EXPECT_NE(sandbox.log().find("signal 15 received"), std::string::npos);
}

TEST_F(ClientProcessTest, SigintIsAnOrderlyQuitToo) {
    ChildProcess client;
    ASSERT_TRUE(startClient(client));
    ASSERT_TRUE(sandbox.waitForLog(WINDOWS_CREATED));
    EXPECT_EQ(stopWith(client, SIGINT), 0);
    EXPECT_NE(sandbox.settings().find(L"comPortName"), std::wstring::npos);
}

TEST_F(ClientProcessTest, ASecondStartRaisesTheFirstAndExitsWithOne) {
    ChildProcess first;
    ASSERT_TRUE(startClient(first));
    ASSERT_TRUE(sandbox.waitForLog(WINDOWS_CREATED));
    ChildProcess second;
    ASSERT_TRUE(startClient(second));
    int code = -1;
    ASSERT_TRUE(second.waitExit(EXIT_WAIT_MS, code));
    EXPECT_EQ(code, 1);
    EXPECT_TRUE(sandbox.waitForLog("another start asked to bring the main window forward."));
    EXPECT_TRUE(first.isRunning());
    EXPECT_EQ(stopWith(first, SIGTERM), 0);
    const std::string log = sandbox.log();
    EXPECT_EQ(log.find("Application starting at"), log.rfind("Application starting at"))
        << "the second start wrote nothing to the log";
}

TEST_F(ClientProcessTest, ASecondStartGivesUpWhileTheFirstIsStillStarting) {
    // The lock is held but no window answers yet, as while the first client starts.
    ScopedEnv env;
    env.set("XDG_RUNTIME_DIR", sandbox.runtime().string());
    platform::SingleInstanceLock starting("KESTRA_LUMORA_APPLICATION_MUTEX");
    ASSERT_TRUE(starting.tryAcquire());
    ChildProcess second;
    ASSERT_TRUE(startClient(second));
    int code = -1;
    ASSERT_TRUE(second.waitExit(EXIT_WAIT_MS, code));
    EXPECT_EQ(code, 1);
    EXPECT_FALSE(fs::exists(sandbox.logFile()));
}

TEST_F(ClientProcessTest, APendingUpdateStartsTheUpdaterAndClearsTheFlag) {
    sandbox.writeSettings(
        L"<settings><group name=\"general\"><item name=\"isUpdate\" value=\"1\"/></group>"
        L"</settings>");
    sandbox.installedProgram();
    const fs::path marker = sandbox.installFolder() / "updater-ran";
    const fs::path updater = sandbox.installFolder() / "LumoraUpdate";
    testsupport::writeFile(updater, "#!/bin/sh\necho \"$#\" > \"" + marker.string() + "\"\n");
    fs::permissions(updater, fs::perms::owner_all);
    ChildProcess client;
    ASSERT_TRUE(startClient(client));
    int code = -1;
    ASSERT_TRUE(client.waitExit(EXIT_WAIT_MS, code));
    EXPECT_EQ(code, 0);
    EXPECT_TRUE(testsupport::waitUntil([&] { return fs::exists(marker); }, 10000));
    EXPECT_TRUE(
        testsupport::waitUntil([&] { return testsupport::readFile(marker) == "0\n"; }, 10000))
        << "the updater gets no arguments";
    EXPECT_NE(sandbox.settings().find(L"<item name=\"isUpdate\" value=\"0\"/>"),
              std::wstring::npos);
    EXPECT_NE(sandbox.log().find("[INFO] _tWinMain: run updater.\n"), std::string::npos);
    EXPECT_EQ(sandbox.log().find("windows created"), std::string::npos);
}

TEST_F(ClientProcessTest, APendingUpdateWithoutUpdaterStartsNormallyAndKeepsTheFlag) {
    sandbox.writeSettings(
        L"<settings><group name=\"general\"><item name=\"isUpdate\" value=\"1\"/></group>"
        L"</settings>");
    ChildProcess client;
    ASSERT_TRUE(startClient(client));
    ASSERT_TRUE(sandbox.waitForLog(WINDOWS_CREATED));
    EXPECT_NE(sandbox.log().find("[ERROR] _tWinMain DWORD(-1) == LUMORA_UPPDATE.\n"),
              std::string::npos);
    EXPECT_EQ(stopWith(client, SIGTERM), 0);
    EXPECT_NE(sandbox.settings().find(L"<item name=\"isUpdate\" value=\"1\"/>"),
              std::wstring::npos);
}

TEST_F(ClientProcessTest, ACorruptSettingsFileIsReplaced) {
    fs::create_directories(sandbox.settingsFile().parent_path());
    testsupport::writeFile(sandbox.settingsFile(), "<settings>8-bit text</settings>");
    ChildProcess client;
    ASSERT_TRUE(startClient(client));
    ASSERT_TRUE(sandbox.waitForLog(WINDOWS_CREATED));
    EXPECT_NE(sandbox.log().find("[ERROR] Settings::startup: -1 == xmlContent.find('settings').\n"),
              std::string::npos);
    EXPECT_EQ(stopWith(client, SIGTERM), 0);
    EXPECT_EQ(sandbox.settings().rfind(L"<settings>", 0), 0u);
    EXPECT_NE(sandbox.settings().find(L"COM4:"), std::wstring::npos);
}

TEST_F(ClientProcessTest, AContactsFolderThatCannotBeMadeEndsTheProgram) {
    fs::create_directories(sandbox.appFolder() / "Jabber");
    testsupport::writeFile(sandbox.appFolder() / "Jabber" / "Contacts", "a file in the way");
    ChildProcess client;
    ASSERT_TRUE(startClient(client));
    int code = -1;
    ASSERT_TRUE(client.waitExit(EXIT_WAIT_MS, code)) << "the client did not end";
    EXPECT_EQ(code, 1);
    const std::string log = sandbox.log();
    EXPECT_NE(log.find("[ERROR] LumoraContact::setContactsFolder, 0 == "
                       "CreateDirectory(LumoraContact::contactsFolder.c_str(),NULL)\n"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("[ERROR] catch(...)\n"), std::string::npos);
    EXPECT_EQ(log.find(WINDOWS_CREATED), std::string::npos);
}

}  // namespace

namespace {

TEST_F(ClientProcessTest, ALogThatCannotBeOpenedDoesNotStopTheClient) {
    fs::create_directories(sandbox.logFile());  // a folder where the log file should be
    ChildProcess client;
    ASSERT_TRUE(startClient(client));
    ASSERT_TRUE(testsupport::waitUntil([&] { return sandbox.settings().find(L"<settings") == 0; },
                                       EXIT_WAIT_MS));
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_TRUE(client.isRunning());
    EXPECT_EQ(stopWith(client, SIGTERM), 0);
    EXPECT_NE(sandbox.settings().find(L"COM4:"), std::wstring::npos);
}

}  // namespace

namespace {

// A settings file that exists but cannot be read may hold the only copy of the GID and
// password: the client refuses to start and leaves it as it is. (Run as root, the client
// is started without root's power to read any file.)
TEST_F(ClientProcessTest, ASettingsFileThatCannotBeReadStopsTheStartAndIsKept) {
    sandbox.writeSettings(
        L"<settings><group name=\"user\"><item name=\"lumoraid\" value=\"1000\"/></group>"
        L"</settings>");
    const std::string before = testsupport::readFile(sandbox.settingsFile());
    fs::permissions(sandbox.settingsFile(), fs::perms::none, fs::perm_options::replace);
    ChildProcess client;
    const std::string program = sandbox.installedProgram().string();
    if (::geteuid() == 0) {
        ASSERT_TRUE(client.start("/usr/bin/setpriv",
                                 {"--bounding-set=-dac_override,-dac_read_search",
                                  "--inh-caps=-dac_override,-dac_read_search", program},
                                 sandbox.environment()));
    } else {
        ASSERT_TRUE(client.start(program, {}, sandbox.environment()));
    }
    int code = -1;
    ASSERT_TRUE(client.waitExit(EXIT_WAIT_MS, code)) << "the client did not end";
    EXPECT_EQ(code, 1);
    const std::string log = sandbox.log();
    EXPECT_NE(
        log.find("[ERROR] Settings::startup: the settings file " + sandbox.settingsFile().string() +
                 " exists but cannot be read (Permission denied).\n"),
        std::string::npos)
        << log;
    EXPECT_NE(log.find("[ERROR] SettingsReadingException\n"), std::string::npos) << log;
    EXPECT_EQ(log.find(WINDOWS_CREATED), std::string::npos);
    fs::permissions(sandbox.settingsFile(), fs::perms::owner_read, fs::perm_options::replace);
    EXPECT_EQ(testsupport::readFile(sandbox.settingsFile()), before);
}

// Folders left open to others by an earlier version are closed at start; a lock folder in
// the temporary folder that another user made first does not stop the client, and the log
// says what happened.
TEST_F(ClientProcessTest, StartClosesOpenFoldersAndGetsPastAForeignLockFolder) {
    const fs::path contact = sandbox.appFolder() / "Jabber" / "Contacts" / "abc";
    fs::create_directories(contact);
    for (const fs::path& folder : {sandbox.appFolder(), sandbox.appFolder() / "Jabber",
                                   sandbox.appFolder() / "Jabber" / "Contacts", contact}) {
        fs::permissions(folder, fs::perms(0755), fs::perm_options::replace);
    }
    const fs::path tmp = sandbox.home() / "tmp";
    const fs::path usual = tmp / ("lumora-" + std::to_string(::getuid()));
    fs::create_directories(usual);
    fs::permissions(usual, fs::perms(0777), fs::perm_options::replace);
    if (::geteuid() == 0) {
        ASSERT_EQ(::chown(usual.c_str(), 65534, 65534), 0);
    }
    auto environment = sandbox.environment();
    environment["XDG_RUNTIME_DIR"] = "";  // removed
    environment["TMPDIR"] = tmp.string();
    ChildProcess client;
    ASSERT_TRUE(client.start(sandbox.installedProgram().string(), {}, environment));
    ASSERT_TRUE(sandbox.waitForLog(WINDOWS_CREATED)) << sandbox.log();
    EXPECT_NE(sandbox.log().find("[WARNING] _tWinMain: the lock folder " + usual.string()),
              std::string::npos)
        << sandbox.log();
    for (const fs::path& folder : {sandbox.appFolder(), sandbox.appFolder() / "Jabber",
                                   sandbox.appFolder() / "Jabber" / "Contacts", contact}) {
        EXPECT_EQ(fs::status(folder).permissions() & fs::perms::all, fs::perms::owner_all)
            << folder;
    }
    EXPECT_EQ(stopWith(client, SIGTERM), 0);
}

}  // namespace
