#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "client/maps/BasicMapsLoader.h"
#include "client/maps/CoordinateUtils.h"
#include "client/maps/IMapsLoaderManager.h"
#include "client/maps/LoaderQueue.h"
#include "kestra/Clock.h"
#include "kestra/Mutex.h"
#include "kestra/Thread.h"

class IMapsLoaderListener;

// Turns block requests into block images. It owns the three tile sources and keeps one of
// them current, queues block requests (LoaderQueue, at most 12), and serves them on the
// thread "Maps Loader Thread" from the tile cache or, when the network may be used, from
// the current source's servers, storing what it downloads. Finished blocks go to the
// handler (the block matrix); connectivity changes and deferred view requests go to the
// listener (the view manager), both on the loader's thread.
//
// Internet states: 0 not yet probed -> 3 check in progress -> 1 available or 2 none;
// 2 -> 1 also when a source is selected while connected. The loader checks again at most
// every 11 seconds while the state is not 1. Online and offline modes decide whether the
// network may be used at all.
class MapsLoaderManager : public IMapsLoaderManager, public CoordinateUtils, public LoaderQueue {
public:
    enum InternetState { NOT_PROBED = 0, INTERNET = 1, NO_INTERNET = 2, CHECKING = 3 };

    explicit MapsLoaderManager(kestra::IClock& clock = kestra::SystemClock::instance());
    ~MapsLoaderManager() override;
    MapsLoaderManager(const MapsLoaderManager&) = delete;
    MapsLoaderManager& operator=(const MapsLoaderManager&) = delete;

    // The source selected last, shared by all code that asks; null before a selection or
    // after an unknown id.
    static IMapsLoader* getCurrentLoader();

    void run() override;
    void getZoomInterval(int& minLevel, int& maxLevel, int mapType) override;
    void setViewParams(int mapType, MapsDataTypes::IMapsHandler* handler, int& blockSide, int level,
                       const WorldCoords& centre, bool refreshWanted) override;
    bool loadMapBlock(const MercatorCoords& point, int mapType, int level) override;
    bool checkLoad(const MercatorCoords& point, int mapType, int level, LoadedBlock& block,
                   int mode) override;
    bool isInternet() override { return internetState_ == INTERNET; }
    bool isMapTypeSupported(int mapType) override;
    void stop() override;
    void start() override;
    void requestZoom(int direction) override;
    void requestRefresh() override;
    void requestLoaderChange(int newLoaderId, int newMapType) override;
    void setOffline() override { onlineAllowed_ = false; }
    void setOnline() override { onlineAllowed_ = true; }
    bool selectLoader(int loaderId) override;
    void controlBorders(int& x, int& y, int level) override;
    bool isUnicodeContentType(const std::wstring& contentType) override;
    bool isRunning() override { return running_; }
    void setListener(IMapsLoaderListener* listener) override { listener_ = listener; }

    bool isOnlineAllowed() const { return onlineAllowed_; }
    int getInternetState() const { return internetState_; }

private:
    void pass();
    void servePendingRequests();
    void process(std::unique_ptr<MapsDataTypes::ImageBlockProp> record);
    // Loading one block in a checkLoad mode; the image and its type, or false.
    bool loadBlock(IMapsLoader& source, MapsDataTypes::ImageBlockProp& record, int mode,
                   std::string& data, std::wstring& imageType);
    bool loadOnline(IMapsLoader& source, MapsDataTypes::ImageBlockProp& record,
                    const std::wstring& url, std::string& data, std::wstring& imageType);
    bool downloadBetweenNotices(IMapsLoader& source, MapsDataTypes::ImageBlockProp& record,
                                const std::wstring& url, std::string& data,
                                std::wstring& imageType);
    bool loadImageFromURL(IMapsLoader& source, MapsDataTypes::ImageBlockProp& record,
                          const std::wstring& url, std::string& data, std::wstring& imageType);
    void keepInCache(IMapsLoader& source, const MapsDataTypes::ImageBlockProp& record,
                     const std::string& image);
    void checkInternetConnection();
    bool probeTiles(IMapsLoader& source);
    std::unique_ptr<MapsDataTypes::ImageBlockProp> recordFor(IMapsLoader& source,
                                                             const MercatorCoords& point,
                                                             int mapType, int level);
    void networkStart();
    void networkStop();

    kestra::IClock& clock_;
    kestra::Thread thread_;
    std::atomic<IMapsLoaderListener*> listener_{nullptr};
    std::atomic<MapsDataTypes::IMapsHandler*> handler_{nullptr};
    std::atomic<bool> stop_{false};
    std::atomic<bool> running_{false};
    std::atomic<int> internetState_{NOT_PROBED};
    std::atomic<bool> onlineAllowed_;
    std::atomic<std::int64_t> lastInternetCheck_{0};
    std::int64_t lastHandlerTick_ = 0;

    kestra::Mutex viewLock_;
    int mapType_ = -1;
    int level_ = 0;
    WorldCoords centre_;

    kestra::Mutex sourcesLock_;
    std::array<std::unique_ptr<BasicMapsLoader>, 3> sources_;

    std::atomic<bool> zoomRequest_{false};
    std::atomic<int> zoomDirection_{0};
    std::atomic<bool> refreshRequest_{false};
    std::atomic<bool> loaderChangeRequest_{false};
    std::atomic<int> newLoaderId_{0};
    std::atomic<int> newMapType_{0};
};
