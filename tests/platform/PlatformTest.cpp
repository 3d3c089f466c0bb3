#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <filesystem>

#include "TestSupport.h"
#include "kestra/TextCodec.h"
#include "platform/AppFolders.h"
#include "platform/FileWriter.h"
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

fs::perms modeOf(const fs::path& path) {
    return fs::symlink_status(path).permissions() & fs::perms::all;
}

// Every folder the program makes is private from its creation, and folders of the user's
// own that others may enter are closed at start; links and other users' folders are not
// touched.
TEST_F(PlatformTest, PrivateFoldersAreClosedToOthersWhetherNewOrOld) {
    const fs::path app = dir.path() / "share" / "Lumora";
    fs::permissions(dir.path(), fs::perms(0755), fs::perm_options::replace);
    ASSERT_TRUE(platform::createPrivateFolder((app / "Jabber" / "Contacts").wstring() + L"/"));
    for (const fs::path& folder :
         {dir.path() / "share", app, app / "Jabber", app / "Jabber" / "Contacts"})
        EXPECT_EQ(modeOf(folder), fs::perms::owner_all) << folder;
    EXPECT_EQ(modeOf(dir.path()), fs::perms(0755)) << "a parent that existed is left";

    const fs::path outside = dir.path() / "outside";
    fs::create_directories(app / "Jabber" / "Contacts" / "abc");
    fs::create_directories(outside);
    fs::create_directory_symlink(outside, app / "Jabber" / "linked");
    for (const fs::path& folder :
         {app, app / "Jabber", app / "Jabber" / "Contacts" / "abc", outside})
        fs::permissions(folder, fs::perms(0755), fs::perm_options::replace);
    ASSERT_TRUE(platform::createPrivateFolder(app.wstring()));
    EXPECT_EQ(modeOf(app), fs::perms::owner_all) << "an existing folder is closed";
    ASSERT_TRUE(platform::makeFolderTreePrivate(app.wstring()));
    EXPECT_EQ(modeOf(app / "Jabber"), fs::perms::owner_all);
    EXPECT_EQ(modeOf(app / "Jabber" / "Contacts" / "abc"), fs::perms::owner_all);
    EXPECT_EQ(modeOf(outside), fs::perms(0755)) << "a link is not followed";
    if (::geteuid() == 0) {
        const fs::path foreign = app / "foreign";
        fs::create_directory(foreign);
        fs::permissions(foreign, fs::perms(0755), fs::perm_options::replace);
        ASSERT_EQ(::chown(foreign.c_str(), 65534, 65534), 0);
        EXPECT_TRUE(platform::makeFolderTreePrivate(app.wstring()));
        EXPECT_EQ(modeOf(foreign), fs::perms(0755)) << "another user's folder is left";
    }
    EXPECT_FALSE(platform::makeFolderTreePrivate((dir.path() / "missing").wstring()));
}

// Without XDG_RUNTIME_DIR the lock lives in the temporary folder's lumora-<uid>; when
// another user made that first (or opened it to others), the user's own folder in the
// cache folder is used instead, the caller is told why, and the lock still excludes.
TEST_F(PlatformTest, ALockFolderThatIsNotOursIsReplacedByAPrivateOne) {
    env.unset("XDG_RUNTIME_DIR");
    env.set("TMPDIR", (dir.path() / "tmp").string());
    env.set("XDG_CACHE_HOME", (dir.path() / "cache").string());
    fs::create_directories(dir.path() / "tmp");
    const fs::path usual = dir.path() / "tmp" / ("lumora-" + std::to_string(::getuid()));
    std::string problem;
    EXPECT_EQ(platform::runtimeFolder(&problem), usual.wstring());
    EXPECT_EQ(problem, "");
    EXPECT_EQ(modeOf(usual), fs::perms::owner_all);

    fs::permissions(usual, fs::perms(0777), fs::perm_options::replace);
    if (::geteuid() == 0) {
        ASSERT_EQ(::chown(usual.c_str(), 65534, 65534), 0);
    }
    const std::wstring replacement = platform::runtimeFolder(&problem);
    ASSERT_FALSE(replacement.empty());
    EXPECT_EQ(replacement.rfind((dir.path() / "cache" / "lumora-runtime-").wstring(), 0), 0u);
    EXPECT_EQ(modeOf(kestra::wideToUtf8(replacement)), fs::perms::owner_all);
    EXPECT_NE(problem.find("the lock folder " + usual.string()), std::string::npos) << problem;
    EXPECT_NE(problem.find("mode 0777"), std::string::npos) << problem;
    EXPECT_NE(problem.find(kestra::wideToUtf8(replacement) + " is used instead"), std::string::npos)
        << problem;

    platform::SingleInstanceLock first("TEST_MUTEX");
    platform::SingleInstanceLock second("TEST_MUTEX");
    EXPECT_EQ(first.folderProblem(), problem);
    ASSERT_TRUE(first.tryAcquire());
    EXPECT_FALSE(second.tryAcquire()) << "both instances find the same lock";
    EXPECT_EQ(first.path(), kestra::wideToUtf8(replacement) + "/TEST_MUTEX.lock");
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

// Creating never reuses what is there: not a file, not a link (whose target stays as it
// was), not a folder.
TEST(FileWriterTest, CreateMakesANewFileOnlyWithItsModeFromTheStart) {
    TempDir dir;
    const fs::path target = dir.path() / "target";
    testsupport::writeFile(target, "kept");
    fs::create_symlink(target, dir.path() / "link");
    fs::create_directory(dir.path() / "folder");
    for (const char* name : {"target", "link", "folder"}) {
        platform::FileWriter writer;
        EXPECT_FALSE(writer.create((dir.path() / name).string(), 0600)) << name;
        EXPECT_EQ(writer.lastError(), EEXIST) << name;
    }
    EXPECT_EQ(testsupport::readFile(target), "kept");

    const mode_t savedMask = ::umask(0);
    platform::FileWriter writer;
    const bool created = writer.create((dir.path() / "new").string(), 0600);
    ::umask(savedMask);
    ASSERT_TRUE(created);
    EXPECT_TRUE(writer.write("abc", 3));
    EXPECT_TRUE(writer.sync());
    EXPECT_TRUE(writer.close());
    EXPECT_EQ(testsupport::readFile(dir.path() / "new"), "abc");
    EXPECT_EQ(modeOf(dir.path() / "new"), fs::perms::owner_read | fs::perms::owner_write);
}

TEST(Md5Test, KnownDigests) {
    EXPECT_EQ(platform::md5Hex(std::string("abc")), "900150983cd24fb0d6963f7d28e17f72");
    EXPECT_EQ(platform::md5Hex(std::string()), "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(platform::md5(std::string("abc")).size(), 16u);
}

}  // namespace
