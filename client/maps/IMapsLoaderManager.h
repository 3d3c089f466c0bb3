#pragma once

#include <string>

#include "client/maps/CoordinateUtils.h"
#include "client/maps/LoadedBlock.h"
#include "client/maps/MapsDataTypes.h"
#include "kestra/IRunnable.h"

class IMapsLoaderListener;

// The maps loader as the block matrix, the view and the tile sources see it.
class IMapsLoaderManager : public kestra::IRunnable {
public:
    // Modes of checkLoad.
    enum CheckMode { CHECK_AVAILABLE = 0, CACHE_ONLY = 1, AS_LOADER = 2 };
    // Directions of requestZoom.
    enum ZoomDirection { ZOOM_OUT = 0, ZOOM_IN = 1, ZOOM_TO_SLIDER = 2 };

    ~IMapsLoaderManager() override = default;

    // Forwards to the current source; throws kestra::MapLoaderException for a map type the
    // source does not offer.
    virtual void getZoomInterval(int& minLevel, int& maxLevel, int mapType) = 0;
    // Empties the queue and takes the view's map type, level and centre; the handler is kept
    // from the first caller that passes one. blockSide receives the current source's block
    // side.
    virtual void setViewParams(int mapType, MapsDataTypes::IMapsHandler* handler, int& blockSide,
                               int level, const WorldCoords& centre, bool refreshWanted) = 0;
    // Queues the block holding the world pixel point; false when refused (queue full,
    // no source, bad level).
    virtual bool loadMapBlock(const MercatorCoords& point, int mapType, int level) = 0;
    // Gets one block on the caller's thread (modes: CheckMode).
    virtual bool checkLoad(const MercatorCoords& point, int mapType, int level, LoadedBlock& block,
                           int mode) = 0;
    virtual bool isInternet() = 0;
    virtual bool isMapTypeSupported(int mapType) = 0;
    virtual void stop() = 0;
    virtual void start() = 0;
    virtual void requestZoom(int direction) = 0;
    virtual void requestRefresh() = 0;
    virtual void requestLoaderChange(int newLoaderId, int newMapType) = 0;
    virtual void setOffline() = 0;
    virtual void setOnline() = 0;
    // 0 Google, 1 Microsoft, 2 OpenStreet; any other id leaves no current source (false).
    virtual bool selectLoader(int loaderId) = 0;
    // Wraps block numbers into the world at the level (CoordinateUtils::controlBorders).
    virtual void controlBorders(int& x, int& y, int level) = 0;
    // Whether a Content-Type names UTF-16 or UTF-32 text.
    virtual bool isUnicodeContentType(const std::wstring& contentType) = 0;
    virtual bool isRunning() = 0;
    virtual void setListener(IMapsLoaderListener* listener) = 0;
};
