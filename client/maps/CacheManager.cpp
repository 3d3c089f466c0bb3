#include "client/maps/CacheManager.h"

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <limits>

#include "client/maps/CacheIndexFile.h"
#include "kestra/Exceptions.h"
#include "kestra/Log.h"
#include "kestra/Mutex.h"
#include "kestra/TextCodec.h"
#include "platform/FileMove.h"
#include "platform/FileSystemSync.h"

using kestra::Log;
namespace fs = std::filesystem;

namespace {

// FILETIME of the Unix epoch: 100-ns steps from 1601-01-01 to 1970-01-01.
constexpr std::uint64_t EPOCH_AS_FILETIME = 116444736000000000ull;
constexpr std::uint64_t FILETIME_PER_SECOND = 10000000ull;

struct CacheState {
    kestra::Mutex mutex;
    std::wstring place;
    std::string dataPath;
    std::string indexPath;
    std::atomic<bool> ready{false};
    int savedSinceFlush = 0;
    CacheIndices indices;
    kestra::IClock* clock = &kestra::SystemClock::instance();
};

CacheState& state() {
    static CacheState s;
    return s;
}

// The stored versions of one block of one source, newest first; null when there are none.
const BlockList* storedVersions(const CacheState& s, const std::wstring& loaderName,
                                const std::wstring& blockName) {
    const auto index = s.indices.find(loaderName);
    if (index == s.indices.end()) {
        return nullptr;
    }
    const auto found = index->second.find(blockName);
    return found == index->second.end() || found->second.empty() ? nullptr : &found->second;
}

std::wstring withSeparator(const std::wstring& folder) {
    if (!folder.empty() && folder.back() == L'/') {
        return folder;
    }
    return folder + L"/";
}

std::string narrow(const std::wstring& text) {
    return kestra::wideToUtf8(text);
}

bool exists(const std::string& path) {
    std::error_code ec;
    return fs::exists(path, ec);
}

void removeFile(const std::string& path) {
    std::error_code ec;
    fs::remove(path, ec);
}

// Two spellings of one folder are one place: moving a cache onto itself would delete it.
bool samePlace(const std::wstring& a, const std::wstring& b) {
    std::error_code ec;
    if (fs::exists(narrow(a), ec) && fs::exists(narrow(b), ec)) {
        return fs::equivalent(narrow(a), narrow(b), ec);
    }
    return a == b;
}

[[noreturn]] void saving(const std::string& message) {
    Log::error(message);
    throw kestra::CacheSavingException();
}

[[noreturn]] void loading(const std::string& message) {
    Log::error(message);
    throw kestra::CacheLoadingException();
}

std::uint64_t fileTimeNow(const CacheState& s) {
    const std::int64_t now = s.clock->now();
    return EPOCH_AS_FILETIME + static_cast<std::uint64_t>(now < 0 ? 0 : now) * FILETIME_PER_SECOND;
}

void resetIndices(CacheState& s) {
    s.indices.clear();
    for (const wchar_t* name : {L"google", L"microsoft", L"openStreet"}) {
        s.indices[name];
    }
}

}  // namespace

void CacheManager::setClock(kestra::IClock* clock) {
    state().clock = clock != nullptr ? clock : &kestra::SystemClock::instance();
}

bool CacheManager::isReady() {
    return state().ready.load();
}

std::wstring CacheManager::getCachePlace() {
    CacheState& s = state();
    kestra::Mutex::Locker lock(s.mutex);
    return s.place;
}

void CacheManager::checkReady(const char* operation) {
    if (!state().ready) {
        const std::string place = std::string("CacheManager::") + operation;
        Log::error(place + ": cache is not ready to work. Use setCachePlace.");
        throw kestra::CacheException(place, "Not ready");
    }
}

