#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct gps_data_t;

namespace platform {

// One reading of the position service, in the units of a GPS receiver.
struct GpsdPosition {
    double latitude = 0.0;   // signed decimal degrees; 0 without a position
    double longitude = 0.0;  // signed decimal degrees; 0 without a position
    float speed = 0.0f;      // over ground, knots
    float heading = 0.0f;    // degrees true
    float altitude = 0.0f;   // metres above mean sea level
    struct {
        int year = 0;  // full year, e.g. 2020
        int month = 0;
        int day = 0;
        int hour = 0;
        int minute = 0;
        int second = 0;
    } utcTime;
    std::vector<int> usedPrns;       // satellites used for the fix
    std::vector<int> inViewPrns;     // satellites in view, in the service's order
    std::vector<double> inViewSnrs;  // their signal-to-noise ratios, 0 when unknown
};

// A client connection to gpsd (the system's GPS service) through libgps. It stands for a
// handle on a position driver: open, take the latest reading whenever asked, close.
// Not thread-safe: one thread uses it at a time.
class GpsdConnection {
public:
    explicit GpsdConnection(std::string host = "localhost", std::string port = "2947");
    ~GpsdConnection();
    GpsdConnection(const GpsdConnection&) = delete;
    GpsdConnection& operator=(const GpsdConnection&) = delete;

    // Connects and asks for reports. False when gpsd cannot be reached.
    bool open();
    bool isOpen() const { return data_ != nullptr; }
    // Takes in every report that has arrived and fills position from the service's latest
    // state. Parts older than maxAgeMs are left out (zero, no satellites). When the
    // connection was lost it tries once to connect again; false when there is none.
    bool getPosition(GpsdPosition& position, int maxAgeMs);
    // Ends the connection; 0 on success (also when none was open).
    int close();

private:
    bool drainReports();
    void fill(GpsdPosition& position, int maxAgeMs) const;

    std::string host_;
    std::string port_;
    std::unique_ptr<gps_data_t> data_;
    std::int64_t lastFixMs_ = -1;
    std::int64_t lastSkyMs_ = -1;
};

}  // namespace platform
