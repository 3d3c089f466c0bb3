#include "client/maps/MapsLoaderManager.h"

#include <algorithm>
#include <cmath>
#include <cwctype>
#include <limits>
#include <stdexcept>

#include "client/maps/CacheManager.h"
#include "client/maps/ConnectionManager.h"
#include "client/maps/GoogleMapsLoader.h"
#include "client/maps/HTTPHandler.h"
#include "client/maps/IMapsLoaderListener.h"
#include "client/maps/MicrosoftMapsLoader.h"
#include "client/maps/OpenStreetMapsLoader.h"
#include "client/maps/TileDownloader.h"
#include "kestra/Exceptions.h"
#include "kestra/Log.h"

using kestra::Log;

namespace {

constexpr unsigned int PASS_SLEEP_MS = 10;
constexpr unsigned int STOP_POLL_MS = 100;
constexpr std::int64_t CHECK_INTERVAL_MS = 10000;
constexpr std::int64_t TICK_INTERVAL_MS = 1000;

std::atomic<IMapsLoader*> currentLoader{nullptr};

}  // namespace

MapsLoaderManager::MapsLoaderManager(kestra::IClock& clock)
    : clock_(clock),
      thread_(this, L"Maps Loader Thread"),
      onlineAllowed_(ConnectionManager::getConnectedFlag()) {}

MapsLoaderManager::~MapsLoaderManager() {
    stop_ = true;
    clear();
    while (thread_.isRunning()) {
        kestra::Thread::sleep(STOP_POLL_MS);
    }
    listener_ = nullptr;
    kestra::Mutex::Locker lock(sourcesLock_);
    for (auto& source : sources_) {
        IMapsLoader* expected = source.get();
        currentLoader.compare_exchange_strong(expected, nullptr);
        source.reset();
    }
}

IMapsLoader* MapsLoaderManager::getCurrentLoader() {
    return currentLoader.load();
}

bool MapsLoaderManager::selectLoader(int loaderId) {
    if (loaderId < 0 || loaderId > 2) {
        currentLoader = nullptr;
        return false;
    }
    {
        kestra::Mutex::Locker lock(sourcesLock_);
        std::unique_ptr<BasicMapsLoader>& source = sources_[static_cast<std::size_t>(loaderId)];
        if (!source) {
            if (loaderId == 0) {
                source = std::make_unique<GoogleMapsLoader>();
            } else if (loaderId == 1) {
                source = std::make_unique<MicrosoftMapsLoader>();
            } else {
                source = std::make_unique<OpenStreetMapsLoader>();
            }
            source->setMapsLoaderManager(this);
            source->setKeepRunning([this] { return !stop_.load(); });
        }
        currentLoader = source.get();
    }
    if (internetState_ == NO_INTERNET && ConnectionManager::getConnectedFlag()) {
        internetState_ = INTERNET;
        if (IMapsLoaderListener* listener = listener_) {
            listener->onInternetAvailable();
        }
    }
    return true;
}

void MapsLoaderManager::getZoomInterval(int& minLevel, int& maxLevel, int mapType) {
    IMapsLoader* source = currentLoader;
    if (source == nullptr) {
        throw kestra::MapLoaderException("MapsLoaderManager::getZoomInterval", "No map loader");
    }
    source->getZoomInterval(minLevel, maxLevel, mapType);
}

bool MapsLoaderManager::isMapTypeSupported(int mapType) {
    IMapsLoader* source = currentLoader;
    return source != nullptr && source->isMapTypeSupported(mapType);
}

void MapsLoaderManager::controlBorders(int& x, int& y, int level) {
    CoordinateUtils::controlBorders(x, y, level);
}

bool MapsLoaderManager::isUnicodeContentType(const std::wstring& contentType) {
    std::wstring upper = contentType;
    std::transform(upper.begin(), upper.end(), upper.begin(),
                   [](wchar_t c) { return static_cast<wchar_t>(std::towupper(c)); });
    return upper.find(L"UTF") != std::wstring::npos &&
           (upper.find(L"16") != std::wstring::npos || upper.find(L"32") != std::wstring::npos);
}

