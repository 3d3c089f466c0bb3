#pragma once

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
// The index is written to ".lumoracache.indextmp", forced to disk together with the data
// it refers to, and renamed over the old one, so a crash or a power cut at any moment
// leaves either the old or the new index, each describing bytes that are on disk. The
// index is written every 20 saves and at shutdown.
//
// States: not ready -> ready (setCachePlace loaded or created the index) -> not ready
// (shutdown; removeAllItems passes through it). Every operation on the store checks the
// ready flag and throws kestra::CacheException "Not ready" when it is clear. One recursive
// lock serialises everything; the maps loader's thread and the main thread both use the
// cache.
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
    static constexpr const wchar_t* OLD_VERSION = L"__old__";
    static constexpr int SAVES_PER_FLUSH = 20;

private:
    static void open();
    static void loadIndex();
    static void migrateLegacy(const std::wstring& previousPlace);
    static void checkReady(const char* operation);
    static std::uint32_t saveItemToFile(const std::string& path, const std::string& data);
    static std::string readItemFromFile(const std::string& path, std::uint32_t offset,
                                        std::uint32_t size);
    static void insertItem(const std::wstring& loaderName, const std::wstring& blockName,
                           const CacheItem& item);
    static void compactInto(const std::string& tmpPath, std::uint64_t cutOff);
};
