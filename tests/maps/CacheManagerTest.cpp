#include "client/maps/CacheManager.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "CacheTestSupport.h"
#include "LogCapture.h"
#include "ManualClock.h"
#include "TestSupport.h"
#include "kestra/Exceptions.h"

using cachetest::block;
using cachetest::imageFor;
namespace fs = std::filesystem;

namespace {

class CacheManagerTest : public ::testing::Test {
protected:
    void SetUp() override { CacheManager::setClock(&clock); }
    void TearDown() override {
        try {
            CacheManager::shutdown();
        } catch (const std::exception&) {
        }
        CacheManager::setClock(nullptr);
    }
    fs::path indexFile() const { return dir.path() / ".lumoracache.index"; }
    fs::path dataFile() const { return dir.path() / ".lumoracache"; }
    void save(const std::wstring& name, const std::wstring& version, std::size_t size = 300,
              const std::wstring& loader = L"google") {
        CacheManager::saveCacheItem(loader, block(name), version, L"png",
                                    imageFor(name, version, size));
    }
    std::string find(const std::wstring& name, const std::wstring& version,
                     const std::wstring& loader = L"google") {
        std::string data;
        return CacheManager::findCacheItem(loader, block(name), version, data) ? data : "-";
    }
    std::string newest(const std::wstring& name, const std::wstring& loader = L"google") {
        std::string data;
        std::wstring type;
        return CacheManager::findMaxVersionCacheItem(loader, block(name), type, data) ? data : "-";
    }
    // The versions of a block in the order the index file lists them.
    std::vector<std::wstring> versionsInIndex(const std::wstring& name) {
        CacheManager::flush();
        const std::vector<std::wstring> tokens = cachetest::indexTokens(indexFile());
        std::vector<std::wstring> versions;
        for (std::size_t i = 0; i + 1 < tokens.size(); ++i) {
            if (tokens[i] == name) {
                const std::size_t count = std::stoul(tokens[i + 1]);
                for (std::size_t k = 0; k < count; ++k) {
                    versions.push_back(tokens.at(i + 2 + k * 7 + 1));
                }
                break;
            }
        }
        return versions;
    }
    void writeIndex(const std::wstring& text) {
        testsupport::writeFile(indexFile(), kestra::wideToUtf16le(text));
    }
    // Opening must fail with the loading error (which makes start-up reset the cache).
    void expectLoadingFailure(const std::wstring& text, const std::string& data = "") {
        writeIndex(text);
        testsupport::writeFile(dataFile(), data);
        EXPECT_THROW(CacheManager::setCachePlace(dir.wstr(), dir.wstr()),
                     kestra::CacheLoadingException)
            << kestra::wideToUtf8(text);
        EXPECT_FALSE(CacheManager::isReady());
    }

