#pragma once

#include "client/app/IWindow.h"
#include "client/gps/GPSTypes.h"

// The satellites that the GPS receiver sees, with their signal strengths.
class ISatellitesWindow : public IWindow {
public:
    // The latest list from the GPS owner and whether the receiver has a fix (any thread).
    virtual void setSatellites(const SatelliteList& satellites, bool fix) = 0;
};
