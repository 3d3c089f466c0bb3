#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

#include "TestSupport.h"
#include "UpdateSandbox.h"
#include "ZipBuilder.h"
#include "kestra/Log.h"
#include "update/ApplicationManager.h"

namespace fs = std::filesystem;
using testsupport::readFile;
using testsupport::writeFile;
using updatetest::updateConfig;
using updatetest::ZipBuilder;

namespace {

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

class UpdaterInstallTest : public ::testing::Test {
protected:
    void SetUp() override { sandbox_.openUpdaterLog(); }

    bool runUpdate() {
        updater::ApplicationManager manager(
            sandbox_.paths(),
            updater::PlaceholderTable::fromSystem(sandbox_.programFolder().wstring()),
            sandbox_.programFolder().wstring());
        const bool result = manager.processUpdate();
        kestra::Log::close();
        return result;
    }
    void writePackage(ZipBuilder& zip, const std::string& config) {
        zip.add("updateConfig.xml", config).write(sandbox_.package().string());
    }
    // The program that started, when it did within a few seconds; none must start twice.
    void expectOnlyStarted(const std::string& name) {
        ASSERT_TRUE(sandbox_.waitStarted(name));
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        EXPECT_EQ(sandbox_.startedPrograms(), std::vector<std::string>{name});
    }
    fs::path installFolder() const { return sandbox_.programFolder(); }
    fs::path dataFolder() const { return sandbox_.dataFolder() / "Lumora"; }
    std::string log() const { return sandbox_.updaterLog(); }

    updatetest::UpdateSandbox sandbox_;
};

}  // namespace

TEST_F(UpdaterInstallTest, InstallsReplacesAndCleansUp) {
    writeFile(installFolder() / "readme.txt", "old readme");
    writeFile(installFolder() / "readme.txt_tmp", "stale backup of an earlier run");
    fs::create_directories(sandbox_.tempFolder() / "old/sub");
    writeFile(sandbox_.tempFolder() / "old/sub/left.txt", "left by an earlier package");
    ZipBuilder zip;
    zip.add("Lumora", sandbox_.standInScript("Lumora-2"), 0100755)
        .add("readme.txt", "new readme")
        .add("locale/de.xml", "<language/>");
    writePackage(zip, updateConfig({{"Lumora", "%CE1%\\%AppName%\\"},
                                    {"readme.txt", "%CE1%\\%AppName%"},
                                    {"locale\\de.xml", "%CE19%\\%AppName%\\"}}));

    EXPECT_TRUE(runUpdate());
    EXPECT_EQ(readFile(installFolder() / "readme.txt"), "new readme");
    EXPECT_EQ(readFile(dataFolder() / "locale/de.xml"), "<language/>");
    EXPECT_FALSE(fs::exists(installFolder() / "readme.txt_tmp"));
    EXPECT_FALSE(fs::exists(installFolder() / "Lumora_tmp"));
    EXPECT_FALSE(fs::exists(sandbox_.package()));
    EXPECT_TRUE(fs::is_empty(sandbox_.tempFolder()));
    EXPECT_FALSE(contains(log(), "[ERROR]"));
    expectOnlyStarted("Lumora-2");  // the new client, from its own folder
}

TEST_F(UpdaterInstallTest, WithoutAPackageTheClientStartsAgain) {
    fs::create_directories(sandbox_.tempFolder() / "sub");
    writeFile(sandbox_.tempFolder() / "stale.txt", "x");
    writeFile(sandbox_.tempFolder() / "sub/stale.txt", "x");
    EXPECT_FALSE(runUpdate());
    EXPECT_TRUE(contains(log(), "[ERROR] updater : catch UpdateException - rollback."));
    EXPECT_TRUE(fs::is_empty(sandbox_.tempFolder()));
    expectOnlyStarted("Lumora");
}

