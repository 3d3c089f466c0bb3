// The position-service source against a real gpsd fed by gpsfake.

#include <gtest/gtest.h>

#include <cmath>
#include <mutex>
#include <sstream>

#include "GpsdFake.h"
#include "NmeaText.h"
#include "RecordingClock.h"
#include "RecordingGPSListener.h"
#include "TestSupport.h"
#include "client/gps/WM5DriverGPSManager.h"
#include "kestra/Log.h"

using gpstesting::GpsdFake;
using gpstesting::GPSEvent;

namespace {

constexpr int WAIT_MS = 60000;  // only so that a broken test cannot hang

// Remembers how long the source had paused when each satellite report came in.
class PollTimingListener : public gpstesting::RecordingGPSListener {
public:
    explicit PollTimingListener(const gpstesting::RecordingClock& clock) : clock_(clock) {}
    void onGPSSatellites(const SatelliteList& satellites, bool fix) override {
        {
            std::lock_guard<std::mutex> guard(mutex_);
            paused_.push_back(clock_.sleptMs());
        }
        RecordingGPSListener::onGPSSatellites(satellites, fix);
    }
    std::vector<std::uint64_t> paused() const {
        std::lock_guard<std::mutex> guard(mutex_);
        return paused_;
    }

private:
    const gpstesting::RecordingClock& clock_;
    mutable std::mutex mutex_;
    std::vector<std::uint64_t> paused_;
};

class DriverSourceTest : public ::testing::Test {
protected:
    void SetUp() override {
        kestra::Log::open((dir.path() / "lumora.log").wstring(), kestra::LOG_INFO, 10000000);
    }
    void TearDown() override {
        source.reset();
        kestra::Log::close();
    }
    void startSource(const GpsdFake& gpsd) {
        source = std::make_unique<WM5DriverGPSManager>(clock, "127.0.0.1", gpsd.port());
        source->setGPSListener(&listener);
        source->startGPSDevice();
    }
    std::string log() const { return testsupport::readFile(dir.path() / "lumora.log"); }

    testsupport::TempDir dir;
    gpstesting::RecordingClock clock{20};
    PollTimingListener listener{clock};
    std::unique_ptr<WM5DriverGPSManager> source;
};

// The positions of a log's GGA sentences, in signed degrees.
std::vector<std::pair<double, double>> logPositions(const std::string& log) {
    std::vector<std::pair<double, double>> positions;
    std::istringstream in(log);
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("$GPGGA,", 0) != 0) {
            continue;
        }
        std::vector<std::string> f;
        std::istringstream fields(line);
        for (std::string field; std::getline(fields, field, ',');) {
            f.push_back(field);
        }
        const double lat = std::stod(f[2].substr(0, 2)) + std::stod(f[2].substr(2)) / 60.0;
        const double lon = std::stod(f[4].substr(0, 3)) + std::stod(f[4].substr(3)) / 60.0;
        positions.emplace_back(f[3] == "S" ? -lat : lat, f[5] == "W" ? -lon : lon);
    }
    return positions;
}

TEST_F(DriverSourceTest, ReadsPositionSatellitesAndTheFullDateFromGpsd) {
    const auto logFile = testsupport::sourceDir() / "testing/data/nmea/quectelLC79D.log";
    GpsdFake gpsd(logFile);
    ASSERT_TRUE(gpsd.start()) << gpsd.error();
    startSource(gpsd);
    ASSERT_TRUE(listener.waitForCount(GPSEvent::TIME, 1, WAIT_MS)) << "no fix came through";
    source->stopGPSDevice();
    EXPECT_FALSE(source->isGPSDeviceStarted());

    // A fix is reported whole, in this order.
    const auto events = listener.events();
    auto first = std::find_if(events.begin(), events.end(),
                              [](const GPSEvent& e) { return e.kind == GPSEvent::POSITION; });
    ASSERT_NE(first, events.begin());
    ASSERT_GE(events.end() - first, 5);
    const GPSEvent& satellites = *(first - 1);
    ASSERT_EQ(satellites.kind, GPSEvent::SATELLITES);
    EXPECT_TRUE(satellites.valid);
    const auto used = std::count_if(satellites.satellites.begin(), satellites.satellites.end(),
                                    [](const SatelliteInfo& s) { return s.used; });
    EXPECT_GT(used, 3);
    EXPECT_GT(satellites.satellites.size(), static_cast<std::size_t>(used));
    EXPECT_TRUE(std::any_of(satellites.satellites.begin(), satellites.satellites.end(),
                            [](const SatelliteInfo& s) { return s.snr > 0; }));
    EXPECT_EQ((first + 1)->kind, GPSEvent::SPEED);
    EXPECT_EQ((first + 2)->kind, GPSEvent::ALTITUDE);
    EXPECT_EQ((first + 3)->kind, GPSEvent::DATE);
    EXPECT_EQ((first + 4)->kind, GPSEvent::TIME);

    const WorldCoords& p = first->position;
    EXPECT_TRUE(first->valid);
    EXPECT_EQ(p.latitudeType, 0);
    EXPECT_EQ(p.longitudeType, 0);
    const double lat = p.latDegrees + p.latMinutes / 60.0;
    const double lon = p.lonDegrees + p.lonMinutes / 60.0;
    const auto positions = logPositions(testsupport::readFile(logFile));
    EXPECT_TRUE(std::any_of(positions.begin(), positions.end(),
                            [&](const auto& q) {
                                return std::fabs(q.first - lat) < 1e-7 &&
                                       std::fabs(q.second - lon) < 1e-7;
                            }))
        << "a position of the log: " << lat << ", " << lon;

    const GPSDate& date = (first + 3)->date;
    EXPECT_EQ(date.year, 2020) << "the full year";
    EXPECT_EQ(date.month, 11);
    EXPECT_EQ(date.day, 30);
    const GPSTime& time = (first + 4)->time;
    EXPECT_EQ(time.hour, 11);
    EXPECT_EQ(time.minute, 50);
    EXPECT_EQ(time.second, std::floor(time.second)) << "whole seconds";
}