void CacheManager::setCachePlace(const std::wstring& place, const std::wstring& previousPlace) {
    CacheState& s = state();
    {
        kestra::Mutex::Locker lock(s.mutex);
        s.ready = false;
        std::error_code ec;
        if (!fs::is_directory(narrow(place), ec)) {
            Log::error("CacheManager::setCachePlace: cache directory not found");
            throw kestra::NotFoundCacheDirectoryException("CacheManager::setCachePlace",
                                                          "Cache directory not found");
        }
        s.place = withSeparator(place);
        s.dataPath = narrow(s.place) + DATA_FILE;
        s.indexPath = narrow(s.place) + INDEX_FILE;
        const std::wstring previous = withSeparator(previousPlace);
        const std::string previousFolder = narrow(previous);
        if (!samePlace(previous, s.place) && exists(previousFolder + DATA_FILE) &&
            exists(previousFolder + INDEX_FILE) && !exists(s.dataPath)) {
            changeCachePlace(previous, s.place);
        }
        migrateLegacy(previous);
    }
    open();
}

// An older layout kept the cache in a "defaultCache" sub-folder: its files move up when
// the cache stays where it was and lacks them; otherwise they are dropped.
void CacheManager::migrateLegacy(const std::wstring& previousPlace) {
    CacheState& s = state();
    const std::string legacy = narrow(previousPlace) + "defaultCache/";
    std::error_code ec;
    if (!fs::is_directory(legacy, ec)) {
        return;
    }
    const std::string legacyData = legacy + DATA_FILE;
    const std::string legacyIndex = legacy + INDEX_FILE;
    const bool placeLacksOne = !exists(s.dataPath) || !exists(s.indexPath);
    if (exists(legacyData) && exists(legacyIndex) && samePlace(previousPlace, s.place) &&
        placeLacksOne) {
        removeFile(s.dataPath);
        removeFile(s.indexPath);
        if (!platform::moveFile(legacyData, s.dataPath)) {
            saving("CacheManager::setCachePlace: moving cache error");
        }
        if (!platform::moveFile(legacyIndex, s.indexPath)) {
            platform::moveFile(s.dataPath, legacyData);
            saving("CacheManager::setCachePlace: moving index error");
        }
    } else {
        removeFile(legacyData);
        removeFile(legacyIndex);
    }
    fs::remove(legacy, ec);  // only when nothing else is in it
}

void CacheManager::changeCachePlace(const std::wstring& newPlace) {
    changeCachePlace(getCachePlace(), newPlace);
}

void CacheManager::changeCachePlace(const std::wstring& from, const std::wstring& to) {
    CacheState& s = state();
    const std::wstring source = withSeparator(from);
    const std::wstring target = withSeparator(to);
    {
        kestra::Mutex::Locker lock(s.mutex);
        if (!samePlace(source, target)) {
            if (s.ready && samePlace(source, s.place)) {
                flush();  // the index that moves must name every image saved so far
            }
            for (const char* file : {DATA_FILE, INDEX_FILE}) {
                const std::string origin = narrow(source) + file;
                if (exists(origin)) {
                    removeFile(narrow(target) + file);
                    if (!platform::moveFile(origin, narrow(target) + file)) {
                        saving("CacheManager::changeCachePlace: MoveFile Error");
                    }
                }
            }
        }
    }
    setCachePlace(target, target);
}

void CacheManager::open() {
    CacheState& s = state();
    kestra::Mutex::Locker lock(s.mutex);
    s.ready = false;
    s.savedSinceFlush = 0;
    resetIndices(s);
    if (!exists(s.indexPath)) {
        flush();
    } else {
        loadIndex();
    }
    s.ready = true;
}