TEST_F(UpdaterInstallTest, BrokenPackagesChangeNothing) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"<html>502 Bad Gateway</html>", "ApplicationManager::unpackUpdate hz == NULL."},
        {"", "ApplicationManager::unpackUpdate hz == NULL."},
    };
    writeFile(installFolder() / "readme.txt", "old readme");
    for (const auto& [bytes, line] : cases) {
        writeFile(sandbox_.package(), bytes);
        sandbox_.openUpdaterLog();
        EXPECT_FALSE(runUpdate());
        EXPECT_TRUE(contains(log(), "[ERROR] " + line));
        EXPECT_TRUE(fs::exists(sandbox_.package()));  // kept for another try
    }
    ZipBuilder zip;
    zip.add("readme.txt", "new").addLink("lib", "/usr/lib");
    writePackage(zip, updateConfig({{"readme.txt", "%CE1%\\%AppName%"}}));
    sandbox_.openUpdaterLog();
    EXPECT_FALSE(runUpdate());
    EXPECT_TRUE(contains(log(), "[ERROR] ApplicationManager::unpackUpdate UnzipItem != ZR_OK."));
    EXPECT_EQ(readFile(installFolder() / "readme.txt"), "old readme");
    EXPECT_EQ(updatetest::filesBelow(installFolder()),
              (std::vector<std::string>{"Lumora", "readme.txt"}));
    EXPECT_TRUE(sandbox_.waitStarted("Lumora", 3));
}

TEST_F(UpdaterInstallTest, FilesMissingFromThePackageOrUnknownPlaceholdersTouchNothing) {
    writeFile(installFolder() / "readme.txt", "old readme");
    const std::vector<std::string> configs = {
        updateConfig({{"readme.txt", "%CE1%\\%AppName%"}, {"absent.dll", "%CE1%\\%AppName%"}}),
        updateConfig({{"readme.txt", "%CE1%\\%AppName%"}, {"x.dll", "%CE3%\\%AppName%"}}),
        updateConfig({{"readme.txt", "%CE1%\\%AppName%"}, {"x.dll", "relative\\folder"}}),
    };
    for (const std::string& config : configs) {
        ZipBuilder zip;
        zip.add("readme.txt", "new readme").add("x.dll", "x");
        writePackage(zip, config);
        sandbox_.openUpdaterLog();
        EXPECT_FALSE(runUpdate());
        EXPECT_EQ(readFile(installFolder() / "readme.txt"), "old readme");
        EXPECT_EQ(updatetest::filesBelow(installFolder()),
                  (std::vector<std::string>{"Lumora", "readme.txt"}));
        EXPECT_FALSE(contains(log(), "Move error"));
    }
    EXPECT_TRUE(sandbox_.waitStarted("Lumora", configs.size()));
}

TEST_F(UpdaterInstallTest, FailureAtTheThirdOfFourFilesRestoresTheFirstTwo) {
    const fs::path locked = sandbox_.root() / "locked";
    fs::create_directories(locked);
    writeFile(installFolder() / "a.txt", "old a");
    writeFile(installFolder() / "b.txt", "old b");
    writeFile(installFolder() / "d.txt", "old d");
    ZipBuilder zip;
    zip.add("a.txt", "new a").add("b.txt", "new b").add("c.txt", "new c").add("d.txt", "new d");
    writePackage(zip, updateConfig({{"a.txt", "%CE1%\\%AppName%"},
                                    {"b.txt", "%CE1%\\%AppName%"},
                                    {"c.txt", locked.string()},
                                    {"d.txt", "%CE1%\\%AppName%"}}));
    {
        updatetest::ReadOnlyFolder readOnly(locked);
        ASSERT_TRUE(readOnly.ok());
        EXPECT_FALSE(runUpdate());
    }
    EXPECT_EQ(readFile(installFolder() / "a.txt"), "old a");
    EXPECT_EQ(readFile(installFolder() / "b.txt"), "old b");
    EXPECT_EQ(readFile(installFolder() / "d.txt"), "old d");
    EXPECT_EQ(updatetest::filesBelow(installFolder()),
              (std::vector<std::string>{"Lumora", "a.txt", "b.txt", "d.txt"}));
    EXPECT_TRUE(fs::is_empty(locked));
    EXPECT_TRUE(contains(log(), "[ERROR] Process update: Move error while update files:." +
                                    (sandbox_.tempFolder() / "c.txt").string()));
    EXPECT_TRUE(contains(log(), "[ERROR] updater : catch UpdateException - rollback."));
    EXPECT_FALSE(contains(log(), "while rollback"));
    EXPECT_TRUE(fs::exists(sandbox_.package()));
    expectOnlyStarted("Lumora");
}

