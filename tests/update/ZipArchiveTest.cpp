#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "TestSupport.h"
#include "UpdateSandbox.h"
#include "ZipBuilder.h"
#include "update/ZipArchive.h"

namespace fs = std::filesystem;
using testsupport::readFile;
using testsupport::TempDir;
using updater::ZipArchive;
using updater::ZipEntry;
using updatetest::ZipBuilder;

namespace {

// Runs the wrapper as the updater does: every item, in order. Returns the first failure.
int extractAll(const fs::path& zipFile, const fs::path& base) {
    auto zip = ZipArchive::open(zipFile.wstring());
    if (!zip) {
        return -1;
    }
    ZipEntry entry;
    int rc = zip->setBaseFolder(base.wstring());
    if (rc == updater::ZR_OK) {
        rc = zip->getItem(-1, entry);
    }
    const int count = entry.index;
    for (int i = 0; rc == updater::ZR_OK && i < count; ++i) {
        rc = zip->getItem(i, entry);
        if (rc == updater::ZR_OK) {
            rc = zip->unzipItem(i, entry.name);
        }
    }
    zip->close();
    return rc;
}

class ZipArchiveTest : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(base());
        fs::create_directories(outside());
    }
    // The sandbox: the base folder and a neighbour that must stay untouched.
    fs::path base() const { return dir_.path() / "sandbox/update/tmpFiles"; }
    fs::path outside() const { return dir_.path() / "sandbox/outside"; }
    fs::path zipFile() const { return dir_.path() / "update.zip"; }

    TempDir dir_;
};

}  // namespace

TEST_F(ZipArchiveTest, ListsAndExtractsFilesFoldersAndModes) {
    const std::string big(300000, 'x');
    ZipBuilder()
        .add("Lumora", "#!/bin/sh\n", 0100755)
        .addFolder("locale/")
        .add("locale/de.xml", "<language/>")
        .add("data/big.bin", big)
        .add("empty.txt", "")
        .add("windows.txt", "made on Windows", 0)
        .write(zipFile().string());

    auto zip = ZipArchive::open(zipFile().wstring());
    ASSERT_TRUE(zip);
    ZipEntry entry;
    ASSERT_EQ(zip->getItem(-1, entry), updater::ZR_OK);
    EXPECT_EQ(entry.index, 6);
    ASSERT_EQ(zip->getItem(2, entry), updater::ZR_OK);
    EXPECT_EQ(entry.name, L"locale/de.xml");
    EXPECT_EQ(zip->getItem(6, entry), updater::ZR_ARGS);
    zip.reset();

    ASSERT_EQ(extractAll(zipFile(), base()), updater::ZR_OK);
    EXPECT_EQ(readFile(base() / "Lumora"), "#!/bin/sh\n");
    EXPECT_EQ(readFile(base() / "locale/de.xml"), "<language/>");
    EXPECT_EQ(readFile(base() / "data/big.bin"), big);
    EXPECT_EQ(readFile(base() / "empty.txt"), "");
    EXPECT_EQ(readFile(base() / "windows.txt"), "made on Windows");
    EXPECT_NE(fs::status(base() / "Lumora").permissions() & fs::perms::owner_exec, fs::perms::none);
    EXPECT_EQ(fs::status(base() / "locale/de.xml").permissions() & fs::perms::owner_exec,
              fs::perms::none);
}

TEST_F(ZipArchiveTest, HostileNamesStayInsideTheBaseFolder) {
    ZipBuilder()
        .add("..\\..\\name", "1")
        .add("../outside/escaped", "2")
        .add("/abs/path", "3")
        .add("C:\\Windows\\system.dll", "4")
        .add("a/b/../../../../outside/deep", "5")
        .add("..\\../outside\\mixed", "6")
        .add("\\\\server\\share", "7")
        .add("../", "")
        .write(zipFile().string());
    ASSERT_EQ(extractAll(zipFile(), base()), updater::ZR_OK);

    // Each name keeps what follows its last parent step; "outside" here is a folder made
    // inside the base, not the neighbour.
    const std::vector<std::string> expected = {"abs/path",          "name",          "outside/deep",
                                               "outside/escaped",   "outside/mixed", "server/share",
                                               "Windows/system.dll"};
    std::vector<std::string> sortedExpected = expected;
    std::sort(sortedExpected.begin(), sortedExpected.end());
    EXPECT_EQ(updatetest::filesBelow(base()), sortedExpected);
    EXPECT_TRUE(updatetest::filesBelow(outside()).empty());
    EXPECT_EQ(updatetest::filesBelow(dir_.path() / "sandbox").size(), expected.size());
}

TEST_F(ZipArchiveTest, LinkEntriesAreRefused) {
    ZipBuilder().add("first", "1").addLink("link", "/etc/passwd").write(zipFile().string());
    EXPECT_EQ(extractAll(zipFile(), base()), updater::ZR_NOTALLOWED);
    EXPECT_FALSE(fs::exists(fs::symlink_status(base() / "link")));
}

TEST_F(ZipArchiveTest, LinksFoundInTheBaseFolderAreNeverFollowed) {
    fs::create_directory_symlink(outside(), base() / "sub");
    fs::create_symlink(outside() / "target", base() / "file");
    ZipBuilder().add("sub/x", "through a folder link").write(zipFile().string());
    EXPECT_EQ(extractAll(zipFile(), base()), updater::ZR_NOTALLOWED);
    ZipBuilder().add("file", "through a file link").write(zipFile().string());
    EXPECT_NE(extractAll(zipFile(), base()), updater::ZR_OK);
    EXPECT_TRUE(updatetest::filesBelow(outside()).empty());
}

TEST_F(ZipArchiveTest, FilesThatAreNotWholeZipsDoNotOpenOrFailCleanly) {
    EXPECT_FALSE(ZipArchive::open((dir_.path() / "missing.zip").wstring()));
    testsupport::writeFile(zipFile(), "<html>Not a zip</html>");
    EXPECT_FALSE(ZipArchive::open(zipFile().wstring()));

    ZipBuilder().add("a.txt", std::string(5000, 'a')).write(zipFile().string());
    const std::string whole = readFile(zipFile());
    testsupport::writeFile(zipFile(), whole.substr(0, whole.size() / 2));
    EXPECT_FALSE(ZipArchive::open(zipFile().wstring()));  // the directory at the end is gone
}

TEST_F(ZipArchiveTest, DamagedDataFailsAndLeavesNoPartialFile) {
    std::string data;
    for (int i = 0; i < 20000; ++i) {
        data += std::to_string(i * 7919 % 10007);
    }
    ZipBuilder().add("data.bin", data).write(zipFile().string());
    std::string bytes = readFile(zipFile());
    // Flip bytes inside the compressed data (after the 30-byte local header and the name).
    for (std::size_t i = 200; i < 260; ++i) {
        bytes[i] = static_cast<char>(bytes[i] ^ 0x5a);
    }
    testsupport::writeFile(zipFile(), bytes);
    EXPECT_EQ(extractAll(zipFile(), base()), updater::ZR_CORRUPT);
    EXPECT_FALSE(fs::exists(base() / "data.bin"));
}
