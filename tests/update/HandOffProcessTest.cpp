#include <gtest/gtest.h>
#include <sys/stat.h>

#include <csignal>
#include <filesystem>

#include "HandOffSandbox.h"
#include "ReadOnlyFolder.h"
#include "TestSupport.h"
#include "ZipBuilder.h"

namespace fs = std::filesystem;
using testsupport::ChildProcess;
using testsupport::readFile;

namespace {

const char* const WINDOWS_CREATED = "[INFO] ApplicationManager::run: windows created.\n";
const char* const STARTING = "Application starting at: ";
constexpr int WAIT_MS = 60000;

ino_t inodeOf(const fs::path& path) {
    struct stat st {};
    ::stat(path.c_str(), &st);
    return st.st_ino;
}

// The client finds a downloaded package at start, hands over to the real updater next to
// itself and exits; the updater installs the package into the install folder and starts the
// client again.
TEST(HandOffProcessTest, DownloadedPackageIsInstalledAndTheClientComesBack) {
    updatetest::HandOffSandbox sandbox;
    sandbox.writeSettings(L"<group name=\"general\"><item name=\"isUpdate\" value=\"1\"/></group>");
    fs::create_directories(sandbox.updateFolder());
    updatetest::ZipBuilder()
        .add("Lumora", readFile(sandbox.client()), 0100755)
        .add("readme.txt", "Lumora, updated")
        .add("updateConfig.xml", updatetest::updateConfig({{"Lumora", "%CE1%\\%AppName%\\"},
                                                           {"readme.txt", "%CE1%\\%AppName%"}}))
        .write((sandbox.updateFolder() / "update.zip").string());
    const ino_t oldClient = inodeOf(sandbox.client());

    ChildProcess client;
    ASSERT_TRUE(client.start(sandbox.client().string(), {}, sandbox.environment()));
    int code = -1;
    ASSERT_TRUE(client.waitExit(WAIT_MS, code));
    EXPECT_EQ(code, 0);
    EXPECT_NE(sandbox.clientLog().find("[INFO] _tWinMain: run updater.\n"), std::string::npos);

    // The updater starts the installed client, which creates its windows.
    ASSERT_TRUE(testsupport::waitUntil([&] { return sandbox.clientLogCount(WINDOWS_CREATED) == 1; },
                                       WAIT_MS, 50))
        << sandbox.clientLog() << "\nupdater:\n"
        << sandbox.updaterLog();
    EXPECT_EQ(sandbox.clientLogCount(STARTING), 2U);
    EXPECT_EQ(readFile(sandbox.installFolder() / "readme.txt"), "Lumora, updated");
    EXPECT_NE(inodeOf(sandbox.client()), oldClient) << "the client was replaced";
    EXPECT_FALSE(fs::exists(sandbox.installFolder() / "Lumora_tmp"));
    EXPECT_FALSE(fs::exists(sandbox.updateFolder() / "update.zip"));
    EXPECT_TRUE(fs::is_empty(sandbox.updateFolder() / "tmpFiles"));
    EXPECT_EQ(sandbox.updaterLog().find("[ERROR]"), std::string::npos) << sandbox.updaterLog();
    EXPECT_TRUE(sandbox.runningPrograms("LumoraUpdate").empty());
    ASSERT_EQ(sandbox.runningPrograms("Lumora").size(), 1U);

    ASSERT_TRUE(sandbox.stopPrograms("Lumora"));
    EXPECT_NE(sandbox.settings().find(L"<item name=\"isUpdate\" value=\"0\"/>"),
              std::wstring::npos);
}

// A package that cannot be installed leaves the old client in place and running.
TEST(HandOffProcessTest, BrokenPackageLeavesTheOldClientRunning) {
    updatetest::HandOffSandbox sandbox;
    sandbox.writeSettings(L"<group name=\"general\"><item name=\"isUpdate\" value=\"1\"/></group>");
    fs::create_directories(sandbox.updateFolder());
    testsupport::writeFile(sandbox.updateFolder() / "update.zip", "truncated download");
    const ino_t oldClient = inodeOf(sandbox.client());

    ChildProcess client;
    ASSERT_TRUE(client.start(sandbox.client().string(), {}, sandbox.environment()));
    int code = -1;
    ASSERT_TRUE(client.waitExit(WAIT_MS, code));
    ASSERT_TRUE(testsupport::waitUntil([&] { return sandbox.clientLogCount(WINDOWS_CREATED) == 1; },
                                       WAIT_MS, 50))
        << sandbox.updaterLog();
    EXPECT_EQ(inodeOf(sandbox.client()), oldClient);
    EXPECT_NE(sandbox.updaterLog().find("[ERROR] ApplicationManager::unpackUpdate hz == NULL."),
              std::string::npos);
    EXPECT_NE(sandbox.updaterLog().find("[ERROR] updater : catch UpdateException - rollback."),
              std::string::npos);
    EXPECT_TRUE(fs::exists(sandbox.updateFolder() / "update.zip"));
    ASSERT_TRUE(sandbox.stopPrograms("Lumora"));
}

// The whole way: the client finds a newer version at the service and downloads it; at its
// next start it hands over to the updater, which installs the package and starts it again;
// the restarted client does not fetch the same version a second time.
TEST(HandOffProcessTest, NewerVersionIsDownloadedAndInstalledAtTheNextStart) {
    updatetest::HandOffSandbox sandbox;
    updatetest::ZipBuilder()
        .add("Lumora", readFile(sandbox.client()), 0100755)
        .add("readme.txt", "Lumora 2.0.0")
        .add("updateConfig.xml", updatetest::updateConfig({{"Lumora", "%CE1%\\%AppName%\\"},
                                                           {"readme.txt", "%CE1%\\%AppName%"}}))
        .write((sandbox.home() / "package.zip").string());
    sandbox.service.setPackage(readFile(sandbox.home() / "package.zip"));
    fixture::LumoraService::VersionInfo info;
    info.version = "2.0.0";
    sandbox.service.setVersionInfo(info);
    sandbox.writeSettings(L"");

    ChildProcess first;
    ASSERT_TRUE(first.start(sandbox.client().string(), {}, sandbox.environment()));
    ASSERT_TRUE(testsupport::waitUntil(
        [&] {
            return sandbox.settings().find(L"<item name=\"isUpdate\" value=\"1\"/>") !=
                   std::wstring::npos;
        },
        WAIT_MS, 50))
        << sandbox.clientLog();
    EXPECT_EQ(readFile(sandbox.updateFolder() / "update.zip"),
              readFile(sandbox.home() / "package.zip"));
    first.sendSignal(SIGTERM);
    int code = -1;
    ASSERT_TRUE(first.waitExit(WAIT_MS, code));
    EXPECT_EQ(code, 0);

    ChildProcess second;
    ASSERT_TRUE(second.start(sandbox.client().string(), {}, sandbox.environment()));
    ASSERT_TRUE(second.waitExit(WAIT_MS, code));
    EXPECT_EQ(code, 0);
    ASSERT_TRUE(testsupport::waitUntil([&] { return sandbox.clientLogCount(WINDOWS_CREATED) == 2; },
                                       WAIT_MS, 50))
        << sandbox.updaterLog();
    EXPECT_EQ(readFile(sandbox.installFolder() / "readme.txt"), "Lumora 2.0.0");
    EXPECT_EQ(sandbox.updaterLog().find("[ERROR]"), std::string::npos) << sandbox.updaterLog();
    ASSERT_TRUE(testsupport::waitUntil(
        [&] { return sandbox.service.count("GET", "/clientinfo/") == 2; }, WAIT_MS, 50));
    ASSERT_TRUE(sandbox.stopPrograms("Lumora"));
    EXPECT_EQ(sandbox.service.count("GET", fixture::LumoraService::PACKAGE_PATH), 1U);
    EXPECT_NE(sandbox.settings().find(L"<item name=\"succeeesLoadUpdate\" value=\"2.0.0\"/>"),
              std::wstring::npos);
}

}  // namespace