TEST_F(UpdaterInstallTest, AReadOnlyDestinationStopsTheBackupsAndRestoresEarlierOnes) {
    const fs::path locked = sandbox_.root() / "locked";
    fs::create_directories(locked);
    writeFile(installFolder() / "a.txt", "old a");
    writeFile(locked / "b.txt", "old b");
    ZipBuilder zip;
    zip.add("a.txt", "new a").add("b.txt", "new b");
    writePackage(zip, updateConfig({{"a.txt", "%CE1%\\%AppName%"}, {"b.txt", locked.string()}}));
    {
        updatetest::ReadOnlyFolder readOnly(locked);
        ASSERT_TRUE(readOnly.ok());
        EXPECT_FALSE(runUpdate());
    }
    EXPECT_EQ(readFile(installFolder() / "a.txt"), "old a");
    EXPECT_FALSE(fs::exists(installFolder() / "a.txt_tmp"));
    EXPECT_EQ(readFile(locked / "b.txt"), "old b");
    EXPECT_TRUE(contains(log(), "[ERROR] Process update: Move error while rename files:." +
                                    (locked / "b.txt").string()));
    expectOnlyStarted("Lumora");
}

TEST_F(UpdaterInstallTest, PostUpdateProgramRunsInsteadOfTheClient) {
    ZipBuilder zip;
    zip.add("readme.txt", "new readme")
        .add("tools/post.sh", sandbox_.standInScript("post"), 0100755)
        .add("other.txt", "goes with the temporary folder");
    writePackage(zip, updateConfig({{"readme.txt", "%CE1%\\%AppName%"}}, "tools\\post.sh"));
    EXPECT_TRUE(runUpdate());
    EXPECT_TRUE(contains(log(), "[INFO] updater :run postupdate exe."));
    expectOnlyStarted("post");
    // The running program keeps its file until the next run; everything else is gone.
    EXPECT_EQ(updatetest::filesBelow(sandbox_.tempFolder()),
              std::vector<std::string>{"tools/post.sh"});
}

TEST_F(UpdaterInstallTest, FailedUpdateOrUnstartablePostUpdateProgramStartsTheClient) {
    ZipBuilder zip;
    zip.add("post.sh", sandbox_.standInScript("post"), 0100755);
    writePackage(zip, updateConfig({{"missing.txt", "%CE1%\\%AppName%"}}, "post.sh"));
    EXPECT_FALSE(runUpdate());
    expectOnlyStarted("Lumora");

    fs::remove(sandbox_.root() / "started.txt");
    ZipBuilder notRunnable;
    notRunnable.add("readme.txt", "new").add("post.sh", "not executable", 0100644);
    writePackage(notRunnable, updateConfig({{"readme.txt", "%CE1%\\%AppName%"}}, "post.sh"));
    sandbox_.openUpdaterLog();
    EXPECT_TRUE(runUpdate());
    EXPECT_TRUE(contains(log(), "[ERROR] LumoraUpdateManager::runExe error while ShellExecuteEx."));
    expectOnlyStarted("Lumora");
}

TEST_F(UpdaterInstallTest, HostileNamesInstallOnlyIntoTheNamedFolders) {
    ZipBuilder zip;
    zip.add("..\\..\\..\\evil.txt", "evil").add("/etc/cron.d/job", "job");
    writePackage(zip, updateConfig({{"..\\..\\..\\evil.txt", "%CE19%\\%AppName%"},
                                    {"/etc/cron.d/job", "%CE19%\\%AppName%"}}));
    const auto before = updatetest::filesBelow(sandbox_.root());
    EXPECT_TRUE(runUpdate());
    EXPECT_EQ(readFile(dataFolder() / "evil.txt"), "evil");
    EXPECT_EQ(readFile(dataFolder() / "etc/cron.d/job"), "job");
    ASSERT_TRUE(sandbox_.waitStarted("Lumora"));
    auto after = updatetest::filesBelow(sandbox_.root());
    std::vector<std::string> added;
    std::set_difference(after.begin(), after.end(), before.begin(), before.end(),
                        std::back_inserter(added));
    EXPECT_EQ(added,
              (std::vector<std::string>{"home/.local/share/Lumora/etc/cron.d/job",
                                        "home/.local/share/Lumora/evil.txt", "started.txt"}));
}

