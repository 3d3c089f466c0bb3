#pragma once

#include <atomic>
#include <memory>

#include "client/gps/GPSTypes.h"
#include "client/maps/CoordinateUtils.h"

class GPSDeviceSelector;
class IGPSListener;

// The controller's side of the GPS: the GPS owner set up from the settings, the GPS
// switch, and the fix state.
//
// States: off -> on and searching (switched on, or the fix was lost) -> on with a fix ->
// searching ... -> off. GPSDevice.state keeps "ON" or "OFF" across restarts.
class ControllerGps {
public:
    // The GPS owner reports its readings to listener (the controller).
    explicit ControllerGps(IGPSListener& listener);
    // Stops the GPS owner.
    ~ControllerGps();
    ControllerGps(const ControllerGps&) = delete;
    ControllerGps& operator=(const ControllerGps&) = delete;

    GPSDeviceSelector* selector() const { return selector_.get(); }
    // The serial port (gps.comPortName, "COM4:" when missing, written back) and the source
    // (gps.useDriver: 0 the serial port, anything else the position service, written as 1).
    void readSettings();
    // Switches the GPS on when GPSDevice.state is "ON"; true when it now searches for a fix.
    // A GPS that cannot be switched on leaves the program running with the GPS off.
    bool startWhenSwitchedOn();
    // Off when the GPS owner is on (returns 1), else on (returns 2, searching for a fix). A GPS
    // that cannot be switched on stays off and keeps "OFF" (returns 1).
    int switchGPS();
    // True when the state changed (a fix found while searching, or lost while not).
    bool changeFixState(bool hasFix);
    bool isSearching() const { return searching_.load(); }

    // Readings from the GPS owner's worker thread (the fix state is the controller's).
    void onPosition(const WorldCoords& position, bool valid);
    void onSatellites(const SatelliteList& satellites, bool fix);

private:
    bool switchOn(const char* place);

    std::unique_ptr<GPSDeviceSelector> selector_;
    std::atomic<bool> searching_{true};
};