// Never waits for the network: a wanted version refresh is left to the loader's thread,
// which serves it before the next block (the view calls this on the GUI thread).
void MapsLoaderManager::setViewParams(int mapType, MapsDataTypes::IMapsHandler* handler,
                                      int& blockSide, int level, const WorldCoords& centre,
                                      bool refreshWanted) {
    IMapsLoader* source = currentLoader;
    blockSide = source != nullptr ? source->getBlockSideSize() : 0;
    clear();
    bool typeChanged = false;
    {
        kestra::Mutex::Locker lock(viewLock_);
        typeChanged = mapType != mapType_;
        mapType_ = mapType;
        centre_ = centre;
        level_ = level;
        if (typeChanged) {
            ++typeGeneration_;
        }
    }
    if (source != nullptr && typeChanged) {
        source->clearVersion();
    }
    if (source != nullptr && refreshWanted) {
        versionWanted_ = true;
    }
    MapsDataTypes::IMapsHandler* none = nullptr;
    handler_.compare_exchange_strong(none, handler);
}

MapsLoaderManager::ViewParams MapsLoaderManager::viewParams() {
    kestra::Mutex::Locker lock(viewLock_);
    return ViewParams{mapType_, level_, centre_, typeGeneration_};
}

// The version page is fetched without the view's lock. A map type change during the
// fetch (setViewParams cleared the version meanwhile, perhaps before the fetch stored
// the old type's version) makes the found version worthless: it is cleared again.
void MapsLoaderManager::findVersion(IMapsLoader& source, bool asRefresh) {
    const ViewParams view = viewParams();
    try {
        if (asRefresh) {
            source.refresh(view.mapType, view.level, view.centre, this);
        } else {
            source.updateVersion(view.mapType, view.level, view.centre);
        }
    } catch (...) {
        if (viewParams().typeGeneration != view.typeGeneration) {
            source.clearVersion();
        }
        throw;
    }
    if (viewParams().typeGeneration != view.typeGeneration) {
        source.clearVersion();
        versionWanted_ = true;  // for the type that is shown now
    }
}

// The refresh asked for by setViewParams, on the loader's thread.
void MapsLoaderManager::serveVersionRequest() {
    IMapsLoader* source = currentLoader;
    if (!versionWanted_.exchange(false) || source == nullptr || stop_) {
        return;
    }
    if (!onlineAllowed_ || internetState_ == NO_INTERNET) {
        return;  // the next successful internet check finds the version
    }
    try {
        findVersion(*source, true);
    } catch (const kestra::MapLoaderException&) {
        Log::error(" GoogleMapsLoader::refresh getVersion MapLoaderException.");
    } catch (const kestra::HTTPException&) {
        Log::error(" GoogleMapsLoader::refresh getVersion HTTPException.");
    }
}

std::unique_ptr<MapsDataTypes::ImageBlockProp> MapsLoaderManager::recordFor(
    IMapsLoader& source, const MercatorCoords& point, int mapType, int level) {
    const double side = source.getBlockSideSize();
    const int bx = static_cast<int>(std::floor(point.x / side));
    const int by = static_cast<int>(std::floor(point.y / side));
    return source.createBlockProp(level, bx, by, mapType);
}

bool MapsLoaderManager::loadMapBlock(const MercatorCoords& point, int mapType, int level) {
    IMapsLoader* source = currentLoader;
    if (source == nullptr || source->getBlockSideSize() == 0) {
        Log::error("GoogleMapsLoader::loadMapBlock blockSideSize == 0.");
        return false;
    }
    if (level < 1) {
        Log::error("GoogleMapsLoader::loadMapBlock zoom <= 0.");
        return false;
    }
    if (isFull()) {
        return false;
    }
    if (level > MAX_LEVELS_NUM) {
        Log::error("GoogleMapsLoader::loadMapBlock: zoom > MAX_LEVELS_NUM.");
    }
    std::unique_ptr<MapsDataTypes::ImageBlockProp> record =
        recordFor(*source, point, mapType, level);
    return push(record);  // a refused record is freed here
}

