#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#include <filesystem>

#include "TestSupport.h"
#include "platform/FileMove.h"

namespace fs = std::filesystem;
using testsupport::readFile;
using testsupport::TempDir;
using testsupport::writeFile;

namespace {

// A folder on another file system than the temporary folder: /dev/shm is a tmpfs.
class OtherFileSystemDir {
public:
    OtherFileSystemDir() {
        path_ = fs::path("/dev/shm") / ("lumora-move-" + std::to_string(::getpid()));
        fs::create_directories(path_);
    }
    ~OtherFileSystemDir() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

dev_t deviceOf(const fs::path& path) {
    struct stat st {};
    ::stat(path.c_str(), &st);
    return st.st_dev;
}

// Lowers the largest file this process may write, as a full disk would stop it.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        ::getrlimit(RLIMIT_FSIZE, &saved_);
        oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = saved_;
        limit.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, oldHandler_);
    }

private:
    rlimit saved_{};
    void (*oldHandler_)(int) = nullptr;
};

}  // namespace

TEST(FileMoveTest, MovesWithinAndAcrossFileSystemsKeepingTheMode) {
    TempDir dir;
    OtherFileSystemDir other;
    ASSERT_NE(deviceOf(dir.path()), deviceOf(other.path()));
    const std::string data(200000, 'd');
    writeFile(dir.path() / "a", data);
    fs::permissions(dir.path() / "a", fs::perms(0755), fs::perm_options::replace);
    ASSERT_TRUE(platform::moveFile((dir.path() / "a").string(), (dir.path() / "b").string()));
    EXPECT_FALSE(fs::exists(dir.path() / "a"));

    writeFile(other.path() / "c", "old c");
    int error = -1;
    ASSERT_TRUE(
        platform::moveFile((dir.path() / "b").string(), (other.path() / "c").string(), &error));
    EXPECT_EQ(error, 0);
    EXPECT_EQ(readFile(other.path() / "c"), data);
    EXPECT_EQ(fs::status(other.path() / "c").permissions(), fs::perms(0755));
    EXPECT_FALSE(fs::exists(dir.path() / "b"));
    EXPECT_EQ(fs::directory_iterator(other.path()) == fs::directory_iterator(), false);
}

TEST(FileMoveTest, FullDiskAcrossFileSystemsLeavesBothSidesAsTheyWere) {
    TempDir dir;
    OtherFileSystemDir other;
    const std::string data(300000, 'n');
    writeFile(dir.path() / "new", data);
    writeFile(other.path() / "target", "old target");
    int error = 0;
    {
        FileSizeLimit limit(64 * 1024);
        EXPECT_FALSE(platform::moveFile((dir.path() / "new").string(),
                                        (other.path() / "target").string(), &error));
    }
    EXPECT_EQ(error, EFBIG);
    EXPECT_EQ(readFile(dir.path() / "new"), data);
    EXPECT_EQ(readFile(other.path() / "target"), "old target");
    std::vector<std::string> left;
    for (const auto& entry : fs::directory_iterator(other.path())) {
        left.push_back(entry.path().filename().string());
    }
    EXPECT_EQ(left, std::vector<std::string>{"target"});  // no partial copy behind
}

TEST(FileMoveTest, MissingSourceOrFolderTargetFails) {
    TempDir dir;
    int error = 0;
    EXPECT_FALSE(
        platform::moveFile((dir.path() / "none").string(), (dir.path() / "x").string(), &error));
    EXPECT_EQ(error, ENOENT);
    writeFile(dir.path() / "f", "f");
    fs::create_directories(dir.path() / "folder/inside");
    EXPECT_FALSE(platform::moveFile((dir.path() / "f").string(), (dir.path() / "folder").string()));
    EXPECT_EQ(readFile(dir.path() / "f"), "f");
}
