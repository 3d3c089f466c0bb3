#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "TestSupport.h"
#include "kestra/Log.h"

using kestra::Log;
using testsupport::readFile;
using testsupport::TempDir;

namespace {

class LogTest : public ::testing::Test {
protected:
    void TearDown() override { Log::close(); }
    TempDir dir;
    std::wstring path() const { return (dir.path() / "test.log").wstring(); }
    std::string content() const { return readFile(dir.path() / "test.log"); }
};

TEST_F(LogTest, WritesTagSpaceMessageAndDropsLevelsAboveThreshold) {
    ASSERT_TRUE(Log::open(path(), kestra::LOG_INFO, 250000));
    Log::error(L"Settings::flush: renaming error");
    Log::warning("careful");
    Log::info(L"über");
    Log::debug(L"not written");
    Log::write(L"odd level", 7);  // above the threshold: dropped
    EXPECT_EQ(content(),
              "[ERROR] Settings::flush: renaming error\n[WARNING] careful\n[INFO] \xC3\xBC"
              "ber\n");
}

TEST_F(LogTest, UnknownLevelBelowThresholdHasEmptyTag) {
    ASSERT_TRUE(Log::open(path(), 10, 250000));
    Log::write(L"strange", 5);
    Log::write(L"negative", -1);
    EXPECT_EQ(content(), " strange\n negative\n");
    EXPECT_EQ(Log::levelTag(3), L"[DEBUG]");
    EXPECT_EQ(Log::levelTag(4), L"");
}

TEST_F(LogTest, SizeLimitAtOpen) {
    const auto file = dir.path() / "test.log";
    testsupport::writeFile(file, std::string(250000, 'x'));
    ASSERT_TRUE(Log::open(path(), kestra::LOG_INFO, 250000));
    Log::info("appended");
    Log::close();
    EXPECT_EQ(readFile(file).size(), 250000u + std::string("[INFO] appended\n").size());

    testsupport::writeFile(file, std::string(250001, 'x'));
    ASSERT_TRUE(Log::open(path(), kestra::LOG_INFO, 250000));
    Log::info("fresh");
    EXPECT_EQ(content(), "[INFO] fresh\n");
}

TEST_F(LogTest, OpenFailsInMissingFolderAndStaysSilent) {
    EXPECT_FALSE(Log::open((dir.path() / "missing" / "x.log").wstring(), 2, 1000));
    Log::error("goes nowhere");  // must not crash
    EXPECT_FALSE(Log::isOpen());
}

// The client starts the updater and the updater the client: neither may inherit the
// other's log. Both ways of opening (appending, emptied at the size limit) are checked.
TEST_F(LogTest, AProgramStartedByTheLoggingOneDoesNotInheritTheLog) {
    const auto listing = dir.path() / "fds";
    const std::string script =
        "for f in /proc/$$/fd/*; do readlink \"$f\" || true; done > '" + listing.string() + "'";
    for (std::uintmax_t limit : {std::uintmax_t(250000), std::uintmax_t(0)}) {
        testsupport::writeFile(dir.path() / "test.log", "an earlier run\n");
        ASSERT_TRUE(Log::open(path(), kestra::LOG_INFO, limit));
        testsupport::ChildProcess child;
        ASSERT_TRUE(child.start("/bin/sh", {"-c", script}));
        int code = -1;
        ASSERT_TRUE(child.waitExit(30000, code));
        EXPECT_EQ(code, 0);
        const std::string fds = readFile(listing);
        EXPECT_NE(fds.find(listing.string()), std::string::npos) << "its own output is listed";
        EXPECT_EQ(fds.find("test.log"), std::string::npos) << "limit " << limit << ": " << fds;
        Log::close();
    }
}

TEST_F(LogTest, ConcurrentWritersKeepLinesWhole) {
    ASSERT_TRUE(Log::open(path(), kestra::LOG_INFO, 250000));
    std::vector<std::thread> writers;
    for (int t = 0; t < 4; ++t) {
        writers.emplace_back([t] {
            for (int i = 0; i < 200; ++i) {
                Log::info("thread " + std::to_string(t) + " line " + std::to_string(i));
            }
        });
    }
    for (auto& w : writers) {
        w.join();
    }
    const std::string text = content();
    std::size_t lines = 0;
    std::size_t start = 0;
    for (std::size_t nl = text.find('\n'); nl != std::string::npos; nl = text.find('\n', start)) {
        const std::string line = text.substr(start, nl - start);
        EXPECT_EQ(line.rfind("[INFO] thread ", 0), 0u) << line;
        ++lines;
        start = nl + 1;
    }
    EXPECT_EQ(lines, 800u);
}

}  // namespace
