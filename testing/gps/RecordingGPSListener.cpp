#include "RecordingGPSListener.h"

#include <algorithm>
#include <chrono>

namespace gpstesting {

void RecordingGPSListener::add(GPSEvent event) {
    std::lock_guard<std::mutex> guard(mutex_);
    events_.push_back(std::move(event));
    changed_.notify_all();
}

void RecordingGPSListener::onGPSPosition(const WorldCoords& position, bool valid) {
    GPSEvent e;
    e.kind = GPSEvent::POSITION;
    e.position = position;
    e.valid = valid;
    add(std::move(e));
}

void RecordingGPSListener::onGPSSpeed(const GPSSpeed& speed, bool valid) {
    GPSEvent e;
    e.kind = GPSEvent::SPEED;
    e.speed = speed;
    e.valid = valid;
    add(std::move(e));
}

void RecordingGPSListener::onGPSDate(const GPSDate& date, bool valid) {
    GPSEvent e;
    e.kind = GPSEvent::DATE;
    e.date = date;
    e.valid = valid;
    add(std::move(e));
}

void RecordingGPSListener::onGPSTime(const GPSTime& time, bool valid) {
    GPSEvent e;
    e.kind = GPSEvent::TIME;
    e.time = time;
    e.valid = valid;
    add(std::move(e));
}

void RecordingGPSListener::onGPSAltitude(double altitude, bool valid) {
    GPSEvent e;
    e.kind = GPSEvent::ALTITUDE;
    e.altitude = altitude;
    e.valid = valid;
    add(std::move(e));
}

void RecordingGPSListener::onGPSSatellites(const SatelliteList& satellites, bool fix) {
    GPSEvent e;
    e.kind = GPSEvent::SATELLITES;
    e.satellites = satellites;
    e.valid = fix;
    add(std::move(e));
}

std::vector<GPSEvent> RecordingGPSListener::events() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return events_;
}

std::vector<GPSEvent> RecordingGPSListener::eventsOf(GPSEvent::Kind kind) const {
    std::vector<GPSEvent> result;
    for (const GPSEvent& e : events()) {
        if (e.kind == kind) {
            result.push_back(e);
        }
    }
    return result;
}

std::size_t RecordingGPSListener::count(GPSEvent::Kind kind) const {
    return eventsOf(kind).size();
}

void RecordingGPSListener::clear() {
    std::lock_guard<std::mutex> guard(mutex_);
    events_.clear();
}

bool RecordingGPSListener::waitFor(
    const std::function<bool(const std::vector<GPSEvent>&)>& predicate, int timeoutMs) const {
    std::unique_lock<std::mutex> guard(mutex_);
    return changed_.wait_for(guard, std::chrono::milliseconds(timeoutMs),
                             [&] { return predicate(events_); });
}

bool RecordingGPSListener::waitForCount(GPSEvent::Kind kind, std::size_t n, int timeoutMs) const {
    return waitFor(
        [kind, n](const std::vector<GPSEvent>& events) {
            return static_cast<std::size_t>(
                       std::count_if(events.begin(), events.end(),
                                     [kind](const GPSEvent& e) { return e.kind == kind; })) >= n;
        },
        timeoutMs);
}

}  // namespace gpstesting
