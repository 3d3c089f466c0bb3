#include "client/maps/CacheManager.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <future>
#include <map>
#include <memory>
#include <random>
#include <thread>

#include "CacheTestSupport.h"
#include "LogCapture.h"
#include "ManualClock.h"
#include "TestSupport.h"
#include "client/maps/CacheIndexFile.h"
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
        CacheManager::setJournalLimit(0);
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

    // The cache's files as a crash at this moment leaves them (the process gone, the
    // system still up): shutdown() would write more.
    std::map<std::string, std::string> crashImage() {
        CacheManager::waitForFold();  // one instant: no fold halfway through the copy
        std::map<std::string, std::string> files;
        for (const auto& entry : fs::directory_iterator(dir.path())) {
            files[entry.path().filename().string()] = testsupport::readFile(entry.path());
        }
        return files;
    }
    // Shuts the cache down and puts the files of the image back in place of what is there.
    void restore(const std::map<std::string, std::string>& files) {
        CacheManager::shutdown();
        for (const auto& entry : fs::directory_iterator(dir.path())) {
            fs::remove(entry.path());
        }
        for (const auto& [name, bytes] : files) {
            testsupport::writeFile(dir.path() / name, bytes);
        }
    }
    std::wstring tile(int i) { return L"4/" + std::to_wstring(i) + L"/1"; }

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

TEST_F(CacheManagerTest, ItemsSurviveARestartAndACrashLosesOnlyTheSavesSinceTheLastDurablePoint) {
    CacheManager::setJournalLimit(20);  // a fold into the index at the 20th and 40th save
    CacheManager::setCachePlace(dir.wstr(), dir.wstr());
    for (int i = 0; i < 45; ++i) {
        save(tile(i), L"", 500, L"openStreet");
        if (i == 30) {
            save(tile(3), L"", 700, L"openStreet");  // replaces the copy folded in before
        }
    }
    const auto crashed = crashImage();
    EXPECT_EQ(fs::file_size(dataFile()), 45u * 500u + 700u);
    restore(crashed);

    CacheManager::setCachePlace(dir.wstr() + L"/", dir.wstr());  // trailing "/" or not: same
    // Saves 1 to 40 were made durable (the 40th is the second durable point after the 21st);
    // the five after it are lost.
    std::wstring type;
    std::string data;
    ASSERT_TRUE(CacheManager::findMaxVersionCacheItem(L"openStreet", block(tile(38)), type, data));
    EXPECT_EQ(type, L"png");
    EXPECT_EQ(data, imageFor(tile(38), L"", 500));
    EXPECT_EQ(find(tile(3), L"", L"openStreet"), imageFor(tile(3), L"", 700));
    EXPECT_EQ(find(tile(0), L"", L"openStreet"), imageFor(tile(0), L"", 500));
    EXPECT_EQ(find(tile(39), L"", L"openStreet"), "-");  // the 41st save
    EXPECT_EQ(find(tile(44), L"", L"openStreet"), "-");
    EXPECT_EQ(versionsInIndex(tile(3)), (std::vector<std::wstring>{L"<empty>", L"__old__"}));

    // A clean shutdown leaves the whole cache in the index file alone, which the format of
    // every earlier version reads.
    save(tile(50), L"", 500, L"openStreet");
    CacheManager::shutdown();
    EXPECT_FALSE(fs::exists(dir.path() / CacheManager::JOURNAL_FILE));
    EXPECT_FALSE(fs::exists(dir.path() / CacheManager::FOLDING_FILE));
    CacheIndices indices;
    CacheIndexFile::parse(kestra::utf16leToWide(testsupport::readFile(indexFile())),
                          fs::file_size(dataFile()), indices);
    EXPECT_EQ(indices[L"openStreet"].size(), 40u);
    EXPECT_EQ(indices[L"openStreet"][tile(50)].front().size, 500u);
}

