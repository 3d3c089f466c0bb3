#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <random>
#include <thread>

#include "CacheTestSupport.h"
#include "TestSupport.h"
#include "client/maps/CacheIndexFile.h"
#include "client/maps/CacheManager.h"
#include "kestra/Exceptions.h"

namespace fs = std::filesystem;

namespace {

// Opens the cache the way start-up does (the index and the journals replayed on it), writes
// what it holds into the index file and reads back every block listed there. Returns the
// number of images checked.
std::size_t verifyCache(const testsupport::TempDir& dir) {
    CacheManager::setCachePlace(dir.wstr(), dir.wstr());  // throws if it cannot be loaded
    CacheManager::flush();
    CacheIndices indices;
    const std::string bytes = testsupport::readFile(dir.path() / ".lumoracache.index");
    CacheIndexFile::parse(kestra::utf16leToWide(bytes), fs::file_size(dir.path() / ".lumoracache"),
                          indices);
    std::size_t checked = 0;
    for (const auto& [loader, index] : indices) {
        for (const auto& [name, list] : index) {
            std::wstring type;
            std::string data;
            EXPECT_TRUE(
                CacheManager::findMaxVersionCacheItem(loader, cachetest::block(name), type, data));
            std::wstring carriedName;
            std::wstring carriedVersion;
            EXPECT_TRUE(cachetest::isIntactImage(data, &carriedName, &carriedVersion));
            EXPECT_EQ(carriedName, name);
            EXPECT_EQ(carriedVersion, list.front().version);
            ++checked;
            for (const CacheItem& item : list) {
                if (item.version != CacheManager::OLD_VERSION &&
                    CacheManager::findCacheItem(loader, cachetest::block(name), item.version,
                                                data)) {
                    EXPECT_TRUE(cachetest::isIntactImage(data, &carriedName, &carriedVersion));
                    EXPECT_EQ(carriedVersion, item.version);
                    ++checked;
                }
            }
        }
    }
    CacheManager::shutdown();
    return checked;
}

TEST(CacheCrashTest, EveryCacheAKilledWriterLeavesOpensAndHoldsOnlyCorrectImages) {
    testsupport::TempDir dir;
    std::random_device device;
    const unsigned int seed = device();
    std::mt19937 random(seed);
    SCOPED_TRACE("seed " + std::to_string(seed));
    const std::string writer = (testsupport::binaryDir() / "maps_cache_writer").string();
    std::size_t checked = 0;
    // What the kills left, by file: which of the writes they interrupted.
    std::map<std::string, int> left;
    for (int round = 0; round < 25; ++round) {
        testsupport::ChildProcess child;
        ASSERT_TRUE(child.start(writer, {dir.str(), std::to_string(random())}));
        std::this_thread::sleep_for(std::chrono::milliseconds(20 + random() % 400));
        ASSERT_TRUE(child.isRunning()) << "the writer ended by itself in round " << round;
        child.sendSignal(SIGKILL);
        int exitCode = 0;
        child.waitExit(20000, exitCode);
        for (const char* file : {".lumoracache.journal", ".lumoracache.journal.folding",
                                 ".lumoracache.indextmp", ".lumoracache.tmp"}) {
            left[file] += fs::exists(dir.path() / file) ? 1 : 0;
        }
        try {
            checked += verifyCache(dir);
        } catch (const kestra::BasicException& e) {
            FAIL() << "round " << round << ": the cache does not open: " << e.place() << " "
                   << e.condition();
        }
    }
    EXPECT_GT(checked, 100u);  // the writer got far enough for the checks to mean something
    EXPECT_GT(left[".lumoracache.journal"], 0);  // saves were replayed from the journal
    for (const auto& [file, rounds] : left) {
        std::printf("killed with %s present: %d of 25 rounds\n", file.c_str(), rounds);
    }
}

}  // namespace
