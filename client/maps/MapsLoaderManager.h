#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <exception>
#include <limits>
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
// every 11 seconds while the state is not 1; in state 1 a download that gets no reply, or
// a failed probe of the service's web root, has it check at once, so a lost network is
// noticed (1 -> 3 -> 2) and a returning one too. Online and offline modes decide whether
// the network may be used at all. Version pages are fetched only on the loader's thread
// and never under the view's lock: the view (GUI thread) never waits for the network.
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
    // The view as the loader's thread last saw it; typeGeneration counts map type changes.
    struct ViewParams {
        int mapType;
        int level;
        WorldCoords centre;
        std::uint64_t typeGeneration;
    };

    void pass();
    void servePendingRequests();
    void serveVersionRequest();
    ViewParams viewParams();
    // The source's version for the current view (refresh or updateVersion), on the
    // loader's thread.
    void findVersion(IMapsLoader& source, bool asRefresh);
    void process(std::unique_ptr<MapsDataTypes::ImageBlockProp> record);
    // Loading one block in a checkLoad mode; the image and its type, or false.
    bool loadBlock(IMapsLoader& source, MapsDataTypes::ImageBlockProp& record, int mode,
                   std::string& data, std::wstring& imageType);
    bool loadAsLoader(IMapsLoader& source, MapsDataTypes::ImageBlockProp& record,
                      const std::wstring& url, std::string& data, std::wstring& imageType);
    bool loadOnline(IMapsLoader& source, MapsDataTypes::ImageBlockProp& record,
                    const std::wstring& url, std::string& data, std::wstring& imageType,
                    bool& transportFailed);
    bool downloadBetweenNotices(IMapsLoader& source, MapsDataTypes::ImageBlockProp& record,
                                const std::wstring& url, std::string& data, std::wstring& imageType,
                                bool& transportFailed);
    static void logFailure(const std::exception_ptr& failure);
    bool isCheckDue(std::int64_t now) const;
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
    // Steady-clock times (ms) of the last internet check and handler tick.
    std::atomic<std::int64_t> lastInternetCheckMs_{std::numeric_limits<std::int64_t>::min() / 2};
    std::int64_t lastHandlerTickMs_ = 0;
    // A check asked for before its interval (a download got no reply).
    std::atomic<bool> checkWanted_{false};
    // A version refresh asked for by setViewParams, served by the loader's thread.
    std::atomic<bool> versionWanted_{false};

    kestra::Mutex viewLock_;
    int mapType_ = -1;
    int level_ = 0;
    WorldCoords centre_;
    std::uint64_t typeGeneration_ = 0;

    kestra::Mutex sourcesLock_;
    std::array<std::unique_ptr<BasicMapsLoader>, 3> sources_;

    std::atomic<bool> zoomRequest_{false};
    std::atomic<int> zoomDirection_{0};
    std::atomic<bool> refreshRequest_{false};
    std::atomic<bool> loaderChangeRequest_{false};
    std::atomic<int> newLoaderId_{0};
    std::atomic<int> newMapType_{0};
};