TEST_F(CacheManagerTest, ATornDamagedOrStrayJournalNeverYieldsWrongBytes) {
    CacheManager::setCachePlace(dir.wstr(), dir.wstr());
    for (int i = 0; i < 40; ++i) {
        save(tile(i), L"7", 400 + i);
    }
    const auto crashed = crashImage();
    const std::string journal = crashed.at(CacheManager::JOURNAL_FILE);

    // The last record torn: the 39 before it stay, and new saves follow the last good one.
    auto torn = crashed;
    torn[CacheManager::JOURNAL_FILE] = journal.substr(0, journal.size() - 5);
    restore(torn);
    CacheManager::setCachePlace(dir.wstr(), dir.wstr());
    EXPECT_EQ(find(tile(38), L"7"), imageFor(tile(38), L"7", 438));
    EXPECT_EQ(find(tile(39), L"7"), "-");
    for (int i = 100; i < 120; ++i) {
        save(tile(i), L"7", 300);
    }
    restore(crashImage());
    CacheManager::setCachePlace(dir.wstr(), dir.wstr());
    EXPECT_EQ(find(tile(119), L"7"), imageFor(tile(119), L"7", 300));
    EXPECT_EQ(find(tile(5), L"7"), imageFor(tile(5), L"7", 405));

    // A damaged byte in the middle: the records before it stay, none after it is trusted.
    auto damaged = crashed;
    damaged[CacheManager::JOURNAL_FILE][journal.size() / 2] ^= 0x20;
    restore(damaged);
    CacheManager::setCachePlace(dir.wstr(), dir.wstr());
    EXPECT_EQ(find(tile(3), L"7"), imageFor(tile(3), L"7", 403));
    EXPECT_EQ(find(tile(39), L"7"), "-");
    for (int i = 0; i < 40; ++i) {
        const std::string data = find(tile(i), L"7");
        EXPECT_TRUE(data == "-" || data == imageFor(tile(i), L"7", 400 + i)) << i;
    }

    // A data file cut short (another program, a restored backup): records naming bytes
    // beyond its end are dropped, not served.
    auto cut = crashed;
    cut[".lumoracache"].resize(10 * 400 + 45);
    restore(cut);
    CacheManager::setCachePlace(dir.wstr(), dir.wstr());
    EXPECT_EQ(find(tile(9), L"7"), imageFor(tile(9), L"7", 409));
    EXPECT_EQ(find(tile(10), L"7"), "-");

    // A journal without its index (a crash in the middle of a cleanup) describes nothing.
    auto orphan = crashed;
    orphan.erase(".lumoracache.index");
    restore(orphan);
    CacheManager::setCachePlace(dir.wstr(), dir.wstr());
    EXPECT_EQ(find(tile(0), L"7"), "-");
    EXPECT_FALSE(fs::exists(dir.path() / CacheManager::JOURNAL_FILE));
}

