#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "client/maps/CacheItem.h"
#include "client/maps/MapsDataTypes.h"
#include "kestra/Clock.h"

// The process-wide tile cache: block images of the three sources, by block name and
// version, kept in two files in the cache folder:
//
//   ".lumoracache"        the image bytes one after another (append-only between
//                         cleanups)
//   ".lumoracache.index"  where each image lies (format in CacheIndexFile.h)
//
//   ".lumoracache.journal" the saves since the index was last written whole (format in
//                         CacheJournal.h)
//
// Every 20 saves the data file and then the new journal records are forced to disk (the
// durable point): a crash loses at most the 19 saves since. When the journal has grown
// long, a background thread folds it into a new index (the old index and the journal,
// renamed ".lumoracache.journal.folding", read back from disk). The index is written whole,
// and the journal dropped, at shutdown, after a cleanup and before a move. An index is
// always written to ".lumoracache.indextmp", forced to disk with the data it refers to and
// renamed over the old one. Opening reads the index and replays the journals on top.
//
// States: not ready -> ready (setCachePlace loaded or created the index) -> not ready
// (shutdown; removeAllItems passes through it). Every operation on the store checks the
// ready flag and throws kestra::CacheException "Not ready" when it is clear. Saves and
// every change of place or files are serialised by one recursive lock; lookups never take
// it: they share a second lock that is held alone only for the moment a save inserts into
// the index or a cleanup swaps in the compacted file, and read the image bytes with no lock
// held from the data file kept open. The maps loader's thread and the main thread both use
// the cache.
class CacheManager {
public:
    // Makes place the cache folder and opens the cache there. When previousPlace holds a
    // cache and place has none, the cache moves over first; a legacy "defaultCache"
    // sub-folder of previousPlace is migrated or removed. Throws
    // kestra::NotFoundCacheDirectoryException when place is not a folder,
    // kestra::CacheLoadingException when the index cannot be read or is damaged, and
    // kestra::CacheSavingException when a move fails.
    static void setCachePlace(const std::wstring& place, const std::wstring& previousPlace);
    // Moves both files from the current place to newPlace and opens them there.
    static void changeCachePlace(const std::wstring& newPlace);
    static void changeCachePlace(const std::wstring& from, const std::wstring& to);

    // Appends the image and indexes it as the newest copy of that version. Throws
    // kestra::CacheSavingException when the data file cannot be written or a name cannot
    // be stored (white space, more than 99 characters), kestra::CacheException for an
    // unknown source.
    static void saveCacheItem(const std::wstring& loaderName,
                              const MapsDataTypes::ImageBlockProp& block,
                              const std::wstring& version, const std::wstring& imageType,
                              const std::string& data);
    // The image of exactly that version (and its image type, when asked); false when there
    // is none.
    static bool findCacheItem(const std::wstring& loaderName,
                              const MapsDataTypes::ImageBlockProp& block,
                              const std::wstring& version, std::string& data,
                              std::wstring* imageType = nullptr);
    // The first (newest) copy of the block, whatever its version; false when there is none.
    static bool findMaxVersionCacheItem(const std::wstring& loaderName,
                                        const MapsDataTypes::ImageBlockProp& block,
                                        std::wstring& imageType, std::string& data);

    // Drops copies stored more than days ago and replaced ("__old__") copies, and compacts
    // the data file to what is kept.
    static void cleanup(int days);
    // Deletes both files and starts empty.
    static void removeAllItems();
    // Writes the index (see above).
    static void flush();
    // Writes the index when ready, then forgets it (not ready).
    static void shutdown();
    // Forgets the indices and deletes both files at place (the start-up's answer to a
    // cache that cannot be loaded).
    static void discard(const std::wstring& place);

    static bool isReady();
    // The cache folder with its trailing "/" (empty before setCachePlace).
    static std::wstring getCachePlace();
    // Where "now" comes from (for the stored times and cleanup); the system clock unless a
    // test sets another. Not owned.
    static void setClock(kestra::IClock* clock);

    static constexpr const char* DATA_FILE = ".lumoracache";
    static constexpr const char* INDEX_FILE = ".lumoracache.index";
    static constexpr const char* JOURNAL_FILE = ".lumoracache.journal";
    static constexpr const char* FOLDING_FILE = ".lumoracache.journal.folding";
    static constexpr const wchar_t* OLD_VERSION = L"__old__";
    static constexpr int SAVES_PER_FLUSH = 20;
    // The journal is folded into the index once it holds this many records, or a quarter
    // of the cache's copies when that is more.
    static constexpr std::size_t JOURNAL_RECORDS_PER_FOLD = 4096;

    // Sets the fold threshold to records exactly (0: the default above). For tests and
    // benchmarks that need folds in a small cache.
    static void setJournalLimit(std::size_t records);
    // Waits until no fold runs.
    static void waitForFold();

    // How long the index lock was held alone (lookups waiting), the longest time and the
    // number of times; the longest a lookup waited to share it; and the longest time a save
    // held the writers' lock; in nanoseconds, since the last reset.
    struct LockHoldTimes {
        std::uint64_t longestExclusiveNs = 0;
        std::uint64_t exclusiveCount = 0;
        std::uint64_t longestLookupWaitNs = 0;
        std::uint64_t longestSaveNs = 0;
    };
    static LockHoldTimes lockHoldTimes(bool reset);

private:
    static void open();
    static void loadIndex();
    static void replayJournal(const std::string& path, std::uint64_t dataSize, bool current);
    static void makeDurable();
    static void maybeStartFold();
    static void joinFold();
    static void removeJournals(const std::string& folder);
    static void migrateLegacy(const std::wstring& previousPlace);
    static void checkReady(const char* operation);
    static void insertItem(const std::wstring& loaderName, const std::wstring& blockName,
                           const CacheItem& item);
};