bool MapsLoaderManager::checkLoad(const MercatorCoords& point, int mapType, int level,
                                  LoadedBlock& block, int mode) {
    IMapsLoader* source = currentLoader;
    // OpenStreetMap has no versions at all: an empty one is not a missing one there.
    const bool versioned = source != nullptr && source->getLoaderId() != 2;
    if (versioned && source->getCurrentVersion().empty() && internetState_ == INTERNET &&
        mode != CACHE_ONLY) {
        Log::error("GoogleMapsLoader::checkLoad _version.size() == 0.");
        return false;
    }
    if (source == nullptr || source->getBlockSideSize() == 0) {
        Log::error("GoogleMapsLoader::checkLoad blockSideSize == 0.");
        return false;
    }
    if (mapType == 3) {
        mapType = 1;
    }
    if (level > MAX_LEVELS_NUM) {
        Log::error("GoogleMapsLoader::checkLoad: zoom > MAX_LEVELS_NUM.");
    }
    std::unique_ptr<MapsDataTypes::ImageBlockProp> record =
        recordFor(*source, point, mapType, level);
    std::string data;
    std::wstring imageType;
    if (!loadBlock(*source, *record, mode, data, imageType)) {
        return false;
    }
    if (mode != CHECK_AVAILABLE) {
        block.status = LoadedBlock::IMAGE_PRESENT;
        block.size = static_cast<std::uint32_t>(data.size());
        block.data = std::move(data);
        block.x = record->x;
        block.y = record->y;
        block.imageType = imageType;
        block.blockSide = source->getBlockSideSize();
        block.level = record->level;
    }
    return true;
}

void MapsLoaderManager::networkStart() {
    if (IMapsLoaderListener* listener = listener_) {
        listener->onNetworkStart();
    }
}

void MapsLoaderManager::networkStop() {
    if (IMapsLoaderListener* listener = listener_) {
        listener->onNetworkStop();
    }
}

bool MapsLoaderManager::loadBlock(IMapsLoader& source, MapsDataTypes::ImageBlockProp& record,
                                  int mode, std::string& data, std::wstring& imageType) {
    source.getName(record.loaderName);
    std::wstring url;
    source.getBlockURL(url, record.mapType, record.name);
    if (mode == AS_LOADER) {
        return loadAsLoader(source, record, url, data, imageType);
    }
    if (CacheManager::findMaxVersionCacheItem(record.loaderName, record, imageType, data)) {
        Log::debug(L"GoogleMapsLoader::checkLoad from cache: " + url);
    } else if (onlineAllowed_ && internetState_ == INTERNET && mode == CHECK_AVAILABLE) {
        Log::debug(L"GoogleMapsLoader::checkLoad from Internet: " + url);
        bool transportFailed = false;
        downloadBetweenNotices(source, record, url, data, imageType, transportFailed);
    }
    return !data.empty();
}

// Online: the current version from the cache or the network. Offline, without internet,
// or when the download brings nothing: the newest stored copy of any version. A download
// that failed is logged; it stands (the block is dropped and asked for again later) only
// when no stored copy can take its place. A download that got no reply at all has the
// loader's thread check the internet at once.
bool MapsLoaderManager::loadAsLoader(IMapsLoader& source, MapsDataTypes::ImageBlockProp& record,
                                     const std::wstring& url, std::string& data,
                                     std::wstring& imageType) {
    std::exception_ptr failure;
    if (onlineAllowed_ && internetState_ == INTERNET) {
        bool transportFailed = false;
        try {
            if (loadOnline(source, record, url, data, imageType, transportFailed)) {
                return true;
            }
        } catch (const kestra::HTTPException&) {
            failure = std::current_exception();
            checkWanted_ = checkWanted_ || transportFailed;
        }
    }
    Log::debug(L"GoogleMapsLoader::No Internet. Load from cache max version: " + url);
    data.clear();
    if (CacheManager::findMaxVersionCacheItem(record.loaderName, record, imageType, data) &&
        !data.empty()) {
        if (failure) {
            logFailure(failure);
        }
        return true;
    }
    if (failure) {
        std::rethrow_exception(failure);
    }
    return false;
}

void MapsLoaderManager::logFailure(const std::exception_ptr& failure) {
    try {
        std::rethrow_exception(failure);
    } catch (const std::exception& e) {
        Log::error(TileDownloader::failureText(e));
    }
}

