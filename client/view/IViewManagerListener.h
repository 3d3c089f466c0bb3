#pragma once

#include "client/maps/CoordinateUtils.h"

// What the view manager tells the application controller. The controller implements it by
// posting its own messages (the own position as its set-own-position message), so every
// operation returns at once. Called on the window's or the maps loader's thread.
class IViewManagerListener {
public:
    virtual ~IViewManagerListener() = default;
    // Around a change of the tile source or map type (the main window shows it).
    virtual void onMapLoading() = 0;
    virtual void onMapLoaded() = 0;
    // The user chose a place on the map as the own position ("I'm here").
    virtual void onOwnPositionChosen(const WorldCoords& position) = 0;
    // The tile servers became reachable or unreachable.
    virtual void onInternetAvailability(bool available) = 0;
};
