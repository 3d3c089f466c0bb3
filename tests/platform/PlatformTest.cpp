#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <filesystem>

#include "TestSupport.h"
#include "kestra/TextCodec.h"
#include "platform/AppFolders.h"
#include "platform/InstanceChannel.h"
#include "platform/Md5.h"
#include "platform/ProcessLauncher.h"
#include "platform/SingleInstanceLock.h"

using testsupport::ScopedEnv;
using testsupport::TempDir;

namespace fs = std::filesystem;

namespace {

class PlatformTest : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directory(runtime());
        fs::permissions(runtime(), fs::perms::owner_all, fs::perm_options::replace);
        env.set("XDG_RUNTIME_DIR", runtime().string());
    }
    fs::path runtime() const { return dir.path() / "run"; }
    TempDir dir;
    ScopedEnv env;
};

TEST_F(PlatformTest, DataFolderFollowsXdgThenHome) {
    env.set("XDG_DATA_HOME", (dir.path() / "data").string());
    std::wstring folder;
    ASSERT_TRUE(platform::applicationDataFolder(folder));
    EXPECT_EQ(folder, (dir.path() / "data").wstring());
    EXPECT_TRUE(fs::is_directory(dir.path() / "data")) << "created when missing";

    env.unset("XDG_DATA_HOME");
    env.set("HOME", dir.str());
    ASSERT_TRUE(platform::applicationDataFolder(folder));
    EXPECT_EQ(folder, (dir.path() / ".local" / "share").wstring());

    ASSERT_TRUE(platform::createPrivateFolder((dir.path() / "app" / "Lumora").wstring()));
    EXPECT_EQ(fs::status(dir.path() / "app" / "Lumora").permissions() & fs::perms::all,
              fs::perms::owner_all);
}

TEST_F(PlatformTest, RuntimeFolderMustBePrivate) {
    EXPECT_EQ(platform::runtimeFolder(), runtime().wstring());
    fs::permissions(runtime(), fs::perms::others_write, fs::perm_options::add);
    const std::wstring fallback = platform::runtimeFolder();
    EXPECT_NE(fallback, runtime().wstring()) << "a folder others may write to is not used";
    EXPECT_FALSE(fallback.empty());
    env.unset("XDG_RUNTIME_DIR");
    EXPECT_EQ(platform::runtimeFolder(), fallback);
}

TEST_F(PlatformTest, OnlyOneHolderOfTheLockAtATime) {
    platform::SingleInstanceLock first("TEST_MUTEX");
    platform::SingleInstanceLock second("TEST_MUTEX");
    ASSERT_TRUE(first.tryAcquire());
    EXPECT_FALSE(second.tryAcquire());
    EXPECT_FALSE(second.acquire(150, 50)) << "gives up after its time-out";
    first.release();
    EXPECT_TRUE(second.acquire(1000, 50));
    EXPECT_EQ(second.path(), (runtime() / "TEST_MUTEX.lock").string());
}

TEST_F(PlatformTest, ASecondStartAsksTheRunningInstanceToRaise) {
    platform::InstanceChannel server("TestWnd");
    platform::InstanceChannel client("TestWnd");
    EXPECT_EQ(client.requestRaise(), platform::InstanceChannel::RaiseResult::NoInstance);

    // A socket file left behind by a crashed instance does not stop the next one.
    testsupport::writeFile(runtime() / "TestWnd.sock", "stale");
    std::atomic<int> raised{0};
    bool answer = true;
    ASSERT_TRUE(server.listen([&] {
        ++raised;
        return answer;
    }));
    EXPECT_EQ(client.requestRaise(), platform::InstanceChannel::RaiseResult::Raised);
    EXPECT_EQ(raised, 1);
    answer = false;
    EXPECT_EQ(client.requestRaise(), platform::InstanceChannel::RaiseResult::Failed);
    server.stop();
    EXPECT_FALSE(fs::exists(runtime() / "TestWnd.sock"));
    EXPECT_EQ(client.requestRaise(), platform::InstanceChannel::RaiseResult::NoInstance);
}

TEST_F(PlatformTest, StartsProgramsDetached) {
    const fs::path marker = dir.path() / "marker";
    const fs::path script = dir.path() / "prog.sh";
    testsupport::writeFile(script, "#!/bin/sh\necho \"$1\" > \"" + marker.string() + "\"\n");
    fs::permissions(script, fs::perms::owner_all);
    ASSERT_TRUE(platform::startDetached(script.wstring(), {L"hello"}));
    EXPECT_TRUE(testsupport::waitUntil([&] { return fs::exists(marker); }, 10000));
    EXPECT_TRUE(
        testsupport::waitUntil([&] { return testsupport::readFile(marker) == "hello\n"; }, 10000));
    EXPECT_FALSE(platform::startDetached((dir.path() / "missing").wstring()));
    testsupport::writeFile(dir.path() / "plain", "not a program");
    EXPECT_FALSE(platform::startDetached((dir.path() / "plain").wstring()));
}

TEST(Md5Test, KnownDigests) {
    EXPECT_EQ(platform::md5Hex(std::string("abc")), "900150983cd24fb0d6963f7d28e17f72");
    EXPECT_EQ(platform::md5Hex(std::string()), "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(platform::md5(std::string("abc")).size(), 16u);
}

}  // namespace