namespace {

// The client may hand over only when the waiting update is safely handed to the updater.
// With settings that cannot be saved (a read-only folder) it would find the update
// waiting again at every start and the two programs would restart each other without
// end; after three hand-offs that did not end the update it stops trying too, and a client
// whose program folder it cannot write to leaves the update to whoever installed it. In
// each case it logs why and starts normally, once.
TEST(HandOffProcessTest, WithoutASafeHandOffTheClientStartsNormally) {
    updatetest::HandOffSandbox sandbox;
    sandbox.writeSettings(L"<group name=\"general\"><item name=\"isUpdate\" value=\"1\"/></group>");
    fs::create_directories(sandbox.updateFolder());
    testsupport::writeFile(sandbox.updateFolder() / "update.zip", "a package");
    fs::create_directories(sandbox.appFolder() / "Jabber/Contacts");
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"read-only settings",
         "[ERROR] _tWinMain: the update cannot be handed over: general.isUpdate = 0 cannot be "
         "saved.\n"},
        {"three hand-offs",
         "[ERROR] _tWinMain: the update was handed over 3 times without being finished; it is "
         "left for now.\n"},
        {"read-only program folder",
         "[WARNING] _tWinMain: an update waits, but the program folder " +
             sandbox.installFolder().string() +
             " is not writable; updates are installed by whoever installed Lumora there; it is "
             "not installed.\n"}};
    for (const auto& [name, line] : cases) {
        SCOPED_TRACE(name);
        std::unique_ptr<testsupport::ReadOnlyFolder> readOnly;
        if (name == cases[0].first) {
            readOnly =
                std::make_unique<testsupport::ReadOnlyFolder>(sandbox.appFolder() / "Jabber");
            ASSERT_TRUE(readOnly->ok());
        } else if (name == cases[1].first) {
            testsupport::writeFile(sandbox.updateFolder() / "install.pending", "3\n");
        } else {
            fs::remove(sandbox.updateFolder() / "install.pending");
            readOnly = std::make_unique<testsupport::ReadOnlyFolder>(sandbox.installFolder());
            ASSERT_TRUE(readOnly->ok());
        }
        const std::size_t starts = sandbox.clientLogCount(STARTING);
        ChildProcess client;
        ASSERT_TRUE(client.start(sandbox.client().string(), {}, sandbox.environment()));
        ASSERT_TRUE(testsupport::waitUntil(
            [&] { return sandbox.clientLogCount(WINDOWS_CREATED) == starts + 1; }, WAIT_MS, 50))
            << sandbox.clientLog();
        EXPECT_EQ(sandbox.clientLogCount(line), 1U) << sandbox.clientLog();
        EXPECT_EQ(sandbox.clientLogCount("run updater"), 0U);
        client.sendSignal(SIGTERM);
        int code = -1;
        ASSERT_TRUE(client.waitExit(WAIT_MS, code));
        EXPECT_EQ(code, 0);
        EXPECT_EQ(sandbox.clientLogCount(STARTING), starts + 1);
    }
    EXPECT_FALSE(fs::exists(sandbox.updaterLogFile())) << "the updater ran";
    EXPECT_NE(sandbox.settings().find(L"<item name=\"isUpdate\" value=\"1\"/>"), std::wstring::npos)
        << "the update still waits";
}

