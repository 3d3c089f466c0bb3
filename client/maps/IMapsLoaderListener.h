#pragma once

// Told by the maps loader about connectivity and about the view requests it defers to its
// own thread (the view manager listens). Called on the loader's thread.
class IMapsLoaderListener {
public:
    virtual ~IMapsLoaderListener() = default;
    virtual void onNoInternet() = 0;
    virtual void onInternetAvailable() = 0;
    // Around each network access, e.g. to show activity.
    virtual void onNetworkStart() = 0;
    virtual void onNetworkStop() = 0;
    // direction: 0 one level out, 1 one level in, 2 to the level of the zoom slider.
    virtual void doZoom(int direction) = 0;
    virtual void onRefresh() = 0;
    virtual void changeMapLoaderAndType(int newLoaderId, int currentLoaderId, int newMapType) = 0;
};
