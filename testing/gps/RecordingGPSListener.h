#pragma once

#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <vector>

#include "client/gps/IGPSListener.h"

namespace gpstesting {

// One report of a GPS source, as the listener received it.
struct GPSEvent {
    enum Kind { POSITION, SPEED, DATE, TIME, ALTITUDE, SATELLITES };
    Kind kind = POSITION;
    bool valid = false;  // the validity flag (the fix flag for satellites)
    WorldCoords position;
    GPSSpeed speed;
    GPSDate date;
    GPSTime time;
    double altitude = 0.0;
    SatelliteList satellites;
};

// Records every report in order; any thread may report while the test waits.
class RecordingGPSListener : public IGPSListener {
public:
    virtual ~RecordingGPSListener() = default;

    void onGPSPosition(const WorldCoords& position, bool valid) override;
    void onGPSSpeed(const GPSSpeed& speed, bool valid) override;
    void onGPSDate(const GPSDate& date, bool valid) override;
    void onGPSTime(const GPSTime& time, bool valid) override;
    void onGPSAltitude(double altitude, bool valid) override;
    void onGPSSatellites(const SatelliteList& satellites, bool fix) override;

    std::vector<GPSEvent> events() const;
    std::vector<GPSEvent> eventsOf(GPSEvent::Kind kind) const;
    std::size_t count(GPSEvent::Kind kind) const;
    void clear();
    // Waits until the predicate holds for the events so far; false after timeoutMs.
    bool waitFor(const std::function<bool(const std::vector<GPSEvent>&)>& predicate,
                 int timeoutMs) const;
    bool waitForCount(GPSEvent::Kind kind, std::size_t n, int timeoutMs) const;

private:
    void add(GPSEvent event);

    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::vector<GPSEvent> events_;
};

}  // namespace gpstesting