// An installation that was cut short (the updater killed while it moved files: a new
// readme in place, the old one as its backup, the journal, the hand-off marker, and
// general.isUpdate already cleared) is finished at the client's next start: the client
// hands over again, the updater undoes the half installation and installs the package.
TEST(HandOffProcessTest, AnInstallationCutShortIsFinishedAtTheNextStart) {
    updatetest::HandOffSandbox sandbox;
    sandbox.writeSettings(L"<group name=\"general\"><item name=\"isUpdate\" value=\"0\"/></group>");
    fs::create_directories(sandbox.updateFolder());
    updatetest::ZipBuilder()
        .add("Lumora", readFile(sandbox.client()), 0100755)
        .add("readme.txt", "Lumora, updated")
        .add("updateConfig.xml", updatetest::updateConfig({{"Lumora", "%CE1%\\%AppName%\\"},
                                                           {"readme.txt", "%CE1%\\%AppName%"}}))
        .write((sandbox.updateFolder() / "update.zip").string());
    const fs::path readme = sandbox.installFolder() / "readme.txt";
    testsupport::writeFile(readme, "half way");
    testsupport::writeFile(sandbox.installFolder() / "readme.txt_tmp", "Lumora, old");
    testsupport::writeFile(sandbox.updateFolder() / "install.journal",
                           "lumora-install-journal 1\nstate moving\nfile 1 " +
                               (sandbox.installFolder() / "Lumora").string() + "\nfile 1 " +
                               readme.string() + "\n");
    testsupport::writeFile(sandbox.updateFolder() / "install.pending", "1\n");

    ChildProcess client;
    ASSERT_TRUE(client.start(sandbox.client().string(), {}, sandbox.environment()));
    int code = -1;
    ASSERT_TRUE(client.waitExit(WAIT_MS, code));
    EXPECT_EQ(code, 0);
    ASSERT_TRUE(testsupport::waitUntil([&] { return sandbox.clientLogCount(WINDOWS_CREATED) == 1; },
                                       WAIT_MS, 50))
        << sandbox.clientLog() << "\nupdater:\n"
        << sandbox.updaterLog();
    EXPECT_NE(sandbox.updaterLog().find("[INFO] updater : an interrupted installation is rolled "
                                        "back.\n"),
              std::string::npos);
    EXPECT_EQ(readFile(readme), "Lumora, updated");
    EXPECT_FALSE(fs::exists(sandbox.installFolder() / "readme.txt_tmp"));
    EXPECT_FALSE(fs::exists(sandbox.updateFolder() / "install.journal"));
    EXPECT_FALSE(fs::exists(sandbox.updateFolder() / "install.pending"));
    EXPECT_FALSE(fs::exists(sandbox.updateFolder() / "update.zip"));
    EXPECT_EQ(sandbox.updaterLog().find("[ERROR]"), std::string::npos) << sandbox.updaterLog();
    ASSERT_TRUE(sandbox.stopPrograms("Lumora"));
}

}  // namespace
