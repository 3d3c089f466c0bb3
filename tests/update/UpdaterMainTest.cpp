#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <thread>

#include "TestSupport.h"
#include "UpdateSandbox.h"
#include "ZipBuilder.h"
#include "kestra/Clock.h"
#include "platform/SingleInstanceLock.h"
#include "update/UpdaterConstants.h"
#include "update/UpdaterMain.h"

namespace fs = std::filesystem;
using testsupport::readFile;
using testsupport::writeFile;

namespace {

// A clock whose sleeps are counted and take a millisecond each, so a minute of waiting for
// the lock takes one second.
class CountingClock : public kestra::IClock {
public:
    std::int64_t monotonicMs() const override { return elapsed_.load(); }
    std::time_t now() const override { return 0; }
    void sleepMs(unsigned int milliseconds) override {
        elapsed_ += milliseconds;
        ++sleeps;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    std::atomic<int> sleeps{0};

private:
    std::atomic<std::int64_t> elapsed_{0};
};

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

}  // namespace

TEST(UpdaterMainTest, WaitsForTheClientToLetGoOfTheLock) {
    updatetest::UpdateSandbox sandbox;
    updatetest::ZipBuilder()
        .add("readme.txt", "new")
        .add("updateConfig.xml", updatetest::updateConfig({{"readme.txt", "%CE1%\\%AppName%\\"}}))
        .write(sandbox.package().string());
    platform::SingleInstanceLock client(updater::MUTEX_NAME);
    ASSERT_TRUE(client.tryAcquire());

    CountingClock clock;
    std::atomic<int> exitCode{-1};
    std::thread updater(
        [&] { exitCode = updater::UpdaterMain(sandbox.programFolder().wstring(), clock).run(); });
    ASSERT_TRUE(testsupport::waitUntil([&] { return clock.sleeps.load() >= 5; }, 10000));
    EXPECT_FALSE(fs::exists(sandbox.programFolder() / "readme.txt"));
    client.release();
    updater.join();

    EXPECT_EQ(exitCode.load(), 0);
    EXPECT_LT(clock.sleeps.load(), updater::UpdaterMain::LOCK_ATTEMPTS);
    EXPECT_EQ(readFile(sandbox.programFolder() / "readme.txt"), "new");
    EXPECT_TRUE(sandbox.waitStarted("Lumora"));
    // The updater let go of the lock again, so the restarted client can take it.
    EXPECT_TRUE(client.tryAcquire());
}

TEST(UpdaterMainTest, GivesUpUnchangedWhenTheClientNeverEnds) {
    updatetest::UpdateSandbox sandbox;
    writeFile(sandbox.package(), "package that must stay");
    platform::SingleInstanceLock client(updater::MUTEX_NAME);
    ASSERT_TRUE(client.tryAcquire());
    CountingClock clock;
    EXPECT_EQ(updater::UpdaterMain(sandbox.programFolder().wstring(), clock).run(), 1);
    EXPECT_EQ(clock.sleeps.load(), updater::UpdaterMain::LOCK_ATTEMPTS);
    EXPECT_EQ(clock.monotonicMs(), 60000);
    EXPECT_EQ(readFile(sandbox.package()), "package that must stay");
    EXPECT_TRUE(contains(sandbox.updaterLog(), "[ERROR] _tmain: the client still holds"));
    EXPECT_TRUE(sandbox.startedPrograms().empty());
}

TEST(UpdaterMainTest, LargeLogStartsAfreshAndSmallLogGrows) {
    updatetest::UpdateSandbox sandbox;
    const std::string big(250001, 'Q');
    writeFile(fs::path(sandbox.paths().logFile), big);
    CountingClock clock;
    EXPECT_EQ(updater::UpdaterMain(sandbox.programFolder().wstring(), clock).run(), 0);
    std::string log = sandbox.updaterLog();
    EXPECT_EQ(log.find('Q'), std::string::npos);
    EXPECT_TRUE(contains(log, "[ERROR] updater : catch UpdateException - rollback."));

    writeFile(fs::path(sandbox.paths().logFile), std::string(250000, 'y'));
    EXPECT_EQ(updater::UpdaterMain(sandbox.programFolder().wstring(), clock).run(), 0);
    log = sandbox.updaterLog();
    EXPECT_EQ(log.substr(0, 250000), std::string(250000, 'y'));
    EXPECT_TRUE(contains(log.substr(250000), "rollback"));
    EXPECT_TRUE(sandbox.waitStarted("Lumora"));
}
