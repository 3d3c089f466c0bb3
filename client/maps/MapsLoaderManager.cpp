#include "client/maps/MapsLoaderManager.h"

#include <algorithm>
#include <cmath>
#include <cwctype>
#include <stdexcept>
#include <typeinfo>

#include "client/maps/CacheManager.h"
#include "client/maps/ConnectionManager.h"
#include "client/maps/GoogleMapsLoader.h"
#include "client/maps/HTTPHandler.h"
#include "client/maps/IMapsLoaderListener.h"
#include "client/maps/MicrosoftMapsLoader.h"
#include "client/maps/OpenStreetMapsLoader.h"
#include "kestra/Exceptions.h"
#include "kestra/Log.h"

using kestra::Log;

namespace {

constexpr unsigned int PASS_SLEEP_MS = 10;
constexpr unsigned int STOP_POLL_MS = 100;
constexpr std::int64_t CHECK_INTERVAL_S = 10;
constexpr std::int64_t TICK_INTERVAL_S = 1;

std::atomic<IMapsLoader*> currentLoader{nullptr};

// The log text for a failure of the loader's loop, by its kind.
std::string failureText(const std::exception& e) {
    struct Kind {
        bool (*is)(const std::exception&);
        const char* text;
    };
#define LUMORA_KIND(Type, Text)                                                                \
    {                                                                                          \
        [](const std::exception& x) { return dynamic_cast<const Type*>(&x) != nullptr; }, Text \
    }
    static const Kind kinds[] = {
        LUMORA_KIND(kestra::NullPointerException, "GoogleMapsLoader:NullPointerException "),
        LUMORA_KIND(kestra::CacheLoadingException, "GoogleMapsLoader:CacheLoadingException "),
        LUMORA_KIND(kestra::CacheSavingException, "GoogleMapsLoader:CacheSavingException "),
        LUMORA_KIND(kestra::CacheIsCorruptException, "GoogleMapsLoader:CacheIsCorruptException "),
        LUMORA_KIND(kestra::CanNotLoadCacheException, "GoogleMapsLoader:CanNotLoadCacheException "),
        LUMORA_KIND(kestra::NotFoundCacheDirectoryException,
                    "GoogleMapsLoader:NotFoundCacheDirectoryException "),
        LUMORA_KIND(kestra::MapLoaderException, "GoogleMapsLoader:MapLoaderException "),
        LUMORA_KIND(kestra::CacheException, "GoogleMapsLoader:CacheException "),
        LUMORA_KIND(kestra::IOStreamException, "GoogleMapsLoader:IOStreamException "),
        LUMORA_KIND(kestra::SocketException, "GoogleMapsLoader:SocketException "),
        LUMORA_KIND(kestra::HTTPException, "GoogleMapsLoader:HTTPException "),
        LUMORA_KIND(kestra::BasicException, "GoogleMapsLoader:BasicException "),
    };
#undef LUMORA_KIND
    for (const Kind& kind : kinds) {
        if (kind.is(e)) {
            return std::string(kind.text) + e.what();
        }
    }
    return std::string("GoogleMapsLoader: runtime_error. ") + e.what();
}

// "image/png; charset=binary" -> "png": the type is one token of the cache index.
std::wstring imageTypeOf(const std::wstring& contentType, std::size_t at) {
    std::wstring type;
    for (std::size_t i = at; i < contentType.size(); ++i) {
        const wchar_t c = contentType[i];
        if (c == L';' || std::iswspace(c)) {
            break;
        }
        type.push_back(c);
    }
    return type;
}

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
    }
    if (source != nullptr && typeChanged) {
        source->clearVersion();
    }
    const int state = internetState_;
    if (source != nullptr && onlineAllowed_ && refreshWanted && state != NO_INTERNET &&
        state != CHECKING) {
        try {
            source->refresh(mapType, level, centre, this);
        } catch (const kestra::MapLoaderException&) {
            Log::error(" GoogleMapsLoader::refresh getVersion MapLoaderException.");
        } catch (const kestra::HTTPException&) {
            Log::error(" GoogleMapsLoader::refresh getVersion HTTPException.");
        }
    }
    MapsDataTypes::IMapsHandler* none = nullptr;
    handler_.compare_exchange_strong(none, handler);
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
        if (onlineAllowed_ && internetState_ == INTERNET &&
            loadOnline(source, record, url, data, imageType)) {
            return true;
        }
        Log::debug(L"GoogleMapsLoader::No Internet. Load from cache max version: " + url);
        return CacheManager::findMaxVersionCacheItem(record.loaderName, record, imageType, data) &&
               !data.empty();
    }
    if (CacheManager::findMaxVersionCacheItem(record.loaderName, record, imageType, data)) {
        Log::debug(L"GoogleMapsLoader::checkLoad from cache: " + url);
    } else if (onlineAllowed_ && internetState_ == INTERNET && mode == CHECK_AVAILABLE) {
        Log::debug(L"GoogleMapsLoader::checkLoad from Internet: " + url);
        downloadBetweenNotices(source, record, url, data, imageType);
    }
    return !data.empty();
}

// The copy of the source's current version from the cache, else from the network.
bool MapsLoaderManager::loadOnline(IMapsLoader& source, MapsDataTypes::ImageBlockProp& record,
                                   const std::wstring& url, std::string& data,
                                   std::wstring& imageType) {
    if (CacheManager::findCacheItem(record.loaderName, record, source.getCurrentVersion(), data,
                                    &imageType) &&
        !data.empty()) {
        Log::debug(L"GoogleMapsLoader::Load from cache: " + url);
        return true;
    }
    Log::debug(L"GoogleMapsLoader::Load from Internet: " + url);
    return downloadBetweenNotices(source, record, url, data, imageType);
}

