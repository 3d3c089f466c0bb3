#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <random>
#include <thread>

#include "TestSupport.h"
#include "UpdateSandbox.h"
#include "ZipBuilder.h"
#include "update/InstallJournal.h"

namespace fs = std::filesystem;
using testsupport::readFile;
using testsupport::writeFile;

namespace {

constexpr int FILES = 40;
constexpr int ROUNDS = 20;
constexpr int WAIT_MS = 60000;  // only keeps a broken test from hanging

std::string fileName(int i) {
    return "data/f" + std::to_string(i) + ".txt";
}

// The real updater, copied next to a stand-in client, installing a package of a new
// client and FILES other files over the old ones. Each round starts it as the client's
// hand-off would, kills it at a random moment (now and then with SIGTERM instead, which
// it must answer by finishing or rolling back), looks at what it left, then makes "the
// next start" the client would make and looks again.
class UpdaterCrashTest : public ::testing::Test {
protected:
    void SetUp() override {
        fs::copy_file(testsupport::binaryDir() / "LumoraUpdate", updater());
        oldClient_ = sandbox_.standInScript("Lumora-old");
        newClient_ = sandbox_.standInScript("Lumora-new");
        updatetest::ZipBuilder zip;
        std::vector<std::pair<std::string, std::string>> files = {{"Lumora", "%CE1%\\%AppName%"}};
        zip.add("Lumora", newClient_, 0100755);
        for (int i = 0; i < FILES; ++i) {
            zip.add(fileName(i), "new " + std::to_string(i));
            files.push_back({fileName(i), "%CE1%\\%AppName%"});
        }
        zip.add("updateConfig.xml", updatetest::updateConfig(files));
        package_ = (sandbox_.root() / "package.zip").string();
        zip.write(package_);
    }

    fs::path updater() const { return sandbox_.programFolder() / "LumoraUpdate"; }
    fs::path client() const { return sandbox_.programFolder() / "Lumora"; }
    fs::path journal() const { return fs::path(sandbox_.paths().journal); }
    fs::path marker() const { return fs::path(sandbox_.paths().pendingMarker); }

    // The old installation, a downloaded package and the client's hand-off marker.
    void prepareRound() {
        writeFile(client(), oldClient_);
        fs::permissions(client(), fs::perms(0755), fs::perm_options::replace);
        for (int i = 0; i < FILES; ++i) {
            writeFile(sandbox_.programFolder() / fileName(i), "old " + std::to_string(i));
        }
        fs::copy_file(package_, sandbox_.package(), fs::copy_options::overwrite_existing);
        writeFile(marker(), "1\n");
        fs::remove(sandbox_.root() / "started.txt");
    }

    // Runs the updater; kills it after delayMs (SIGKILL, or SIGTERM when asked), counted
    // from its start or, with fromJournal, from the moment its journal appears (when it
    // begins to move files). Returns false when it had already ended by then.
    bool runAndKill(int delayMs, int signal, bool fromJournal, int& exitCode) {
        testsupport::ChildProcess child;
        EXPECT_TRUE(child.start(updater().string(), {}));
        if (fromJournal) {
            testsupport::waitUntil([&] { return fs::exists(journal()) || !child.isRunning(); },
                                   WAIT_MS, 1);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
        const bool wasRunning = child.isRunning();
        child.sendSignal(signal);
        EXPECT_TRUE(child.waitExit(WAIT_MS, exitCode));
        return wasRunning;
    }

    // Each file holds all of its old or all of its new content, the client is a program.
    // Returns how many files are new.
    int checkEveryFileWhole() {
        EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(client())));
        EXPECT_EQ(::access(client().c_str(), X_OK), 0) << "the client cannot be started";
        const std::string clientText = readFile(client());
        EXPECT_TRUE(clientText == oldClient_ || clientText == newClient_) << clientText;
        int fresh = clientText == newClient_ ? 1 : 0;
        for (int i = 0; i < FILES; ++i) {
            const std::string text = readFile(sandbox_.programFolder() / fileName(i));
            EXPECT_TRUE(text == "old " + std::to_string(i) || text == "new " + std::to_string(i))
                << fileName(i) << ": \"" << text << "\"";
            fresh += text.rfind("new", 0) == 0 ? 1 : 0;
        }
        return fresh;
    }

