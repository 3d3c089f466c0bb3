#pragma once

#include <string>

// The port under a serial GPS source.
class ICOMGPSCommunicator {
public:
    // Opens and sets up the named port. Throws kestra::NullPointerException,
    // kestra::IOStreamException (cannot open) or kestra::GPSException (cannot set up).
    virtual void startGPS(const wchar_t* portName) = 0;
    // Closes the port; kestra::IOStreamException when closing fails.
    virtual void stopGPS() = 0;
    // One read; the bytes replace out. Returns how many were read (0 when none came in
    // time). kestra::IOStreamException when the port is gone.
    virtual int readData(std::string& out) = 0;
    virtual ~ICOMGPSCommunicator() = default;
};
