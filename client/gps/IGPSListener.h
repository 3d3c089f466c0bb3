#pragma once

#include "client/gps/GPSTypes.h"
#include "client/maps/CoordinateUtils.h"

// Receives the readings of a GPS source. The source calls it on its own worker thread, so
// an implementation does its own locking. The last argument of each operation says whether
// the receiver considers the reading valid.
class IGPSListener {
public:
    virtual void onGPSPosition(const WorldCoords& position, bool valid) = 0;
    virtual void onGPSSpeed(const GPSSpeed& speed, bool valid) = 0;
    virtual void onGPSDate(const GPSDate& date, bool valid) = 0;
    virtual void onGPSTime(const GPSTime& time, bool valid) = 0;
    virtual void onGPSAltitude(double altitude, bool valid) = 0;
    // fix: at least 4 satellites are used.
    virtual void onGPSSatellites(const SatelliteList& satellites, bool fix) = 0;

protected:
    ~IGPSListener() = default;
};
