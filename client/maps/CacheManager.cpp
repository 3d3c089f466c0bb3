#include "client/maps/CacheManager.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <thread>
#include <vector>

#include "client/maps/CacheIndexFile.h"
#include "client/maps/CacheJournal.h"
#include "kestra/Exceptions.h"
#include "kestra/Log.h"
#include "kestra/Mutex.h"
#include "kestra/TextCodec.h"
#include "platform/FileMove.h"
#include "platform/FileSystemSync.h"
#include "platform/RandomAccessFile.h"

using kestra::Log;
namespace fs = std::filesystem;
using SteadyClock = std::chrono::steady_clock;

namespace {

// FILETIME of the Unix epoch: 100-ns steps from 1601-01-01 to 1970-01-01.
constexpr std::uint64_t EPOCH_AS_FILETIME = 116444736000000000ull;
constexpr std::uint64_t FILETIME_PER_SECOND = 10000000ull;

struct CacheState {
    // Saves and every change of place or files. Lookups never take it.
    kestra::Mutex mutex;
    // indices, data and ready: lookups share it; a change takes it alone, briefly. Changes
    // happen only under mutex too, so a holder of mutex may read indices without it.
    std::shared_mutex indexLock;
    std::wstring place;
    std::string dataPath;
    std::string indexPath;
    std::string journalPath;
    std::string foldingPath;
    std::atomic<bool> ready{false};
    CacheIndices indices;
    std::size_t copies = 0;  // items in indices
    // The data file, kept open; null until it exists. A lookup keeps its own reference, so
    // a cleanup may put a new file in place while old reads finish in the old one.
    std::shared_ptr<platform::RandomAccessFile> data;
    std::uint64_t dataEnd = 0;

    // The journal file (null until the next durable point creates it), its length, and
    // the records of the saves since the last durable point.
    std::unique_ptr<platform::RandomAccessFile> journal;
    std::uint64_t journalEnd = 0;
    std::size_t journaled = 0;
    std::string pending;
    int pendingSaves = 0;
    std::size_t journalLimit = 0;

    std::thread fold;
    std::atomic<bool> folding{false};
    std::atomic<bool> stopFold{false};
    std::atomic<bool> foldFailed{false};
    std::size_t foldRetryAfter = 0;  // journal records before a failed fold is tried again

    std::atomic<std::uint64_t> longestExclusiveNs{0};
    std::atomic<std::uint64_t> exclusiveCount{0};
    std::atomic<std::uint64_t> longestSaveNs{0};
    std::atomic<std::uint64_t> longestLookupWaitNs{0};

    kestra::IClock* clock = &kestra::SystemClock::instance();

