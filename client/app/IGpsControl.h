#pragma once

class GPSDeviceSelector;

// The GPS as the main frame, the GPS settings tab and the satellites window see it.
class IGpsControl {
public:
    // The states the GPS button shows.
    enum GpsState { GPS_STATE_FIX = 0, GPS_STATE_OFF = 1, GPS_STATE_SEARCHING = 2 };

    // Whether the receiver has a fix. "Searching" lasts from switching on (or losing the
    // fix) until the next fix.
    virtual void onGPSFixState(bool hasFix) = 0;
    // The GPS button: switches the GPS off when it runs, otherwise on. Returns the new
    // state, GPS_STATE_OFF or GPS_STATE_SEARCHING.
    virtual int switchGPS() = 0;
    // The GPS owner (null before start-up made it).
    virtual GPSDeviceSelector* getGPSDeviceSelector() = 0;

protected:
    ~IGpsControl() = default;
};