void CacheManager::loadIndex() {
    CacheState& s = state();
    std::FILE* file = std::fopen(s.indexPath.c_str(), "rb");
    if (file == nullptr) {
        loading("CacheManager::loadIndex: cache read error");
    }
    std::string bytes;
    char buffer[65536];
    std::size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof(buffer), file)) > 0) {
        bytes.append(buffer, n);
    }
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed) {
        loading("CacheManager::loadIndex: read error");
    }
    const std::wstring text = kestra::utf16leToWide(bytes);
    std::error_code ec;
    const std::uintmax_t dataSize = exists(s.dataPath) ? fs::file_size(s.dataPath, ec) : 0;
    try {
        if (text.empty() && !bytes.empty()) {
            Log::error("CacheManager::loadIndex: Can not load index.");
            throw kestra::CacheIsCorruptException();
        }
        CacheIndexFile::parse(text, ec ? 0 : dataSize, s.indices);
    } catch (const std::exception&) {
        resetIndices(s);
        throw kestra::CacheLoadingException("CacheManager::loadIndex", "Can not load index.");
    }
    for (const wchar_t* name : {L"google", L"microsoft", L"openStreet"}) {
        s.indices[name];  // a source without blocks is not in the file
    }
}

std::uint32_t CacheManager::saveItemToFile(const std::string& path, const std::string& data) {
    checkReady("saveItemToFile");
    std::FILE* file = std::fopen(path.c_str(), "ab");
    if (file == nullptr) {
        saving("CacheManager::saveItemToFile: file creation error");
    }
    long end = -1;
    if (std::fseek(file, 0, SEEK_END) != 0 || (end = std::ftell(file)) < 0) {
        std::fclose(file);
        saving("CacheManager::saveItemToFile: offset setting error");
    }
    // Offsets are 32-bit in the index: a data file never grows past 4 GiB.
    const bool fits =
        static_cast<std::uint64_t>(end) + data.size() <= std::numeric_limits<std::uint32_t>::max();
    const bool written = fits && std::fwrite(data.data(), 1, data.size(), file) == data.size();
    if (std::fclose(file) != 0 || !written) {
        saving("CacheManager::saveItemToFile: saving error");
    }
    return static_cast<std::uint32_t>(end);
}

std::string CacheManager::readItemFromFile(const std::string& path, std::uint32_t offset,
                                           std::uint32_t size) {
    checkReady("readItemFromFile");
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        loading("CacheManager::readItemFromFile: cache read error");
    }
    if (std::fseek(file, static_cast<long>(offset), SEEK_SET) != 0) {
        std::fclose(file);
        loading("CacheManager::readItemFromFile: offset setting error");
    }
    std::string data(size, '\0');
    // A short read means the file no longer holds what the index says: an error, never
    // a block of whatever happens to be there.
    const bool complete = std::fread(data.data(), 1, size, file) == size;
    std::fclose(file);
    if (!complete) {
        loading("CacheManager::readItemFromFile: read error");
    }
    return data;
}

// Newest version first; a copy of the same version replaces the one in the list, which is
// kept at the end as "__old__".
void CacheManager::insertItem(const std::wstring& loaderName, const std::wstring& blockName,
                              const CacheItem& item) {
    LoaderIndex& index = state().indices[loaderName];
    const auto found = index.find(blockName);
    if (found == index.end()) {
        index[blockName].push_back(item);
        return;
    }
    BlockList& list = found->second;
    if (list.empty()) {
        Log::error("CacheManager::saveCacheItem: Cache error.");
        throw kestra::CacheException("CacheManager::saveCacheItem", "Cache error.");
    }
    if (list.front().version < item.version) {
        list.push_front(item);
        return;
    }
    if (list.front().version == item.version) {
        CacheItem replaced = list.front();
        replaced.version = OLD_VERSION;
        list.pop_front();
        list.push_front(item);
        list.push_back(replaced);
        return;
    }
    for (CacheItem& existing : list) {
        if (existing.version == item.version) {
            CacheItem replaced = existing;
            replaced.version = OLD_VERSION;
            existing = item;
            list.push_back(replaced);
            return;
        }
    }
    list.push_back(item);
}