// The copy of the source's current version from the cache, else from the network.
bool MapsLoaderManager::loadOnline(IMapsLoader& source, MapsDataTypes::ImageBlockProp& record,
                                   const std::wstring& url, std::string& data,
                                   std::wstring& imageType, bool& transportFailed) {
    if (CacheManager::findCacheItem(record.loaderName, record, source.getCurrentVersion(), data,
                                    &imageType) &&
        !data.empty()) {
        Log::debug(L"GoogleMapsLoader::Load from cache: " + url);
        return true;
    }
    Log::debug(L"GoogleMapsLoader::Load from Internet: " + url);
    return downloadBetweenNotices(source, record, url, data, imageType, transportFailed);
}

bool MapsLoaderManager::downloadBetweenNotices(IMapsLoader& source,
                                               MapsDataTypes::ImageBlockProp& record,
                                               const std::wstring& url, std::string& data,
                                               std::wstring& imageType, bool& transportFailed) {
    networkStart();
    bool loaded = false;
    try {
        TileDownloader downloader([this] { return !stop_.load(); });
        loaded = downloader.download(source, record, url, data, imageType, transportFailed);
    } catch (...) {
        networkStop();  // the listener's activity notice never stays on
        throw;
    }
    networkStop();
    return loaded;
}

// The loop: serve the queue, then the deferred view requests, the handler's tick and the
// internet check. A failure ends only the pass it happened in. Every interval is measured
// on the steady clock, so setting the calendar clock changes none of them.
void MapsLoaderManager::run() {
    running_ = true;
    lastHandlerTickMs_ = clock_.monotonicMs();
    while (!stop_) {
        try {
            pass();
        } catch (const std::exception& e) {
            Log::error(TileDownloader::failureText(e));
        } catch (...) {
            Log::error("GoogleMapsLoader: runtime_error. ");
        }
        kestra::Thread::sleep(PASS_SLEEP_MS);
    }
    running_ = false;
}

void MapsLoaderManager::pass() {
    serveVersionRequest();
    while (!stop_ && !isEmpty() && !zoomRequest_ && !refreshRequest_) {
        process(pop());
        if (checkWanted_ && onlineAllowed_) {
            checkInternetConnection();  // before the next block tries the network
        }
        serveVersionRequest();
        if (!zoomRequest_) {
            kestra::Thread::sleep(PASS_SLEEP_MS);
        }
    }
    servePendingRequests();
    const std::int64_t now = clock_.monotonicMs();
    MapsDataTypes::IMapsHandler* handler = handler_;
    if (handler != nullptr && now - lastHandlerTickMs_ > TICK_INTERVAL_MS) {
        handler->onLoaderTick();
        lastHandlerTickMs_ = now;
    }
    if (onlineAllowed_ && !zoomRequest_ && isCheckDue(now)) {
        checkInternetConnection();
    }
}

// Without internet the check repeats at most every 11 seconds until it is back. With it,
// a check runs at once when a download got no reply at all, or when the last probe of
// the service's web root (the HTTP loader probes it every 10 seconds) found no answer;
// the check probes again itself, so this cannot repeat without end.
bool MapsLoaderManager::isCheckDue(std::int64_t now) const {
    if (internetState_ == INTERNET) {
        return checkWanted_ || !ConnectionManager::getConnectedFlag();
    }
    return checkWanted_ || now - lastInternetCheckMs_ > CHECK_INTERVAL_MS;
}

// Each request is taken before it is served: one that comes while another is served (the
// user zooms again while the last zoom loads) is served next, not lost.
void MapsLoaderManager::servePendingRequests() {
    IMapsLoaderListener* listener = listener_;
    if (zoomRequest_.exchange(false)) {
        if (listener != nullptr) {
            listener->doZoom(zoomDirection_);
        }
    }
    if (refreshRequest_.exchange(false)) {
        if (listener != nullptr) {
            listener->onRefresh();
        }
    }
    if (loaderChangeRequest_.exchange(false)) {
        IMapsLoader* source = currentLoader;
        if (listener != nullptr) {
            listener->changeMapLoaderAndType(newLoaderId_, source ? source->getLoaderId() : -1,
                                             newMapType_);
        }
    }
}