TEST_F(CacheManagerTest, AJournalFoldedBeforeACrashIsNotAppliedTwice) {
    CacheManager::setJournalLimit(20);
    CacheManager::setCachePlace(dir.wstr(), dir.wstr());
    for (int i = 0; i < 20; ++i) {
        save(tile(i % 10), L"3", 300 + i);  // every block twice: the first becomes "__old__"
    }
    CacheManager::waitForFold();
    const auto folded = crashImage();
    ASSERT_FALSE(folded.count(CacheManager::FOLDING_FILE));
    const std::vector<std::wstring> tokens = cachetest::indexTokens(indexFile());
    ASSERT_GT(tokens.size(), 3u);
    EXPECT_EQ(tokens.at(3), L"10");  // the fold wrote the index: ten blocks
    // The crash came after the new index took its name and before the journal went.
    CacheManager::shutdown();
    auto image = folded;
    const auto journalOfTheFold = [&]() {
        CacheManager::setJournalLimit(0);
        fs::remove(indexFile());
        fs::remove(dataFile());
        CacheManager::setCachePlace(dir.wstr(), dir.wstr());
        for (int i = 0; i < 20; ++i) {
            save(tile(i % 10), L"3", 300 + i);
        }
        return crashImage().at(CacheManager::JOURNAL_FILE);
    };
    image[CacheManager::FOLDING_FILE] = journalOfTheFold();
    restore(image);
    CacheManager::setCachePlace(dir.wstr(), dir.wstr());
    EXPECT_EQ(find(tile(4), L"3"), imageFor(tile(4), L"3", 314));
    EXPECT_EQ(versionsInIndex(tile(4)), (std::vector<std::wstring>{L"3", L"__old__"}));
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
    // The data file stays open: what was saved is still served.
    EXPECT_EQ(find(L"a", L"1"), imageFor(L"a", L"1", 300));
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

namespace {

// A clock that, each time the cache asks it the time (a save and a cleanup do, holding the
// writers' lock), has another thread look a block up and waits for the answer. A lookup
// that waits for the writers' lock never answers; the guard of a minute then counts it.
class LookingUpClock : public ManualClock {
public:
    std::time_t now() const override {
        if (armed && stalled == 0) {
            auto answer = std::make_shared<std::promise<std::string>>();
            std::future<std::string> future = answer->get_future();
            std::thread([answer]() {
                std::string data;
                std::wstring type;
                try {
                    CacheManager::findMaxVersionCacheItem(L"google", block(L"kept"), type, data);
                } catch (const std::exception&) {
                    data = "error";
                }
                answer->set_value(data);
            }).detach();
            if (future.wait_for(std::chrono::minutes(1)) == std::future_status::ready) {
                answers.push_back(future.get());
            } else {
                ++stalled;
            }
        }
        return ManualClock::now();
    }
    bool armed = false;
    mutable std::vector<std::string> answers;
    mutable int stalled = 0;
};

TEST(CacheLockingTest, LookupsAreAnsweredWhileASaveOrACleanupHoldsTheWritersLock) {
    testsupport::TempDir dir;
    LookingUpClock clock;
    CacheManager::setClock(&clock);
    CacheManager::setCachePlace(dir.wstr(), dir.wstr());
    CacheManager::saveCacheItem(L"google", block(L"kept"), L"1", L"png",
                                imageFor(L"kept", L"1", 900));
    clock.armed = true;
    for (int i = 0; i < 25; ++i) {  // through a durable point
        CacheManager::saveCacheItem(L"google", block(L"b" + std::to_wstring(i)), L"1", L"png",
                                    imageFor(L"b", L"1", 300));
    }
    CacheManager::cleanup(1);
    clock.armed = false;
    EXPECT_EQ(clock.stalled, 0);
    EXPECT_EQ(clock.answers.size(), 26u);
    for (const std::string& answer : clock.answers) {
        EXPECT_EQ(answer, imageFor(L"kept", L"1", 900));
    }
    CacheManager::shutdown();
    CacheManager::setClock(nullptr);
}

// Lookups on one thread while another saves, folds, flushes and compacts: every answer is
// the right image, also while a cleanup puts the compacted file in place of the one being
// read.
TEST(CacheLockingTest, ConcurrentLookupsGetOnlyCorrectImagesThroughSavesFoldsAndCleanups) {
    testsupport::TempDir dir;
    CacheManager::setJournalLimit(25);
    CacheManager::setCachePlace(dir.wstr(), dir.wstr());
    const auto name = [](unsigned int i) { return L"t" + std::to_wstring(i % 150); };
    std::atomic<bool> stop{false};
    std::atomic<int> found{0};
    std::atomic<int> wrong{0};
    std::thread reader([&]() {
        std::mt19937 random(3);
        while (!stop) {
            const std::wstring wanted = name(random());
            std::string data;
            std::wstring type;
            std::wstring carriedName;
            try {
                if (CacheManager::findMaxVersionCacheItem(L"google", block(wanted), type, data)) {
                    ++found;
                    if (!cachetest::isIntactImage(data, &carriedName) || carriedName != wanted) {
                        ++wrong;
                    }
                }
            } catch (const std::exception&) {
                ++wrong;  // a failed read is no better than a wrong one
            }
        }
    });
    std::mt19937 random(5);
    for (int i = 1; i <= 1200; ++i) {
        const std::wstring n = name(random());
        CacheManager::saveCacheItem(L"google", block(n), std::to_wstring(random() % 3), L"png",
                                    imageFor(n, std::to_wstring(i), 200 + random() % 3000));
        if (i % 300 == 0) {
            CacheManager::cleanup(1);
        } else if (i % 170 == 0) {
            CacheManager::flush();
        }
    }
    stop = true;
    reader.join();
    EXPECT_EQ(wrong.load(), 0);
    EXPECT_GT(found.load(), 0);
    CacheManager::shutdown();
    CacheManager::setJournalLimit(0);
}

}  // namespace
