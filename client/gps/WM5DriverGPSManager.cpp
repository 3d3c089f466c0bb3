#include "client/gps/WM5DriverGPSManager.h"

#include <algorithm>
#include <cmath>

#include "client/gps/IGPSListener.h"
#include "kestra/Exceptions.h"
#include "kestra/Log.h"

using kestra::Log;

namespace {
constexpr unsigned int POLL_MS = 10;
}  // namespace

WM5DriverGPSManager::WM5DriverGPSManager(kestra::IClock& clock, const std::string& host,
                                         const std::string& port)
    : clock_(clock), connection_(host, port) {}

WM5DriverGPSManager::~WM5DriverGPSManager() {
    stopGPSDevice();
}

void WM5DriverGPSManager::startGPSDevice() {
    kestra::Mutex::Locker lock(lock_);
    if (running_ && thread_) {
        return;
    }
    if (!connection_.open()) {
        Log::error("WM5DriverGPSManager::startGPSDevice");
        throw kestra::IOStreamException("WM5DriverGPSManager::startGPSDevice",
                                        "deviceHandle == INVALID_HANDLE_VALUE");
    }
    deviceOpen_ = true;
    running_ = true;
    thread_ = std::make_unique<kestra::Thread>(this, L"");
    try {
        thread_->start();
    } catch (...) {
        running_ = false;
        thread_.reset();
        deviceOpen_ = false;
        connection_.close();
        throw;
    }
}

void WM5DriverGPSManager::stopGPSDevice() {
    kestra::Mutex::Locker lock(lock_);
    running_ = false;
    if (!thread_ || kestra::Thread::current() == thread_.get()) {
        return;  // not started, or asked by a listener on the worker itself
    }
    while (!thread_->waitFinished(static_cast<int>(POLL_MS))) {
    }
    deviceOpen_ = false;
    if (connection_.close() != 0) {
        Log::warning("WM5DriverGPSManager::stopGPSDevice");
    }
    thread_.reset();
}

void WM5DriverGPSManager::readGPSDevice(platform::GpsdPosition& position) {
    if (!deviceOpen_) {
        Log::error("WM5DriverGPSManager::readGPSDevice");
        throw kestra::IOStreamException("WM5DriverGPSManager::readGPSDevice",
                                        "deviceHandle == INVALID_HANDLE_VALUE");
    }
    // A lost service leaves an empty reading (no satellites, hence no fix).
    connection_.getPosition(position, MAXIMUM_AGE_MS);
}

void WM5DriverGPSManager::run() {
    platform::GpsdPosition position;
    SatelliteList satellites;
    while (running_) {
        try {
            poll(position, satellites);
        } catch (const std::exception& e) {
            Log::error(std::string("WM5DriverGPSManager::run: exception \"") + e.what() + "\".");
        }
    }
    satellites.clear();
}

void WM5DriverGPSManager::poll(platform::GpsdPosition& position, SatelliteList& satellites) {
    pause(POLL_PAUSE_MS);
    if (!running_) {
        return;
    }
    readGPSDevice(position);
    // Each satellite in view, once for every time it stands in the used list, else once
    // as not used.
    satellites.clear();
    for (std::size_t i = 0; i < position.inViewPrns.size(); ++i) {
        SatelliteInfo satellite;
        satellite.prn = static_cast<std::uint8_t>(position.inViewPrns[i]);
        satellite.snr = position.inViewSnrs[i];
        satellite.used = true;
        const auto matches =
            std::count(position.usedPrns.begin(), position.usedPrns.end(), position.inViewPrns[i]);
        for (long m = 0; m < matches; ++m) {
            satellites.push_back(satellite);
        }
        if (matches == 0) {
            satellite.used = false;
            satellites.push_back(satellite);
        }
    }
    if (!running_) {
        return;
    }
    if (position.usedPrns.size() > 3) {
        reportFix(position, satellites);
    } else {
        if (IGPSListener* l = listener_.load()) {
            l->onGPSSatellites(satellites, false);
        }
        pause(NO_FIX_EXTRA_PAUSE_MS);
    }
}

void WM5DriverGPSManager::reportFix(const platform::GpsdPosition& position,
                                    const SatelliteList& satellites) {
    IGPSListener* l = listener_.load();
    if (l == nullptr) {
        return;
    }
    l->onGPSSatellites(satellites, true);
    WorldCoords world;
    toDegreesAndMinutes(position.latitude, world.latDegrees, world.latMinutes, world.latitudeType);
    toDegreesAndMinutes(position.longitude, world.lonDegrees, world.lonMinutes,
                        world.longitudeType);
    l->onGPSPosition(world, true);
    GPSSpeed speed;
    speed.speed = position.speed;
    speed.course = position.heading;
    l->onGPSSpeed(speed, true);
    l->onGPSAltitude(position.altitude, true);
    GPSDate date;
    date.year = position.utcTime.year;
    date.month = static_cast<std::uint8_t>(position.utcTime.month);
    date.day = static_cast<std::uint8_t>(position.utcTime.day);
    l->onGPSDate(date, true);
    GPSTime time;
    time.hour = static_cast<std::uint8_t>(position.utcTime.hour);
    time.minute = static_cast<std::uint8_t>(position.utcTime.minute);
    time.second = static_cast<float>(position.utcTime.second);
    l->onGPSTime(time, true);
}

void WM5DriverGPSManager::toDegreesAndMinutes(double value, std::int32_t& degrees, double& minutes,
                                              std::int32_t& hemisphere) {
    const double whole = std::trunc(value);
    degrees = static_cast<std::int32_t>(std::fabs(whole));
    minutes = std::fabs(value - whole) * 60.0;
    hemisphere = value > 0 ? 0 : 1;
}

void WM5DriverGPSManager::pause(unsigned int milliseconds) {
    while (milliseconds > 0 && running_) {
        const unsigned int step = std::min(milliseconds, POLL_MS);
        clock_.sleepMs(step);
        milliseconds -= step;
    }
}