bool MapsLoaderManager::downloadBetweenNotices(IMapsLoader& source,
                                               MapsDataTypes::ImageBlockProp& record,
                                               const std::wstring& url, std::string& data,
                                               std::wstring& imageType) {
    networkStart();
    bool loaded = false;
    try {
        loaded = loadImageFromURL(source, record, url, data, imageType);
    } catch (...) {
        networkStop();  // the listener's activity notice never stays on
        throw;
    }
    networkStop();
    return loaded;
}

bool MapsLoaderManager::loadImageFromURL(IMapsLoader& source, MapsDataTypes::ImageBlockProp& record,
                                         const std::wstring& url, std::string& data,
                                         std::wstring& imageType) {
    HTTPHandler handler([this] { return !stop_.load(); });
    std::wstring contentType;
    int status = 0;
    std::string body = handler.loadFile(url, contentType, status);
    if (status == 404) {
        Log::debug("GoogleMapsLoader::Load from Internet: code == HTTP_NOT_FOUND_ERROR");
        return false;
    }
    if (status != 200 && stop_) {
        return false;  // our own stop aborted it: not the server's fault
    }
    if (status != 200) {
        throw kestra::HTTPException("GoogleMapsLoader::loadImageFromURL", "Bad http status.");
    }
    Log::debug("GoogleMapsLoader::Load from Internet: code == HTTP_OK_STATUS");
    if (body.empty()) {
        Log::error("GoogleMapsLoader::loadImageFromURL load data size is 0.");
        return false;
    }
    if (!source.isValidImage(body)) {
        return false;
    }
    const std::size_t at = contentType.find(L"image/");
    if (at == std::wstring::npos) {
        Log::error("GoogleMapsLoader::loadImageFromURL: file is not image.");
        return false;
    }  // a login page or an error page is not a block
    imageType = imageTypeOf(contentType, at + 6);
    if (imageType.empty()) {
        Log::error("GoogleMapsLoader::loadImageFromURL: can't get image type.");
    }
    record.imageType = imageType;
    keepInCache(source, record, body);
    data = std::move(body);
    return true;
}

// A full disk or a broken cache loses the copy, not the block on the screen.
void MapsLoaderManager::keepInCache(IMapsLoader& source,
                                    const MapsDataTypes::ImageBlockProp& record,
                                    const std::string& image) {
    try {
        CacheManager::saveCacheItem(record.loaderName, record, source.getCurrentVersion(),
                                    record.imageType, image);
    } catch (const kestra::BasicException& e) {
        Log::error(failureText(e));
    }
}

// The loop: serve the queue, then the deferred view requests, the handler's tick and the
// internet check. A failure ends only the pass it happened in.
void MapsLoaderManager::run() {
    running_ = true;
    lastHandlerTick_ = clock_.now();
    while (!stop_) {
        try {
            pass();
        } catch (const std::exception& e) {
            Log::error(failureText(e));
        } catch (...) {
            Log::error("GoogleMapsLoader: runtime_error. ");
        }
        kestra::Thread::sleep(PASS_SLEEP_MS);
    }
    running_ = false;
}

void MapsLoaderManager::pass() {
    while (!stop_ && !isEmpty() && !zoomRequest_ && !refreshRequest_) {
        process(pop());
        if (!zoomRequest_) {
            kestra::Thread::sleep(PASS_SLEEP_MS);
        }
    }
    servePendingRequests();
    const std::int64_t now = clock_.now();
    MapsDataTypes::IMapsHandler* handler = handler_;
    if (handler != nullptr && now - lastHandlerTick_ > TICK_INTERVAL_S) {
        handler->onLoaderTick();
        lastHandlerTick_ = now;
    }
    if (onlineAllowed_ && internetState_ != INTERNET && !zoomRequest_ &&
        now - lastInternetCheck_ > CHECK_INTERVAL_S) {
        checkInternetConnection();
    }
}

void MapsLoaderManager::servePendingRequests() {
    IMapsLoaderListener* listener = listener_;
    if (zoomRequest_) {
        if (listener != nullptr) {
            listener->doZoom(zoomDirection_);
        }
        zoomRequest_ = false;
    }
    if (refreshRequest_) {
        if (listener != nullptr) {
            listener->onRefresh();
        }
        refreshRequest_ = false;
    }
    if (loaderChangeRequest_) {
        IMapsLoader* source = currentLoader;
        if (listener != nullptr) {
            listener->changeMapLoaderAndType(newLoaderId_, source ? source->getLoaderId() : -1,
                                             newMapType_);
        }
        loaderChangeRequest_ = false;
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
// comes back as an image.
bool MapsLoaderManager::probeTiles(IMapsLoader& source) {
    networkStart();
    if (!onlineAllowed_) {
        networkStop();
        return false;
    }
    bool ok = false;
    try {
        std::wstring url;
        {
            kestra::Mutex::Locker lock(viewLock_);
            source.updateVersion(mapType_, level_, centre_);
            source.getTestURL(url, mapType_);
        }
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

void MapsLoaderManager::checkInternetConnection() {
    const int before = internetState_;
    if (before == CHECKING) {
        return;
    }
    internetState_ = CHECKING;
    IMapsLoader* source = currentLoader;
    bool ok = false;
    if (source != nullptr && ConnectionManager::isConnected() && onlineAllowed_) {
        ok = probeTiles(*source);
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
    lastInternetCheck_ = clock_.now();
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