// Request states: queued -> loading (cache or network) -> delivered with or without an
// image; dropped when the loader stops meanwhile or the load fails with an error.
void MapsLoaderManager::process(std::unique_ptr<MapsDataTypes::ImageBlockProp> record) {
    IMapsLoader* source = currentLoader;
    if (stop_ || !record || source == nullptr) {
        return;
    }
    std::string data;
    std::wstring imageType;
    const bool loaded = loadBlock(*source, *record, AS_LOADER, data, imageType);
    if (stop_) {
        return;
    }
    LoadedBlock block;
    block.x = record->x;
    block.y = record->y;
    block.level = record->level;
    block.blockSide = source->getBlockSideSize();
    if (loaded) {
        block.status = LoadedBlock::IMAGE_PRESENT;
        block.size = static_cast<std::uint32_t>(data.size());
        block.data = std::move(data);
        block.imageType = imageType;
    }
    if (MapsDataTypes::IMapsHandler* handler = handler_) {
        handler->onBlockLoaded(block);
    }
}

// Asks the current source's servers for a known block: the network is usable when it
// comes back as an image. The version page is fetched without holding the view's lock.
bool MapsLoaderManager::probeTiles(IMapsLoader& source) {
    networkStart();
    if (!onlineAllowed_) {
        networkStop();
        return false;
    }
    bool ok = false;
    try {
        findVersion(source, false);
        std::wstring url;
        source.getTestURL(url, viewParams().mapType);
        if (onlineAllowed_) {
            HTTPHandler handler([this] { return !stop_.load(); });
            std::wstring contentType;
            int status = 0;
            handler.loadFile(url, contentType, status);
            ok = status == 200 && contentType.find(L"image/") != std::wstring::npos;
        }
    } catch (const kestra::MapLoaderException&) {
        Log::error(" GoogleMapsLoader::refresh getVersion MapLoaderException.");
    } catch (const kestra::HTTPException&) {
        // no answer from the tile servers: no internet
    }
    networkStop();
    return ok;
}

// A check that the loader's own stop interrupted finds nothing out: the state stays.
void MapsLoaderManager::checkInternetConnection() {
    const int before = internetState_;
    if (before == CHECKING) {
        return;
    }
    internetState_ = CHECKING;
    checkWanted_ = false;
    IMapsLoader* source = currentLoader;
    bool ok = false;
    if (source != nullptr && onlineAllowed_ &&
        ConnectionManager::isConnected([this] { return !stop_.load(); })) {
        ok = probeTiles(*source);
    }
    lastInternetCheckMs_ = clock_.monotonicMs();
    if (stop_) {
        internetState_ = before;
        return;
    }
    IMapsLoaderListener* listener = listener_;
    if (!ok) {
        if (listener != nullptr) {
            listener->onNoInternet();
        }
        internetState_ = NO_INTERNET;
        Log::debug("checkInternetConnection:: no internet.");
    } else {
        if (before != INTERNET && listener != nullptr) {
            listener->onInternetAvailable();
        }
        internetState_ = INTERNET;
        Log::debug("checkInternetConnection:: is internet.");
    }
}

void MapsLoaderManager::stop() {
    stop_ = true;
    clear();
    while (thread_.isRunning()) {
        stop_ = true;
        kestra::Thread::sleep(STOP_POLL_MS);
    }
}

void MapsLoaderManager::start() {
    // Cleared first: a thread that starts must not see the stop of its predecessor.
    stop_ = false;
    if (!thread_.isRunning()) {
        thread_.start();
    }
}

void MapsLoaderManager::requestZoom(int direction) {
    clear();
    zoomDirection_ = direction;
    refreshRequest_ = false;
    loaderChangeRequest_ = false;
    zoomRequest_ = true;
}

void MapsLoaderManager::requestRefresh() {
    clear();
    zoomRequest_ = false;
    loaderChangeRequest_ = false;
    refreshRequest_ = true;
}

void MapsLoaderManager::requestLoaderChange(int newLoaderId, int newMapType) {
    clear();
    newLoaderId_ = newLoaderId;
    newMapType_ = newMapType;
    zoomRequest_ = false;
    refreshRequest_ = false;
    loaderChangeRequest_ = true;
}