TEST_F(DriverSourceTest, ThreeUsedSatellitesAreNoFixAndSlowThePolling) {
    std::string nmea;
    for (int second = 0; second < 10; ++second) {
        const std::string t = "12000" + std::to_string(second) + ".00";
        nmea += gpstesting::sentence("GPGGA," + t +
                                     ",4807.038,N,01131.000,E,1,03,2.0,545.4,M,46.9,M,,");
        nmea += gpstesting::sentence("GPGSA,A,2,04,05,09,,,,,,,,,,3.0,2.0,2.2");
        nmea += gpstesting::sentence(
            "GPGSV,1,1,04,04,40,083,46,05,17,308,41,09,07,344,39,12,24,111,42");
        nmea += gpstesting::sentence("GPRMC," + t + ",A,4807.038,N,01131.000,E,0.0,0.0,150321,,,A");
    }
    testsupport::writeFile(dir.path() / "three.log", nmea);
    GpsdFake gpsd(dir.path() / "three.log", 0.02);
    ASSERT_TRUE(gpsd.start()) << gpsd.error();
    startSource(gpsd);
    // Wait for reports that show the three satellites as used.
    ASSERT_TRUE(listener.waitFor(
        [](const std::vector<GPSEvent>& events) {
            return std::count_if(events.begin(), events.end(), [](const GPSEvent& e) {
                       return e.kind == GPSEvent::SATELLITES && e.satellites.size() == 4;
                   }) >= 3;
        },
        WAIT_MS));
    source->stopGPSDevice();

    for (const GPSEvent& e : listener.eventsOf(GPSEvent::SATELLITES)) {
        EXPECT_FALSE(e.valid);
        if (e.satellites.size() == 4) {
            EXPECT_EQ(std::count_if(e.satellites.begin(), e.satellites.end(),
                                    [](const SatelliteInfo& s) { return s.used; }),
                      3);
        }
    }
    EXPECT_EQ(listener.count(GPSEvent::POSITION), 0u);
    EXPECT_EQ(listener.count(GPSEvent::TIME), 0u);
    const auto paused = listener.paused();
    for (std::size_t i = 1; i < paused.size(); ++i) {
        EXPECT_EQ(paused[i] - paused[i - 1],
                  WM5DriverGPSManager::POLL_PAUSE_MS + WM5DriverGPSManager::NO_FIX_EXTRA_PAUSE_MS)
            << "a poll without a fix takes 2.5 s";
    }
}

TEST_F(DriverSourceTest, AGpsdThatGoesAwayLeavesNoFixAndStoppingReturns) {
    const auto logFile = testsupport::sourceDir() / "testing/data/nmea/quectelLC79D.log";
    auto gpsd = std::make_unique<GpsdFake>(logFile);
    ASSERT_TRUE(gpsd->start()) << gpsd->error();
    startSource(*gpsd);
    ASSERT_TRUE(listener.waitForCount(GPSEvent::POSITION, 1, WAIT_MS));
    gpsd.reset();
    listener.clear();
    ASSERT_TRUE(listener.waitForCount(GPSEvent::SATELLITES, 2, WAIT_MS));
    const auto reports = listener.eventsOf(GPSEvent::SATELLITES);
    EXPECT_FALSE(reports.back().valid);
    EXPECT_TRUE(reports.back().satellites.empty());
    EXPECT_TRUE(source->isGPSDeviceStarted());
    source->stopGPSDevice();
    EXPECT_FALSE(source->isGPSDeviceStarted());
}

}  // namespace