    bool isPending() const {
        return fs::exists(sandbox_.package()) && (fs::exists(marker()) || fs::exists(journal()));
    }

    bool isMidInstall() const {
        updater::InstallJournal::State state = updater::InstallJournal::State::Committed;
        std::vector<updater::InstallJournal::Entry> entries;
        return updater::InstallJournal(journal().string()).read(state, entries) &&
               state == updater::InstallJournal::State::Moving;
    }

    // The whole package is in place and nothing of the installation is left over.
    void expectInstalled() {
        EXPECT_EQ(checkEveryFileWhole(), FILES + 1);
        EXPECT_FALSE(fs::exists(sandbox_.package()));
        EXPECT_FALSE(fs::exists(marker()));
        EXPECT_FALSE(fs::exists(journal()));
        for (const std::string& file : updatetest::filesBelow(sandbox_.programFolder())) {
            EXPECT_EQ(file.find("_tmp"), std::string::npos) << file;
        }
    }

    updatetest::UpdateSandbox sandbox_;
    std::string oldClient_;
    std::string newClient_;
    std::string package_;
};

TEST_F(UpdaterCrashTest, AfterEveryKillTheNextStartHasAClientAndThePackageInstalledOrWaiting) {
    // How long a whole run and its moves take here, so that the kills spread over them.
    prepareRound();
    const auto since = [](std::chrono::steady_clock::time_point start) {
        return static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                    std::chrono::steady_clock::now() - start)
                                    .count());
    };
    const auto start = std::chrono::steady_clock::now();
    int exitCode = -1;
    testsupport::ChildProcess full;
    ASSERT_TRUE(full.start(updater().string(), {}));
    testsupport::waitUntil([&] { return fs::exists(journal()) || !full.isRunning(); }, WAIT_MS, 1);
    const auto moving = std::chrono::steady_clock::now();
    testsupport::waitUntil([&] { return !fs::exists(journal()); }, WAIT_MS, 1);
    const int journalMs = since(moving);
    ASSERT_TRUE(full.waitExit(WAIT_MS, exitCode));
    const int runMs = since(start);
    expectInstalled();
    ASSERT_TRUE(sandbox_.waitStarted("Lumora-new"));
    std::random_device device;
    const unsigned int seed = device();
    std::mt19937 random(seed);
    SCOPED_TRACE("seed " + std::to_string(seed) + ", a run takes " + std::to_string(runMs) + " ms");
    int midInstall = 0;
    for (int round = 0; round < ROUNDS; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        prepareRound();
        // Every other kill aims at the moves, the others at any moment of the run.
        const bool term = round % 4 == 3;
        const bool fromJournal = round % 2 == 1;
        const unsigned int span = static_cast<unsigned int>(fromJournal ? journalMs : runMs) + 2;
        runAndKill(static_cast<int>(random() % span), term ? SIGTERM : SIGKILL, fromJournal,
                   exitCode);
        midInstall += isMidInstall() ? 1 : 0;
        const int fresh = checkEveryFileWhole();
        if (term) {
            EXPECT_FALSE(isMidInstall()) << "SIGTERM left the installation half done";
        }
        ASSERT_TRUE(isPending() || fresh == FILES + 1) << "the package was lost";
        if (fs::exists(marker()) || fs::exists(journal())) {
            // The client's next start hands over to the updater again.
            fs::remove(sandbox_.root() / "started.txt");
            testsupport::ChildProcess next;
            ASSERT_TRUE(next.start(updater().string(), {}));
            ASSERT_TRUE(next.waitExit(WAIT_MS, exitCode));
            EXPECT_EQ(exitCode, 0);
            ASSERT_TRUE(sandbox_.waitStarted("Lumora-new"));
        }
        expectInstalled();
    }
    EXPECT_GT(midInstall, 0) << "no kill landed while files were being moved";
    std::printf("%d of %d kills landed while files were being moved (a run takes %d ms)\n",
                midInstall, ROUNDS, runMs);
}

}  // namespace
