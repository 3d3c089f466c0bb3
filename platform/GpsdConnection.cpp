#include "platform/GpsdConnection.h"

#include <gps.h>

#include <chrono>
#include <cmath>
#include <ctime>

namespace platform {
namespace {

constexpr double KNOTS_PER_METRE_PER_SECOND = 3600.0 / 1852.0;
// Large enough for any one report of gpsd.
constexpr int REPORT_BUFFER_SIZE = 16384;

std::int64_t nowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

double finiteOrZero(double value) {
    return std::isfinite(value) ? value : 0.0;
}

bool fresh(std::int64_t stamp, int maxAgeMs) {
    return stamp >= 0 && nowMs() - stamp <= maxAgeMs;
}

}  // namespace

GpsdConnection::GpsdConnection(std::string host, std::string port)
    : host_(std::move(host)), port_(std::move(port)) {}

GpsdConnection::~GpsdConnection() {
    close();
}

bool GpsdConnection::open() {
    close();
    auto data = std::make_unique<gps_data_t>();
    if (gps_open(host_.c_str(), port_.c_str(), data.get()) != 0) {
        return false;
    }
    if (gps_stream(data.get(), WATCH_ENABLE | WATCH_JSON, nullptr) != 0) {
        gps_close(data.get());
        return false;
    }
    data_ = std::move(data);
    lastFixMs_ = -1;
    lastSkyMs_ = -1;
    return true;
}

int GpsdConnection::close() {
    if (!data_) {
        return 0;
    }
    gps_stream(data_.get(), WATCH_DISABLE, nullptr);
    const int rc = gps_close(data_.get());
    data_.reset();
    return rc;
}

bool GpsdConnection::getPosition(GpsdPosition& position, int maxAgeMs) {
    if (!data_ && !open()) {
        position = GpsdPosition();
        return false;
    }
    if (!drainReports()) {
        close();  // gpsd went away; the next call tries to connect again
        position = GpsdPosition();
        return false;
    }
    fill(position, maxAgeMs);
    return true;
}

// gpsd sends reports as they come; the latest state is what a poll hands out.
bool GpsdConnection::drainReports() {
    static thread_local char message[REPORT_BUFFER_SIZE];
    while (gps_waiting(data_.get(), 0)) {
        if (gps_read(data_.get(), message, sizeof message) == -1) {
            return false;
        }
        if ((data_->set & (LATLON_SET | MODE_SET)) != 0) {
            lastFixMs_ = nowMs();
        }
        if ((data_->set & SATELLITE_SET) != 0) {
            lastSkyMs_ = nowMs();
        }
    }
    return true;
}

void GpsdConnection::fill(GpsdPosition& position, int maxAgeMs) const {
    position = GpsdPosition();
    const gps_fix_t& fix = data_->fix;
    if (fresh(lastFixMs_, maxAgeMs)) {
        position.latitude = finiteOrZero(fix.latitude);
        position.longitude = finiteOrZero(fix.longitude);
        position.speed = static_cast<float>(finiteOrZero(fix.speed) * KNOTS_PER_METRE_PER_SECOND);
        position.heading = static_cast<float>(finiteOrZero(fix.track));
        position.altitude = static_cast<float>(finiteOrZero(fix.altMSL));
        if (fix.time.tv_sec > 0) {
            std::tm utc{};
            gmtime_r(&fix.time.tv_sec, &utc);
            position.utcTime.year = utc.tm_year + 1900;
            position.utcTime.month = utc.tm_mon + 1;
            position.utcTime.day = utc.tm_mday;
            position.utcTime.hour = utc.tm_hour;
            position.utcTime.minute = utc.tm_min;
            position.utcTime.second = utc.tm_sec;
        }
    }
    if (fresh(lastSkyMs_, maxAgeMs)) {
        for (int i = 0; i < data_->satellites_visible && i < MAXCHANNELS; ++i) {
            const satellite_t& satellite = data_->skyview[i];
            position.inViewPrns.push_back(satellite.PRN);
            position.inViewSnrs.push_back(satellite.ss > 0 ? finiteOrZero(satellite.ss) : 0.0);
            if (satellite.used) {
                position.usedPrns.push_back(satellite.PRN);
            }
        }
    }
}

}  // namespace platform