void CacheManager::saveCacheItem(const std::wstring& loaderName,
                                 const MapsDataTypes::ImageBlockProp& block,
                                 const std::wstring& version, const std::wstring& imageType,
                                 const std::string& data) {
    CacheState& s = state();
    kestra::Mutex::Locker lock(s.mutex);
    checkReady("saveCacheItem");
    if (!CacheIndexFile::isKnownLoader(loaderName)) {
        Log::error("CacheManager::saveCacheItem: Unsupported loader");
        throw kestra::CacheException("CacheManager::saveCacheItem", "Unsupported loader");
    }
    if (!CacheIndexFile::isStorable(block.name, false) ||
        !CacheIndexFile::isStorable(version, true) ||
        !CacheIndexFile::isStorable(imageType, true) || version == OLD_VERSION) {
        saving(
            "CacheManager::saveCacheItem: the block name, version or image type cannot be "
            "stored in the index.");
    }
    CacheItem item;
    item.imageType = imageType;
    item.version = version;
    item.size = static_cast<std::uint32_t>(data.size());
    item.setSavedAt(fileTimeNow(s));
    item.offset = saveItemToFile(s.dataPath, data);
    insertItem(loaderName, block.name, item);
    if (++s.savedSinceFlush >= SAVES_PER_FLUSH) {
        s.savedSinceFlush = 0;
        flush();
    }
}

bool CacheManager::findCacheItem(const std::wstring& loaderName,
                                 const MapsDataTypes::ImageBlockProp& block,
                                 const std::wstring& version, std::string& data,
                                 std::wstring* imageType) {
    CacheState& s = state();
    kestra::Mutex::Locker lock(s.mutex);
    checkReady("findCacheItem");
    const BlockList* stored = storedVersions(s, loaderName, block.name);
    if (stored == nullptr) {
        return false;
    }
    const BlockList& list = *stored;
    auto it = list.begin();
    if (it->version != version) {
        if (it->version < version) {
            return false;
        }
        for (++it; it != list.end(); ++it) {
            if (it->version == OLD_VERSION || it->version < version) {
                return false;
            }
            if (it->version == version) {
                break;
            }
        }
        if (it == list.end()) {
            return false;
        }
    }
    data = readItemFromFile(s.dataPath, it->offset, it->size);
    if (imageType != nullptr) {
        *imageType = it->imageType;
    }
    return true;
}

bool CacheManager::findMaxVersionCacheItem(const std::wstring& loaderName,
                                           const MapsDataTypes::ImageBlockProp& block,
                                           std::wstring& imageType, std::string& data) {
    CacheState& s = state();
    kestra::Mutex::Locker lock(s.mutex);
    checkReady("findMaxVersionCacheItem");
    const BlockList* stored = storedVersions(s, loaderName, block.name);
    if (stored == nullptr) {
        return false;
    }
    const CacheItem& first = stored->front();
    data = readItemFromFile(s.dataPath, first.offset, first.size);
    imageType = first.imageType;
    return true;
}

namespace {

bool writeWhole(std::FILE* file, const std::string& bytes) {
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && written;
}

}  // namespace

// The order makes the index durable: data file and new index on disk first, then the
// rename (atomic), then the folder entry.
void CacheManager::flush() {
    CacheState& s = state();
    kestra::Mutex::Locker lock(s.mutex);
    if (s.place.empty()) {
        Log::error("CacheManager::flush: Cache place not specified");
        throw kestra::CacheException("CacheManager::flush", "Cache place not specified");
    }
    const std::string tmp = s.indexPath + "tmp";
    std::FILE* file = std::fopen(tmp.c_str(), "wb");
    if (file == nullptr) {
        saving("CacheManager::flush: index file saving error");
    }
    if (!writeWhole(file, CacheIndexFile::serialize(s.indices)) || !platform::syncToDisk(tmp) ||
        (exists(s.dataPath) && !platform::syncToDisk(s.dataPath))) {
        removeFile(tmp);
        saving("CacheManager::flush: file creation error");
    }
    std::error_code ec;
    fs::rename(tmp, s.indexPath, ec);
    if (ec) {
        removeFile(tmp);  // the previous index stays as it was
        saving("CacheManager::flush: renaming error");
    }
    platform::syncToDisk(narrow(s.place));
}

