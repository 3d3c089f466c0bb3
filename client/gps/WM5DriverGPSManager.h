#pragma once

#include <atomic>
#include <memory>
#include <string>

#include "client/gps/GPSTypes.h"
#include "client/gps/IGPSManager.h"
#include "kestra/Clock.h"
#include "kestra/Mutex.h"
#include "kestra/Thread.h"
#include "platform/GpsdConnection.h"

class IGPSListener;

// The GPS source behind the system's position service (gpsd): polls it once a second on a
// worker thread and reports the readings to its listener. A reading with more than three
// satellites used counts as a fix and is reported whole; otherwise only the satellites are
// reported and the next poll waits a further NO_FIX_EXTRA_PAUSE_MS.
//
// States: stopped (no connection, no thread) -> startGPSDevice -> running -> stopGPSDevice
// -> stopped. While running, a lost connection is tried again at every poll.
class WM5DriverGPSManager : public IGPSManager {
public:
    static constexpr unsigned int POLL_PAUSE_MS = 1000;
    static constexpr unsigned int NO_FIX_EXTRA_PAUSE_MS = 1500;
    static constexpr int MAXIMUM_AGE_MS = 100000;

    explicit WM5DriverGPSManager(kestra::IClock& clock = kestra::SystemClock::instance(),
                                 const std::string& host = "localhost",
                                 const std::string& port = "2947");
    ~WM5DriverGPSManager() override;

    void run() override;
    // Connects to the position service; kestra::IOStreamException when it cannot be
    // reached (the source then stays stopped).
    void startGPSDevice() override;
    void stopGPSDevice() override;
    bool isGPSDeviceStarted() const override { return running_; }
    void setGPSListener(IGPSListener* listener) override { listener_ = listener; }

    // Takes the latest reading; kestra::IOStreamException when the source is not started.
    void readGPSDevice(platform::GpsdPosition& position);

    // A signed decimal coordinate as whole degrees, minutes and a hemisphere flag (1 unless
    // the value is above 0).
    static void toDegreesAndMinutes(double value, std::int32_t& degrees, double& minutes,
                                    std::int32_t& hemisphere);

private:
    void poll(platform::GpsdPosition& position, SatelliteList& satellites);
    void reportFix(const platform::GpsdPosition& position, const SatelliteList& satellites);
    void pause(unsigned int milliseconds);

    kestra::IClock& clock_;
    std::atomic<IGPSListener*> listener_{nullptr};
    std::atomic<bool> running_{false};
    platform::GpsdConnection connection_;
    std::atomic<bool> deviceOpen_{false};
    std::unique_ptr<kestra::Thread> thread_;
    mutable kestra::Mutex lock_;  // start and stop
};
