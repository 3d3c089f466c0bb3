#pragma once

#include "kestra/IRunnable.h"

class IGPSListener;

// A GPS source: opened by startGPSDevice, read on its own worker thread (run), closed by
// stopGPSDevice, reporting to one listener.
class IGPSManager : public kestra::IRunnable {
public:
    ~IGPSManager() override = default;
    // Opens the source and starts the worker. Throws kestra exceptions when it cannot.
    virtual void startGPSDevice() = 0;
    // Ends the worker (returns once it has finished) and closes the source.
    virtual void stopGPSDevice() = 0;
    virtual bool isGPSDeviceStarted() const = 0;
    // The listener is not owned; null stops the reports.
    virtual void setGPSListener(IGPSListener* listener) = 0;
};
