#pragma once

#include <memory>
#include <string>

#include "client/gps/COMGPSManager.h"
#include "client/gps/WM5DriverGPSManager.h"
#include "kestra/Mutex.h"

class IGPSListener;

// Owns the two GPS sources (the serial NMEA source and the position service) and switches
// the selected one on and off.
//
// States: off (0) and on (1), each with one selected source. Switching on starts the
// selected source; switching off stops it. Selecting a source stops the running one and
// starts the selected one, which leaves the GPS on.
class GPSDeviceSelector {
public:
    enum State { STATE_OFF = 0, STATE_ON = 1 };

    explicit GPSDeviceSelector(IGPSListener* listener = nullptr);
    // For tests and special set-ups: sources made by the caller.
    GPSDeviceSelector(std::unique_ptr<COMGPSManager> serialSource,
                      std::unique_ptr<WM5DriverGPSManager> driverSource,
                      IGPSListener* listener = nullptr);
    ~GPSDeviceSelector();
    GPSDeviceSelector(const GPSDeviceSelector&) = delete;
    GPSDeviceSelector& operator=(const GPSDeviceSelector&) = delete;

    void setGPSListener(IGPSListener* listener);
    // The serial source's port, used at its next start.
    void setCOMPortName(const std::wstring& portName);
    std::wstring getCOMPortName() const;
    // n of a "COMn:" port name, -1 for a device path.
    int getCOMPortNumber() const;
    // Chooses the source that the next switch-on starts (true: the position service).
    void setUseDriver(bool useDriver);
    bool isUsingDriver() const;

    // Switches on: starts the selected source unless it runs. The kestra exceptions of a
    // source that cannot start reach the caller, and the GPS stays off.
    void start();
    // Switches off: stops the selected source if it runs.
    void stop();
    // The switch state (STATE_OFF or STATE_ON).
    int getState() const;
    // Whether the selected source runs.
    bool isStarted() const;

    // Selects and starts the serial source (with a new port name when one is given).
    void selectSerialSource(const std::wstring* portName = nullptr);
    // Selects and starts the position service.
    void selectDriverSource();

    // Switches off, looks for a receiver on the serial ports, switches on again. True with
    // the port found in portName.
    bool search(std::wstring& portName);

private:
    IGPSManager& selected();
    void select(bool useDriver);

    std::unique_ptr<COMGPSManager> serial_;
    std::unique_ptr<WM5DriverGPSManager> driver_;
    int state_ = STATE_OFF;
    bool useDriver_ = false;
    mutable kestra::Mutex lock_;
};