    testsupport::TempDir dir;
    ManualClock clock;
};

TEST_F(CacheManagerTest, ANewPlaceStartsEmptyWithTheSingleTokenZero) {
    CacheManager::setCachePlace(dir.wstr(), dir.wstr());
    EXPECT_TRUE(CacheManager::isReady());
    EXPECT_EQ(testsupport::readFile(indexFile()), kestra::wideToUtf16le(L"0\n"));
    EXPECT_EQ(find(L"&t=t", L"1"), "-");
    EXPECT_EQ(CacheManager::getCachePlace(), dir.wstr() + L"/");
}

TEST_F(CacheManagerTest, SameVersionTwiceKeepsTheNewCopyFirstAndTheOldAtTheEnd) {
    CacheManager::setCachePlace(dir.wstr(), dir.wstr());
    CacheManager::saveCacheItem(L"google", block(L"&t=tq"), L"7", L"png", "first");
    CacheManager::saveCacheItem(L"google", block(L"&t=tq"), L"7", L"png", "second");
    EXPECT_EQ(find(L"&t=tq", L"7"), "second");
    EXPECT_EQ(newest(L"&t=tq"), "second");
    EXPECT_EQ(versionsInIndex(L"&t=tq"), (std::vector<std::wstring>{L"7", L"__old__"}));
}

TEST_F(CacheManagerTest, VersionsOneThreeTwoAreListedThreeOneTwo) {
    CacheManager::setCachePlace(dir.wstr(), dir.wstr());
    save(L"r0123", L"1", 100, L"microsoft");
    save(L"r0123", L"3", 100, L"microsoft");
    save(L"r0123", L"2", 100, L"microsoft");
    EXPECT_EQ(versionsInIndex(L"r0123"), (std::vector<std::wstring>{L"3", L"1", L"2"}));
    EXPECT_EQ(find(L"r0123", L"3", L"microsoft"), imageFor(L"r0123", L"3", 100));
    EXPECT_EQ(find(L"r0123", L"1", L"microsoft"), imageFor(L"r0123", L"1", 100));
    // The walk stops at the first older version: "2" behind "1" is not found.
    EXPECT_EQ(find(L"r0123", L"2", L"microsoft"), "-");
    EXPECT_EQ(find(L"r0123", L"4", L"microsoft"), "-");
    EXPECT_EQ(newest(L"r0123", L"microsoft"), imageFor(L"r0123", L"3", 100));
    // Same block name, other source: separate.
    EXPECT_EQ(newest(L"r0123", L"google"), "-");
}

TEST_F(CacheManagerTest, ItemsSurviveARestartAndTheIndexIsWrittenEveryTwentySaves) {
    CacheManager::setCachePlace(dir.wstr(), dir.wstr());
    for (int i = 0; i < 19; ++i) {
        save(L"4/" + std::to_wstring(i) + L"/1", L"", 500, L"openStreet");
    }
    EXPECT_EQ(cachetest::indexTokens(indexFile()), std::vector<std::wstring>{L"0"});
    save(L"4/19/1", L"", 500, L"openStreet");
    EXPECT_EQ(cachetest::indexTokens(indexFile()).at(3), L"20");
    save(L"4/20/1", L"", 500, L"openStreet");
    CacheManager::shutdown();
    EXPECT_FALSE(CacheManager::isReady());

    CacheManager::setCachePlace(dir.wstr() + L"/", dir.wstr());  // trailing "/" or not: same
    std::wstring type;
    std::string data;
    ASSERT_TRUE(CacheManager::findMaxVersionCacheItem(L"openStreet", block(L"4/20/1"), type, data));
    EXPECT_EQ(type, L"png");
    EXPECT_EQ(data, imageFor(L"4/20/1", L"", 500));
    EXPECT_EQ(find(L"4/7/1", L"", L"openStreet"), imageFor(L"4/7/1", L"", 500));
    EXPECT_EQ(fs::file_size(dataFile()), 21u * 500u);
}

TEST_F(CacheManagerTest, CleanupDropsReplacedAndAgedCopiesAndCompactsTheDataFile) {
    CacheManager::setCachePlace(dir.wstr(), dir.wstr());
    save(L"a", L"5", 1000);
    save(L"a", L"5", 1000);  // the first becomes "__old__"
    save(L"b", L"5", 1000);
    CacheManager::cleanup(1);
    EXPECT_EQ(fs::file_size(dataFile()), 2000u);
    EXPECT_EQ(versionsInIndex(L"a"), std::vector<std::wstring>{L"5"});
    EXPECT_EQ(find(L"a", L"5"), imageFor(L"a", L"5", 1000));
    EXPECT_EQ(find(L"b", L"5"), imageFor(L"b", L"5", 1000));

    clock.advance(2 * 24 * 3600);
    save(L"c", L"6", 700);
    CacheManager::cleanup(1);
    EXPECT_EQ(fs::file_size(dataFile()), 700u);
    EXPECT_EQ(find(L"a", L"5"), "-");
    EXPECT_EQ(find(L"c", L"6"), imageFor(L"c", L"6", 700));
    clock.advance(2 * 24 * 3600);
    CacheManager::cleanup(1);
    EXPECT_EQ(fs::file_size(dataFile()), 0u);  // nothing kept: nothing left on disk
    EXPECT_EQ(cachetest::indexTokens(indexFile()), std::vector<std::wstring>{L"0"});
    CacheManager::shutdown();
    CacheManager::setCachePlace(dir.wstr(), dir.wstr());
    EXPECT_EQ(find(L"c", L"6"), "-");
}

TEST_F(CacheManagerTest, RemoveAllItemsStartsAgainEmpty) {
    CacheManager::setCachePlace(dir.wstr(), dir.wstr());
    save(L"a", L"1");
    CacheManager::removeAllItems();
    EXPECT_TRUE(CacheManager::isReady());
    EXPECT_FALSE(fs::exists(dataFile()));
    EXPECT_EQ(cachetest::indexTokens(indexFile()), std::vector<std::wstring>{L"0"});
    EXPECT_EQ(find(L"a", L"1"), "-");
}

TEST_F(CacheManagerTest, DamagedIndexFilesFailToLoad) {
    const std::wstring item = L"nextItem\n5\npng\n0\n4\n1\n2\n";
    const std::wstring good = L"1\nnextIndex\ngoogle\n1\n&t=t\n1\n" + item;
    writeIndex(good);
    testsupport::writeFile(dataFile(), "abcd");
    CacheManager::setCachePlace(dir.wstr(), dir.wstr());
    EXPECT_EQ(find(L"&t=t", L"5"), "abcd");
    CacheManager::shutdown();

    expectLoadingFailure(L"", "abcd");
    expectLoadingFailure(good.substr(0, good.size() - 6), "abcd");              // truncated
    expectLoadingFailure(L"1\nnextItem\ngoogle\n1\n&t=t\n1\n" + item, "abcd");  // first token
    expectLoadingFailure(L"1\nnextIndex\nyahoo\n1\n&t=t\n1\n" + item, "abcd");  // loader
    expectLoadingFailure(L"1\nnextIndex\ngoogle\n1\n" + std::wstring(100, L'x') + L"\n1\n" + item,
                         "abcd");  // a token longer than 99 characters
    expectLoadingFailure(
        L"1\nnextIndex\ngoogle\n1\n&t=t\n1\nnextItem\n5\npng\n0\n4294967296\n1\n2\n",
        "abcd");  // a number out of range
    expectLoadingFailure(L"1\nnextIndex\ngoogle\n1\n&t=t\n1\nnextItem\n5\npng\n2\n-1\n1\n2\n",
                         "abcd");       // not a number
    expectLoadingFailure(good, "abc");  // the data file is shorter than the index says
    expectLoadingFailure(L"4\n", "");   // more sources than there are
    testsupport::writeFile(indexFile(), "\x00\xD8\x41\x00");  // not UTF-16 text
    EXPECT_THROW(CacheManager::setCachePlace(dir.wstr(), dir.wstr()),
                 kestra::CacheLoadingException);
}

TEST_F(CacheManagerTest, AReadOutsideTheDataFileIsAnErrorNotGarbage) {
    CacheManager::setCachePlace(dir.wstr(), dir.wstr());
    save(L"a", L"1", 5000);
    fs::resize_file(dataFile(), 100);  // something else cut the file
    LogCapture log;
    std::string data;
    EXPECT_THROW(CacheManager::findCacheItem(L"google", block(L"a"), L"1", data),
                 kestra::CacheLoadingException);
    EXPECT_TRUE(log.contains("[ERROR] CacheManager::readItemFromFile: read error"));
}

TEST_F(CacheManagerTest, NamesThatCannotBeStoredAreRefused) {
    CacheManager::setCachePlace(dir.wstr(), dir.wstr());
    EXPECT_THROW(CacheManager::saveCacheItem(L"google", block(L"a b"), L"1", L"png", "x"),
                 kestra::CacheSavingException);
    EXPECT_THROW(CacheManager::saveCacheItem(L"google", block(L"a"), L"1", L"png; q=1", "x"),
                 kestra::CacheSavingException);
    EXPECT_THROW(
        CacheManager::saveCacheItem(L"google", block(std::wstring(100, L'n')), L"1", L"png", "x"),
        kestra::CacheSavingException);
    EXPECT_THROW(CacheManager::saveCacheItem(L"yahoo", block(L"a"), L"1", L"png", "x"),
                 kestra::CacheException);
    // An empty version or image type is fine and comes back empty.
    CacheManager::saveCacheItem(L"openStreet", block(L"1/0/0"), L"", L"", "tile");
    CacheManager::shutdown();
    CacheManager::setCachePlace(dir.wstr(), dir.wstr());
    std::wstring type = L"?";
    std::string data;
    ASSERT_TRUE(CacheManager::findMaxVersionCacheItem(L"openStreet", block(L"1/0/0"), type, data));
    EXPECT_EQ(type, L"");
    EXPECT_EQ(data, "tile");
    EXPECT_EQ(find(L"1/0/0", L"", L"openStreet"), "tile");
}

TEST_F(CacheManagerTest, EveryOperationNeedsAPlace) {
    LogCapture log;
    std::string data;
    std::wstring type;
    EXPECT_THROW(CacheManager::saveCacheItem(L"google", block(L"a"), L"1", L"png", "x"),
                 kestra::CacheException);
    EXPECT_THROW(CacheManager::findCacheItem(L"google", block(L"a"), L"1", data),
                 kestra::CacheException);
    EXPECT_THROW(CacheManager::findMaxVersionCacheItem(L"google", block(L"a"), type, data),
                 kestra::CacheException);
    EXPECT_THROW(CacheManager::cleanup(1), kestra::CacheException);
    EXPECT_THROW(CacheManager::removeAllItems(), kestra::CacheException);
    EXPECT_TRUE(log.contains(
        "[ERROR] CacheManager::saveCacheItem: cache is not ready to work. Use setCachePlace."));
    EXPECT_TRUE(log.contains(
        "[ERROR] CacheManager::cleanup: cache is not ready to work. Use setCachePlace."));
    EXPECT_THROW(CacheManager::setCachePlace(dir.wstr() + L"/missing", dir.wstr()),
                 kestra::NotFoundCacheDirectoryException);
}

TEST_F(CacheManagerTest, AVanishedFolderMakesSavesFailWithoutLosingTheCacheInMemory) {
    const fs::path place = dir.path() / "cache";
    fs::create_directory(place);
    CacheManager::setCachePlace(place.wstring(), place.wstring());
    save(L"a", L"1");
    fs::remove_all(place);
    EXPECT_THROW(save(L"b", L"1"), kestra::CacheSavingException);
    EXPECT_THROW(CacheManager::flush(), kestra::CacheSavingException);
    EXPECT_THROW(find(L"a", L"1"), kestra::CacheLoadingException);
}

TEST_F(CacheManagerTest, TheCacheMovesWithItsPlace) {
    const fs::path first = dir.path() / "first";
    const fs::path second = dir.path() / "second";
    fs::create_directory(first);
    fs::create_directory(second);
    CacheManager::setCachePlace(first.wstring(), first.wstring());
    save(L"a", L"1");  // not yet in the index file: the move must not lose it
    CacheManager::changeCachePlace(second.wstring());
    EXPECT_EQ(CacheManager::getCachePlace(), second.wstring() + L"/");
    EXPECT_FALSE(fs::exists(first / ".lumoracache"));
    EXPECT_EQ(find(L"a", L"1"), imageFor(L"a", L"1", 300));
    CacheManager::shutdown();

    // A start with a new, empty place takes the cache along from the previous one.
    const fs::path third = dir.path() / "third";
    fs::create_directory(third);
    CacheManager::setCachePlace(third.wstring(), second.wstring());
    EXPECT_TRUE(fs::exists(third / ".lumoracache.index"));
    EXPECT_FALSE(fs::exists(second / ".lumoracache.index"));
    EXPECT_EQ(find(L"a", L"1"), imageFor(L"a", L"1", 300));
    // Moving onto the same folder under another spelling changes nothing.
    CacheManager::changeCachePlace(third.wstring() + L"/../third");
    EXPECT_EQ(find(L"a", L"1"), imageFor(L"a", L"1", 300));
}

TEST_F(CacheManagerTest, ALegacySubFolderIsMigratedOrDropped) {
    const fs::path legacy = dir.path() / "defaultCache";
    fs::create_directory(legacy);
    testsupport::writeFile(legacy / ".lumoracache", "abcd");
    testsupport::writeFile(legacy / ".lumoracache.index",
                           kestra::wideToUtf16le(L"1\nnextIndex\ngoogle\n1\n&t=t\n1\nnextItem\n5\n"
                                                 L"png\n0\n4\n1\n2\n"));
    CacheManager::setCachePlace(dir.wstr(), dir.wstr());
    EXPECT_FALSE(fs::exists(legacy));
    EXPECT_EQ(find(L"&t=t", L"5"), "abcd");
    CacheManager::shutdown();

    // When the place has its own cache, the legacy files are dropped.
    fs::create_directory(legacy);
    testsupport::writeFile(legacy / ".lumoracache", "wxyz");
    testsupport::writeFile(legacy / ".lumoracache.index", kestra::wideToUtf16le(L"0\n"));
    CacheManager::setCachePlace(dir.wstr(), dir.wstr());
    EXPECT_FALSE(fs::exists(legacy));
    EXPECT_EQ(find(L"&t=t", L"5"), "abcd");
}

}  // namespace