// Copies every kept image into tmpPath and points its item there; drops the rest.
void CacheManager::compactInto(const std::string& tmpPath, std::uint64_t cutOff) {
    CacheState& s = state();
    std::FILE* out = std::fopen(tmpPath.c_str(), "wb");
    if (out == nullptr) {
        saving("CacheManager::cleanup: file creation error");
    }
    std::uint64_t written = 0;
    bool failed = false;
    for (auto& [loader, index] : s.indices) {
        for (auto block = index.begin(); block != index.end();) {
            BlockList& list = block->second;
            for (auto it = list.begin(); it != list.end();) {
                bool keep = it->savedAt() >= cutOff && it->version != OLD_VERSION;
                if (keep) {
                    try {
                        const std::string data = readItemFromFile(s.dataPath, it->offset, it->size);
                        failed =
                            failed || std::fwrite(data.data(), 1, data.size(), out) != data.size();
                        it->offset = static_cast<std::uint32_t>(written);
                        written += data.size();
                    } catch (const kestra::CacheLoadingException&) {
                        keep = false;  // its bytes are gone: nothing to keep
                    }
                }
                it = keep ? std::next(it) : list.erase(it);
            }
            block = list.empty() ? index.erase(block) : std::next(block);
        }
    }
    if (std::fclose(out) != 0 || failed || !platform::syncToDisk(tmpPath)) {
        removeFile(tmpPath);
        saving("CacheManager::cleanup: saving error");
    }
}

void CacheManager::cleanup(int days) {
    CacheState& s = state();
    kestra::Mutex::Locker lock(s.mutex);
    if (s.place.empty() || !s.ready) {
        Log::error("CacheManager::cleanup: cache is not ready to work. Use setCachePlace.");
        throw kestra::CacheException("CacheManager::cleanup", "Not ready");
    }
    const std::uint64_t now = fileTimeNow(s);
    const std::uint64_t age =
        static_cast<std::uint64_t>(days < 0 ? 0 : days) * 24u * 3600u * FILETIME_PER_SECOND;
    const std::uint64_t cutOff = now > age ? now - age : 0;
    const std::string tmp = s.dataPath + ".tmp";
    removeFile(tmp);
    try {
        compactInto(tmp, cutOff);
    } catch (...) {
        open();  // the items in memory may point into the abandoned copy: read them again
        throw;
    }
    // The index on disk names offsets in the old data file. It goes first, so that a crash
    // before the new index is written leaves no index (an empty cache), never an index
    // that points into the compacted file.
    removeFile(s.indexPath);
    platform::syncToDisk(narrow(s.place));
    std::error_code ec;
    fs::rename(tmp, s.dataPath, ec);
    if (ec) {
        removeFile(tmp);
        resetIndices(s);  // nothing matches the data file any more
        flush();
        saving("CacheManager::cleanup: renaming error");
    }
    flush();
}

void CacheManager::removeAllItems() {
    CacheState& s = state();
    {
        kestra::Mutex::Locker lock(s.mutex);
        if (s.place.empty() || !s.ready) {
            Log::error(
                "CacheManager::removeAllItems: cache is not ready to work. Use setCachePlace.");
            throw kestra::CacheException("CacheManager::removeAllItems", "Not ready");
        }
        removeFile(s.indexPath);
        removeFile(s.dataPath);
        resetIndices(s);
        s.ready = false;
    }
    open();
}

void CacheManager::shutdown() {
    CacheState& s = state();
    kestra::Mutex::Locker lock(s.mutex);
    try {
        if (s.ready) {
            flush();
        }
    } catch (...) {
        s.ready = false;
        resetIndices(s);
        throw;
    }
    s.ready = false;
    resetIndices(s);
}

void CacheManager::discard(const std::wstring& place) {
    CacheState& s = state();
    kestra::Mutex::Locker lock(s.mutex);
    s.ready = false;
    resetIndices(s);
    const std::string folder = narrow(withSeparator(place));
    removeFile(folder + INDEX_FILE);
    removeFile(folder + DATA_FILE);
}