// A package made where files have no Unix modes: the client, the updater and every file
// the configuration marks as a program are installed executable; other files are not.
TEST_F(UpdaterInstallTest, ProgramsOfAPackageWithoutFileModesAreInstalledExecutable) {
    ZipBuilder zip;
    zip.add("Lumora", sandbox_.standInScript("Lumora-2"), 0)
        .add("LumoraUpdate", "#!/bin/sh\n", 0)
        .add("tools/helper", "#!/bin/sh\n", 0)
        .add("readme.txt", "new readme", 0);
    writePackage(zip,
                 "<update><appName>Lumora</appName><files>"
                 "<file value=\"Lumora\"><path>%CE1%\\%AppName%</path></file>"
                 "<file value=\"LumoraUpdate\"><path>%CE1%\\%AppName%</path></file>"
                 "<file value=\"tools\\helper\" program=\"1\"><path>%CE1%\\%AppName%</path></file>"
                 "<file value=\"readme.txt\"><path>%CE1%\\%AppName%</path></file>"
                 "</files></update>");
    EXPECT_TRUE(runUpdate());
    const auto mode = [&](const char* name) {
        return fs::status(installFolder() / name).permissions() & fs::perms::all;
    };
    EXPECT_EQ(mode("Lumora"), fs::perms(0755));
    EXPECT_EQ(mode("LumoraUpdate"), fs::perms(0755));
    EXPECT_EQ(mode("tools/helper"), fs::perms(0755));
    EXPECT_EQ(mode("readme.txt"), fs::perms(0644));
    expectOnlyStarted("Lumora-2");
}

// A new client that cannot be started (here: not a program at all) is rolled back; the
// old client comes back and starts, and the update does not count as done.
TEST_F(UpdaterInstallTest, AnInstalledClientThatCannotStartIsRolledBack) {
    const std::string oldClient = readFile(installFolder() / "Lumora");
    writeFile(installFolder() / "readme.txt", "old readme");
    ZipBuilder zip;
    zip.add("Lumora",
            "\x7f"
            "ELF, but cut short",
            0100755)
        .add("readme.txt", "new readme");
    writePackage(
        zip, updateConfig({{"Lumora", "%CE1%\\%AppName%"}, {"readme.txt", "%CE1%\\%AppName%"}}));
    EXPECT_FALSE(runUpdate());
    EXPECT_EQ(readFile(installFolder() / "Lumora"), oldClient);
    EXPECT_EQ(readFile(installFolder() / "readme.txt"), "old readme");
    EXPECT_EQ(updatetest::filesBelow(installFolder()),
              (std::vector<std::string>{"Lumora", "readme.txt"}));
    EXPECT_TRUE(contains(log(), "[ERROR] updater : the installed client cannot be started."));
    EXPECT_TRUE(contains(log(), "[ERROR] updater : catch UpdateException - rollback."));
    expectOnlyStarted("Lumora");
}

// A termination request in the middle of the installation: what was moved is put back,
// nothing is started, and the package still waits for the next start, which installs it.
TEST_F(UpdaterInstallTest, ATerminationRequestDuringTheInstallationRollsBackAndKeepsItWaiting) {
    writeFile(sandbox_.paths().pendingMarker, "1\n");
    ZipBuilder zip;
    std::vector<std::pair<std::string, std::string>> files;
    for (int i = 0; i < 6; ++i) {
        const std::string name = "f" + std::to_string(i) + ".txt";
        writeFile(installFolder() / name, "old " + name);
        zip.add(name, "new " + name);
        files.push_back({name, "%CE1%\\%AppName%"});
    }
    writePackage(zip, updateConfig(files));
    int asked = 0;
    updater::ApplicationManager manager(
        sandbox_.paths(), updater::PlaceholderTable::fromSystem(installFolder().wstring()),
        installFolder().wstring(), [&] { return ++asked > 3; });  // after the second backup
    EXPECT_FALSE(manager.processUpdate());
    EXPECT_TRUE(manager.wasInterrupted());
    for (int i = 0; i < 6; ++i) {
        const std::string name = "f" + std::to_string(i) + ".txt";
        EXPECT_EQ(readFile(installFolder() / name), "old " + name);
    }
    EXPECT_EQ(updatetest::filesBelow(installFolder()).size(), 7u) << "no backup is left";
    EXPECT_TRUE(fs::exists(sandbox_.package()));
    EXPECT_TRUE(fs::exists(sandbox_.paths().pendingMarker));
    EXPECT_FALSE(fs::exists(sandbox_.paths().journal));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_TRUE(sandbox_.startedPrograms().empty());

    EXPECT_TRUE(runUpdate());
    EXPECT_EQ(readFile(installFolder() / "f5.txt"), "new f5.txt");
    EXPECT_FALSE(fs::exists(sandbox_.paths().pendingMarker));
    expectOnlyStarted("Lumora");
}