    // A program that ends without shutdown() must not end with a fold still running.
    ~CacheState() {
        if (fold.joinable()) {
            stopFold = true;
            fold.join();
        }
    }
};

CacheState& state() {
    static CacheState s;
    return s;
}

void recordLongest(std::atomic<std::uint64_t>& longest, SteadyClock::time_point since) {
    const auto ns = static_cast<std::uint64_t>(
        std::chrono::duration_cast<std::chrono::nanoseconds>(SteadyClock::now() - since).count());
    std::uint64_t seen = longest.load();
    while (ns > seen && !longest.compare_exchange_weak(seen, ns)) {
    }
}

// The index lock held alone, timed: how long lookups may have waited.
class ExclusiveIndex {
public:
    explicit ExclusiveIndex(CacheState& s)
        : s_(s), lock_(s.indexLock), since_(SteadyClock::now()) {}
    ~ExclusiveIndex() {
        recordLongest(s_.longestExclusiveNs, since_);
        s_.exclusiveCount.fetch_add(1);
    }
    ExclusiveIndex(const ExclusiveIndex&) = delete;
    ExclusiveIndex& operator=(const ExclusiveIndex&) = delete;

private:
    CacheState& s_;
    std::unique_lock<std::shared_mutex> lock_;
    SteadyClock::time_point since_;
};

// The index lock shared by a lookup, timed: how long it waited for a writer.
class SharedIndex {
public:
    explicit SharedIndex(CacheState& s) {
        const auto since = SteadyClock::now();
        lock_ = std::shared_lock<std::shared_mutex>(s.indexLock);
        recordLongest(s.longestLookupWaitNs, since);
    }

private:
    std::shared_lock<std::shared_mutex> lock_;
};

// The stored versions of one block of one source, newest first; null when there are none.
const BlockList* storedVersions(const CacheIndices& indices, const std::wstring& loaderName,
                                const std::wstring& blockName) {
    const auto index = indices.find(loaderName);
    if (index == indices.end()) {
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

std::uint64_t fileSize(const std::string& path) {
    std::error_code ec;
    const std::uintmax_t size = exists(path) ? fs::file_size(path, ec) : 0;
    return ec ? 0 : size;
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

void resetIndices(CacheIndices& indices) {
    indices.clear();
    for (const wchar_t* name : {L"google", L"microsoft", L"openStreet"}) {
        indices[name];
    }
}

std::size_t countCopies(const CacheIndices& indices) {
    std::size_t copies = 0;
    for (const auto& entry : indices) {
        for (const auto& block : entry.second) {
            copies += block.second.size();
        }
    }
    return copies;
}

std::string readImage(const std::shared_ptr<platform::RandomAccessFile>& file, std::uint32_t offset,
                      std::uint32_t size) {
    std::string data(size, '\0');
    if (size == 0) {
        return data;
    }
    if (!file) {
        loading("CacheManager::readItemFromFile: cache read error");
    }
    // A short read means the file no longer holds what the index says: an error, never
    // a block of whatever happens to be there.
    if (!file->readAt(offset, data.data(), size)) {
        loading("CacheManager::readItemFromFile: read error");
    }
    return data;
}

// Newest version first; a copy of the same version replaces the one in the list, which is
// kept at the end as "__old__". False when the list is broken (empty).
bool insertInto(CacheIndices& indices, const std::wstring& loaderName,
                const std::wstring& blockName, const CacheItem& item) {
    LoaderIndex& index = indices[loaderName];
    const auto found = index.find(blockName);
    if (found == index.end()) {
        index[blockName].push_back(item);
        return true;
    }
    BlockList& list = found->second;
    if (list.empty()) {
        return false;
    }
    if (list.front().version < item.version) {
        list.push_front(item);
        return true;
    }
    for (CacheItem& existing : list) {
        if (existing.version == item.version) {
            CacheItem replaced = existing;
            replaced.version = CacheManager::OLD_VERSION;
            existing = item;
            list.push_back(replaced);
            return true;
        }
    }
    list.push_back(item);
    return true;
}

// Whether a journal record is in the index already: it was folded in before a crash
// stopped the fold from removing the journal. Within one data file no two saves share an
// offset and size and time, and a copy keeps these when a newer one marks it "__old__".
bool alreadyIndexed(const CacheIndices& indices, const CacheJournal::Record& record) {
    const BlockList* list = storedVersions(indices, record.loader, record.blockName);
    if (list == nullptr) {
        return false;
    }
    return std::any_of(list->begin(), list->end(), [&](const CacheItem& item) {
        return item.offset == record.item.offset && item.size == record.item.size &&
               item.savedAt() == record.item.savedAt();
    });
}

// Puts the journal's records into indices in order, up to the first whose bytes are not
// in the data file. Returns where the applied records end in the journal's bytes.
std::size_t applyJournal(const std::string& bytes, std::uint64_t dataSize, CacheIndices& indices,
                         std::size_t& applied) {
    std::vector<CacheJournal::Record> records;
    std::size_t intact = CacheJournal::decode(bytes, records);
    applied = 0;
    for (const CacheJournal::Record& record : records) {
        if (static_cast<std::uint64_t>(record.item.offset) + record.item.size > dataSize) {
            intact = record.startsAt;  // the rest names bytes that are not there
            break;
        }
        if (!alreadyIndexed(indices, record)) {
            insertInto(indices, record.loader, record.blockName, record.item);
        }
        ++applied;
    }
    return intact;
}

bool writeFileAndSync(const std::string& path, const std::string& bytes) {
    std::unique_ptr<platform::RandomAccessFile> file = platform::RandomAccessFile::open(path, true);
    const bool ok =
        file && file->truncate(0) && file->writeAt(0, bytes.data(), bytes.size()) && file->sync();
    if (!ok) {
        removeFile(path);
    }
    return ok;
}

// The background fold: the index file and the folding journal, both read from disk, become
// the new index file; then the folding journal goes. Touches nothing in memory, so saves
// and lookups go on meanwhile. Everything in the folding journal was durable before it was
// renamed, so the new index names only bytes on disk.
void foldFiles(std::string folder, std::string indexPath, std::string foldingPath,
               std::string dataPath) {
    CacheState& s = state();
    try {
        std::string bytes;
        if (!platform::readWholeFile(indexPath, bytes)) {
            throw kestra::CacheLoadingException();
        }
        const std::uint64_t dataSize = fileSize(dataPath);
        CacheIndices indices;
        CacheIndexFile::parseBytes(bytes, dataSize, indices);
        if (s.stopFold || !platform::readWholeFile(foldingPath, bytes)) {
            throw kestra::CacheLoadingException();
        }
        std::size_t applied = 0;
        applyJournal(bytes, dataSize, indices, applied);
        bytes = CacheIndexFile::serialize(indices);
        indices.clear();
        const std::string tmp = indexPath + "tmp";
        if (s.stopFold || !writeFileAndSync(tmp, bytes)) {
            removeFile(tmp);
            throw kestra::CacheSavingException();
        }
        std::error_code ec;
        fs::rename(tmp, indexPath, ec);
        if (ec) {
            removeFile(tmp);
            throw kestra::CacheSavingException();
        }
        platform::syncToDisk(folder);
        removeFile(foldingPath);
        platform::syncToDisk(folder);
    } catch (const std::exception&) {
        if (!s.stopFold) {
            s.foldFailed = true;
            Log::error("CacheManager::fold: the journal could not be folded into the index.");
        }
    }
    s.folding = false;
}

}  // namespace

void CacheManager::setJournalLimit(std::size_t records) {
    CacheState& s = state();
    kestra::Mutex::Locker lock(s.mutex);
    s.journalLimit = records;
}

void CacheManager::waitForFold() {
    CacheState& s = state();
    kestra::Mutex::Locker lock(s.mutex);
    if (s.fold.joinable()) {
        s.fold.join();
    }
}

CacheManager::LockHoldTimes CacheManager::lockHoldTimes(bool reset) {
    CacheState& s = state();
    LockHoldTimes times;
    times.longestExclusiveNs =
        reset ? s.longestExclusiveNs.exchange(0) : s.longestExclusiveNs.load();
    times.exclusiveCount = reset ? s.exclusiveCount.exchange(0) : s.exclusiveCount.load();
    times.longestSaveNs = reset ? s.longestSaveNs.exchange(0) : s.longestSaveNs.load();
    times.longestLookupWaitNs =
        reset ? s.longestLookupWaitNs.exchange(0) : s.longestLookupWaitNs.load();
    return times;
}

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
        joinFold();  // a fold writes into the place that is being left
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
        s.journalPath = narrow(s.place) + JOURNAL_FILE;
        s.foldingPath = narrow(s.place) + FOLDING_FILE;
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
        removeJournals(narrow(s.place));  // they belonged to the index just removed
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
        joinFold();
        if (!samePlace(source, target)) {
            if (s.ready && samePlace(source, s.place)) {
                flush();  // the index that moves must name every image saved so far
            }
            // A journal left at the target belongs to no index that will be there.
            removeJournals(narrow(target));
            for (const char* file : {DATA_FILE, INDEX_FILE, JOURNAL_FILE, FOLDING_FILE}) {
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

void CacheManager::removeJournals(const std::string& folder) {
    removeFile(folder + JOURNAL_FILE);
    removeFile(folder + FOLDING_FILE);
}

void CacheManager::joinFold() {
    CacheState& s = state();
    if (s.fold.joinable()) {
        s.stopFold = true;
        s.fold.join();
        s.stopFold = false;
    }
}

void CacheManager::open() {
    CacheState& s = state();
    kestra::Mutex::Locker lock(s.mutex);
    joinFold();
    {
        ExclusiveIndex index(s);
        s.ready = false;
        resetIndices(s.indices);
        s.copies = 0;
        s.data.reset();
    }
    s.journal.reset();
    s.journalEnd = 0;
    s.journaled = 0;
    s.pending.clear();
    s.pendingSaves = 0;
    s.dataEnd = 0;
    s.foldRetryAfter = 0;
    if (!exists(s.indexPath)) {
        flush();  // also drops journals: without their index they describe nothing
    } else {
        loadIndex();
    }
    if (exists(s.dataPath)) {
        std::shared_ptr<platform::RandomAccessFile> data =
            platform::RandomAccessFile::open(s.dataPath, false);
        if (!data) {
            ExclusiveIndex index(s);
            resetIndices(s.indices);
            loading("CacheManager::loadIndex: cache read error");
        }
        s.dataEnd = static_cast<std::uint64_t>(std::max<std::int64_t>(data->size(), 0));
        ExclusiveIndex index(s);
        s.data = std::move(data);
    }
    s.ready = true;
    maybeStartFold();
}

void CacheManager::loadIndex() {
    CacheState& s = state();
    std::string bytes;
    if (!platform::readWholeFile(s.indexPath, bytes)) {
        loading("CacheManager::loadIndex: cache read error");
    }
    const std::uint64_t dataSize = fileSize(s.dataPath);
    CacheIndices indices;
    try {
        CacheIndexFile::parseBytes(bytes, dataSize, indices);
    } catch (const std::exception&) {
        throw kestra::CacheLoadingException("CacheManager::loadIndex", "Can not load index.");
    }
    bytes = std::string();
    for (const wchar_t* name : {L"google", L"microsoft", L"openStreet"}) {
        indices[name];  // a source without blocks is not in the file
    }
    {
        ExclusiveIndex index(s);
        s.indices.swap(indices);
    }
    replayJournal(s.foldingPath, dataSize, false);
    replayJournal(s.journalPath, dataSize, true);
    s.copies = countCopies(s.indices);
}

// Puts a journal's records into the index (not yet ready: no lookup sees it). The current
// journal is cut back to its intact part, so that new records follow the last good one.
void CacheManager::replayJournal(const std::string& path, std::uint64_t dataSize, bool current) {
    CacheState& s = state();
    std::string bytes;
    if (!platform::readWholeFile(path, bytes)) {
        return;  // none
    }
    std::size_t applied = 0;
    std::size_t intact = 0;
    {
        ExclusiveIndex index(s);
        intact = applyJournal(bytes, dataSize, s.indices, applied);
    }
    if (intact < bytes.size()) {
        Log::warning(
            "CacheManager::loadIndex: the journal ends in a torn or damaged record; "
            "the saves from there on are lost.");
    }
    if (!current) {
        return;
    }
    s.journal = platform::RandomAccessFile::open(path, false);
    if (!s.journal) {
        return;  // the next durable point makes a new one
    }
    if (intact < CacheJournal::MAGIC_SIZE) {
        intact = 0;  // not even the start: begin it again
    }
    if (intact < bytes.size() && (!s.journal->truncate(intact) || !s.journal->sync())) {
        s.journal.reset();
        return;
    }
    s.journalEnd = intact;
    s.journaled = applied;
}

void CacheManager::insertItem(const std::wstring& loaderName, const std::wstring& blockName,
                              const CacheItem& item) {
    CacheState& s = state();
    bool inserted = false;
    {
        ExclusiveIndex index(s);
        inserted = insertInto(s.indices, loaderName, blockName, item);
    }
    if (!inserted) {
        Log::error("CacheManager::saveCacheItem: Cache error.");
        throw kestra::CacheException("CacheManager::saveCacheItem", "Cache error.");
    }
    ++s.copies;
}

void CacheManager::saveCacheItem(const std::wstring& loaderName,
                                 const MapsDataTypes::ImageBlockProp& block,
                                 const std::wstring& version, const std::wstring& imageType,
                                 const std::string& data) {
    CacheState& s = state();
    kestra::Mutex::Locker lock(s.mutex);
    const auto since = SteadyClock::now();
    struct Timed {
        std::atomic<std::uint64_t>& longest;
        SteadyClock::time_point since;
        ~Timed() { recordLongest(longest, since); }
    } timed{s.longestSaveNs, since};
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
    if (!s.data) {
        std::shared_ptr<platform::RandomAccessFile> file =
            platform::RandomAccessFile::open(s.dataPath, true);
        if (!file) {
            saving("CacheManager::saveItemToFile: file creation error");
        }
        s.dataEnd = static_cast<std::uint64_t>(std::max<std::int64_t>(file->size(), 0));
        ExclusiveIndex index(s);
        s.data = std::move(file);
    }
    // Written into a file that no folder names any more, the image would be lost unseen.
    if (!s.data->isLinked()) {
        saving("CacheManager::saveItemToFile: file creation error");
    }
    // Offsets are 32-bit in the index: a data file never grows past 4 GiB.
    if (s.dataEnd + data.size() > std::numeric_limits<std::uint32_t>::max() ||
        !s.data->writeAt(s.dataEnd, data.data(), data.size())) {
        saving("CacheManager::saveItemToFile: saving error");
    }
    CacheItem item;
    item.imageType = imageType;
    item.version = version;
    item.size = static_cast<std::uint32_t>(data.size());
    item.setSavedAt(fileTimeNow(s));
    item.offset = static_cast<std::uint32_t>(s.dataEnd);
    s.dataEnd += data.size();
    insertItem(loaderName, block.name, item);
    s.pending += CacheJournal::encode(loaderName, block.name, item);
    if (++s.pendingSaves >= SAVES_PER_FLUSH) {
        makeDurable();
    }
}

// The durable point: the images first, then the records that name them, so that a record
// on disk always names bytes on disk.
void CacheManager::makeDurable() {
    CacheState& s = state();
    if (s.pendingSaves == 0) {
        return;
    }
    if (!s.data || !s.data->sync()) {
        saving("CacheManager::flush: file creation error");
    }
    if (!s.journal) {
        s.journal = platform::RandomAccessFile::open(s.journalPath, true);
        if (!s.journal || !s.journal->truncate(0) ||
            !s.journal->writeAt(0, CacheJournal::MAGIC, CacheJournal::MAGIC_SIZE) ||
            !s.journal->sync() || !platform::syncToDisk(narrow(s.place))) {
            s.journal.reset();
            saving("CacheManager::flush: journal creation error");
        }
        s.journalEnd = CacheJournal::MAGIC_SIZE;
        s.journaled = 0;
    }
    if (!s.journal->writeAt(s.journalEnd, s.pending.data(), s.pending.size()) ||
        !s.journal->sync()) {
        // Cut off what part of the records got written; they are tried again at the next
        // save.
        s.journal->truncate(s.journalEnd);
        saving("CacheManager::flush: journal saving error");
    }
    s.journalEnd += s.pending.size();
    s.journaled += static_cast<std::size_t>(s.pendingSaves);
    s.pending.clear();
    s.pendingSaves = 0;
    maybeStartFold();
}

// A long journal is renamed to the folding journal (a new one starts at the next durable
// point) and a thread folds it into the index.
void CacheManager::maybeStartFold() {
    CacheState& s = state();
    if (s.folding) {
        return;
    }
    if (s.fold.joinable()) {
        s.fold.join();
    }
    const std::size_t limit =
        s.journalLimit != 0 ? s.journalLimit : std::max(JOURNAL_RECORDS_PER_FOLD, s.copies / 4);
    if (s.foldFailed.exchange(false)) {
        s.foldRetryAfter = s.journaled + limit;  // not again at every durable point
    }
    const bool leftOver = exists(s.foldingPath);  // a fold that did not finish
    if (leftOver && s.journaled < s.foldRetryAfter) {
        return;
    }
    if (!leftOver) {
        if (s.journaled < limit || s.pendingSaves != 0 || !s.journal) {
            return;
        }
        s.journal.reset();
        std::error_code ec;
        fs::rename(s.journalPath, s.foldingPath, ec);
        if (ec) {
            s.journal = platform::RandomAccessFile::open(s.journalPath, false);
            return;
        }
        platform::syncToDisk(narrow(s.place));
        s.journalEnd = 0;
        s.journaled = 0;
    }
    s.folding = true;
    s.fold = std::thread(foldFiles, narrow(s.place), s.indexPath, s.foldingPath, s.dataPath);
}

bool CacheManager::findCacheItem(const std::wstring& loaderName,
                                 const MapsDataTypes::ImageBlockProp& block,
                                 const std::wstring& version, std::string& data,
                                 std::wstring* imageType) {
    CacheState& s = state();
    std::shared_ptr<platform::RandomAccessFile> file;
    CacheItem found;
    {
        SharedIndex lock(s);
        checkReady("findCacheItem");
        const BlockList* stored = storedVersions(s.indices, loaderName, block.name);
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
        found = *it;
        file = s.data;
    }
    data = readImage(file, found.offset, found.size);
    if (imageType != nullptr) {
        *imageType = found.imageType;
    }
    return true;
}

bool CacheManager::findMaxVersionCacheItem(const std::wstring& loaderName,
                                           const MapsDataTypes::ImageBlockProp& block,
                                           std::wstring& imageType, std::string& data) {
    CacheState& s = state();
    std::shared_ptr<platform::RandomAccessFile> file;
    CacheItem found;
    {
        SharedIndex lock(s);
        checkReady("findMaxVersionCacheItem");
        const BlockList* stored = storedVersions(s.indices, loaderName, block.name);
        if (stored == nullptr) {
            return false;
        }
        found = stored->front();
        file = s.data;
    }
    data = readImage(file, found.offset, found.size);
    imageType = found.imageType;
    return true;
}

// The order makes the index durable: data file and new index on disk first, then the
// rename (atomic), then the folder entry. The journals are folded into it and go.
void CacheManager::flush() {
    CacheState& s = state();
    kestra::Mutex::Locker lock(s.mutex);
    if (s.place.empty()) {
        Log::error("CacheManager::flush: Cache place not specified");
        throw kestra::CacheException("CacheManager::flush", "Cache place not specified");
    }
    joinFold();
    const std::string tmp = s.indexPath + "tmp";
    std::FILE* file = std::fopen(tmp.c_str(), "wb");
    if (file == nullptr) {
        saving("CacheManager::flush: index file saving error");
    }
    const std::string bytes = CacheIndexFile::serialize(s.indices);
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    const bool dataSynced =
        s.data ? s.data->sync() : !exists(s.dataPath) || platform::syncToDisk(s.dataPath);
    if (std::fclose(file) != 0 || !written || !platform::syncToDisk(tmp) || !dataSynced) {
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
    s.journal.reset();
    removeJournals(narrow(s.place));
    s.journalEnd = 0;
    s.journaled = 0;
    s.pending.clear();
    s.pendingSaves = 0;
}

void CacheManager::cleanup(int days) {
    CacheState& s = state();
    kestra::Mutex::Locker lock(s.mutex);
    if (s.place.empty() || !s.ready) {
        Log::error("CacheManager::cleanup: cache is not ready to work. Use setCachePlace.");
        throw kestra::CacheException("CacheManager::cleanup", "Not ready");
    }
    joinFold();
    const std::uint64_t now = fileTimeNow(s);
    const std::uint64_t age =
        static_cast<std::uint64_t>(days < 0 ? 0 : days) * 24u * 3600u * FILETIME_PER_SECOND;
    const std::uint64_t cutOff = now > age ? now - age : 0;
    const std::string tmp = s.dataPath + ".tmp";
    removeFile(tmp);

    // The kept images go into tmp and their new places into kept; lookups meanwhile read
    // the index and the file as they are (only this thread changes them).
    std::unique_ptr<platform::RandomAccessFile> out = platform::RandomAccessFile::open(tmp, true);
    if (!out || !out->truncate(0)) {
        saving("CacheManager::cleanup: file creation error");
    }
    CacheIndices kept;
    resetIndices(kept);
    std::uint64_t written = 0;
    bool failed = false;
    std::string buffer;
    const auto drain = [&]() {
        failed = failed || !out->writeAt(written - buffer.size(), buffer.data(), buffer.size());
        buffer.clear();
    };
    for (const auto& [loader, index] : s.indices) {
        LoaderIndex& keptIndex = kept[loader];
        for (const auto& [name, list] : index) {
            BlockList keptList;
            for (const CacheItem& item : list) {
                if (item.savedAt() < cutOff || item.version == OLD_VERSION) {
                    continue;
                }
                std::string data;
                try {
                    data = readImage(s.data, item.offset, item.size);
                } catch (const kestra::CacheLoadingException&) {
                    continue;  // its bytes are gone: nothing to keep
                }
                if (written + data.size() > std::numeric_limits<std::uint32_t>::max()) {
                    failed = true;
                    break;
                }
                CacheItem moved = item;
                moved.offset = static_cast<std::uint32_t>(written);
                keptList.push_back(moved);
                buffer += data;
                written += data.size();
                if (buffer.size() >= (1u << 20)) {
                    drain();
                }
            }
            if (!keptList.empty()) {
                keptIndex.emplace_hint(keptIndex.end(), name, std::move(keptList));
            }
        }
    }
    drain();
    if (failed || !out->sync()) {
        out.reset();
        removeFile(tmp);
        saving("CacheManager::cleanup: saving error");
    }
    out.reset();
    // The index and journals on disk name offsets in the old data file. They go first, so
    // that a crash before the new index is written leaves no index (an empty cache), never
    // one that points into the compacted file.
    s.journal.reset();
    removeFile(s.indexPath);
    removeJournals(narrow(s.place));
    platform::syncToDisk(narrow(s.place));
    std::error_code ec;
    fs::rename(tmp, s.dataPath, ec);
    if (ec) {
        removeFile(tmp);
        // The old data file and the index in memory still match: write that index.
        flush();
        saving("CacheManager::cleanup: renaming error");
    }
    // Null when it cannot be opened again: reads then fail, saves open it anew.
    std::shared_ptr<platform::RandomAccessFile> compacted =
        platform::RandomAccessFile::open(s.dataPath, false);
    std::shared_ptr<platform::RandomAccessFile> replaced;
    {
        ExclusiveIndex index(s);
        s.indices.swap(kept);
        replaced = std::move(s.data);
        s.data = std::move(compacted);
    }
    // Closing the old file frees all its blocks, which takes long for a large file: not
    // under the lock, and not on a lookup's thread (they hold it only for one read).
    while (replaced.use_count() > 1) {
        std::this_thread::yield();
    }
    replaced.reset();
    kept = CacheIndices();  // the old index, freed outside the lock too
    // Records not yet journaled name places in the old file; the index written next holds
    // everything.
    s.pending.clear();
    s.pendingSaves = 0;
    s.dataEnd = written;
    s.copies = countCopies(s.indices);
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
        joinFold();
        {
            ExclusiveIndex index(s);
            s.ready = false;
            resetIndices(s.indices);
            s.data.reset();
        }
        s.journal.reset();
        removeFile(s.indexPath);
        removeFile(s.dataPath);
        removeJournals(narrow(s.place));
    }
    open();
}

void CacheManager::shutdown() {
    CacheState& s = state();
    kestra::Mutex::Locker lock(s.mutex);
    const auto forget = [&s]() {
        joinFold();
        {
            ExclusiveIndex index(s);
            s.ready = false;
            resetIndices(s.indices);
            s.data.reset();
        }
        s.journal.reset();
        s.pending.clear();
        s.pendingSaves = 0;
        s.copies = 0;
    };
    try {
        if (s.ready) {
            flush();
        }
    } catch (...) {
        forget();
        throw;
    }
    forget();
}

void CacheManager::discard(const std::wstring& place) {
    CacheState& s = state();
    kestra::Mutex::Locker lock(s.mutex);
    joinFold();
    {
        ExclusiveIndex index(s);
        s.ready = false;
        resetIndices(s.indices);
        s.data.reset();
    }
    s.journal.reset();
    s.pending.clear();
    s.pendingSaves = 0;
    const std::string folder = narrow(withSeparator(place));
    removeFile(folder + INDEX_FILE);
    removeFile(folder + DATA_FILE);
    removeJournals(folder);
}
