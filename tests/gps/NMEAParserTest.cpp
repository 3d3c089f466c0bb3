#include <gtest/gtest.h>

#include <vector>

#include "NmeaText.h"
#include "RecordingGPSListener.h"
#include "client/gps/NMEAParser.h"

using gpstesting::GPSEvent;
using gpstesting::sentence;

namespace {

class NMEAParserTest : public ::testing::Test {
protected:
    NMEAParserTest()
        : parser([this] { return running; }, [this](unsigned ms) { pauses.push_back(ms); }) {
        parser.setListener(&listener);
    }
    bool feed(const std::string& body) { return parser.handleLine(sentence(body)); }
    std::vector<GPSEvent::Kind> kinds() const {
        std::vector<GPSEvent::Kind> result;
        for (const GPSEvent& e : listener.events()) {
            result.push_back(e.kind);
        }
        return result;
    }
    static std::vector<unsigned> prns(const SatelliteList& list) {
        std::vector<unsigned> result;
        for (const SatelliteInfo& s : list) {
            result.push_back(s.prn);
        }
        return result;
    }
    static std::vector<bool> used(const SatelliteList& list) {
        std::vector<bool> result;
        for (const SatelliteInfo& s : list) {
            result.push_back(s.used);
        }
        return result;
    }

    bool running = true;
    std::vector<unsigned> pauses;
    gpstesting::RecordingGPSListener listener;
    NMEAParser parser;
};

const char* const GGA_MUNICH = "GPGGA,123519.25,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,";

TEST_F(NMEAParserTest, AFixedGGAReportsTimePositionAndAltitude) {
    EXPECT_TRUE(feed(GGA_MUNICH));
    using K = GPSEvent;
    EXPECT_EQ(kinds(), (std::vector<GPSEvent::Kind>{K::TIME, K::POSITION, K::ALTITUDE}));
    const auto events = listener.events();
    EXPECT_EQ(events[0].time.hour, 12);
    EXPECT_EQ(events[0].time.minute, 35);
    EXPECT_FLOAT_EQ(events[0].time.second, 19.25f);
    EXPECT_TRUE(events[0].valid);
    const WorldCoords& p = events[1].position;
    EXPECT_EQ(p.latDegrees, 48);
    EXPECT_DOUBLE_EQ(p.latMinutes, 7.038);
    EXPECT_EQ(p.lonDegrees, 11);
    EXPECT_DOUBLE_EQ(p.lonMinutes, 31.0);
    EXPECT_EQ(p.latitudeType, 0);
    EXPECT_EQ(p.longitudeType, 0);
    EXPECT_TRUE(events[1].valid);
    EXPECT_DOUBLE_EQ(events[2].altitude, 545.4);
    EXPECT_EQ(parser.usedSatellites(), 8);
    EXPECT_TRUE(pauses.empty());
}

TEST_F(NMEAParserTest, SouthAndWestComeFromTheHemisphereFields) {
    feed("GNGGA,030719.000,3747.0873,S,07518.8938,W,1,08,1.1,59.9,M,23.7,M,,0000");
    const auto positions = listener.eventsOf(GPSEvent::POSITION);
    ASSERT_EQ(positions.size(), 1u);
    EXPECT_EQ(positions[0].position.latitudeType, 1);
    EXPECT_EQ(positions[0].position.longitudeType, 1);
    EXPECT_EQ(positions[0].position.lonDegrees, 75);
}

TEST_F(NMEAParserTest, AVoidRMCMarksLaterReadingsInvalidButNotTheGGAPosition) {
    EXPECT_TRUE(feed("GPRMC,123520,V,4807.038,N,01131.000,E,000.0,084.4,230394,003.1,W"));
    EXPECT_FALSE(parser.fixValid());
    auto events = listener.events();
    using K = GPSEvent;
    EXPECT_EQ(kinds(), (std::vector<GPSEvent::Kind>{K::TIME, K::POSITION, K::DATE}))
        << "a speed of 0 is not reported";
    EXPECT_TRUE(events[0].valid) << "the time comes before the status field";
    EXPECT_FALSE(events[1].valid) << "the RMC position carries the status";
    EXPECT_EQ(events[2].date.day, 23);
    EXPECT_EQ(events[2].date.month, 3);
    EXPECT_EQ(events[2].date.year, 94) << "two-digit year as sent";
    EXPECT_TRUE(events[2].valid);

    listener.clear();
    feed(GGA_MUNICH);
    events = listener.events();
    ASSERT_EQ(events.size(), 3u);
    EXPECT_FALSE(events[0].valid) << "time";
    EXPECT_TRUE(events[1].valid) << "GGA position";
    EXPECT_FALSE(events[2].valid) << "altitude";
}

TEST_F(NMEAParserTest, AMovingRMCReportsSpeedAndCourse) {
    feed("GPRMC,123520.5,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W");
    const auto speeds = listener.eventsOf(GPSEvent::SPEED);
    ASSERT_EQ(speeds.size(), 1u);
    EXPECT_DOUBLE_EQ(speeds[0].speed.speed, 22.4);
    EXPECT_DOUBLE_EQ(speeds[0].speed.course, 84.4);
    EXPECT_TRUE(speeds[0].valid);
    // A speed without a course gives no speed report.
    listener.clear();
    feed("GPRMC,123521,A,4807.038,N,01131.000,E,1.5,,230394,,");
    EXPECT_EQ(listener.count(GPSEvent::SPEED), 0u);
    EXPECT_EQ(listener.count(GPSEvent::POSITION), 1u);
}

TEST_F(NMEAParserTest, AZeroLatitudePausesASecondAndReportsNoPosition) {
    feed("GPGGA,000001,0000.000,N,00000.000,E,0,00,99.0,,M,,M,,");
    EXPECT_EQ(pauses, std::vector<unsigned>{NMEAParser::ZERO_LATITUDE_PAUSE_MS});
    EXPECT_EQ(listener.count(GPSEvent::POSITION), 0u);
    feed("GPRMC,000002,V,0000.0000,N,00000.0000,E,,,010180,,");
    EXPECT_EQ(pauses.size(), 2u);
    EXPECT_EQ(listener.count(GPSEvent::POSITION), 0u);
}

TEST_F(NMEAParserTest, PositionsNearTheEquatorAndTheGreenwichMeridianAreReported) {
    // Quito (0 degrees 13 minutes south) and London (0 degrees 7 minutes west): whole
    // degrees of 0 are real places, not a missing position.
    feed("GPGGA,101010,0013.500,S,07830.000,W,1,05,1.0,2850.0,M,,M,,");
    feed("GPRMC,101011,A,5130.000,N,00007.500,W,0.0,,010120,,");
    const auto positions = listener.eventsOf(GPSEvent::POSITION);
    ASSERT_EQ(positions.size(), 2u);
    EXPECT_EQ(positions[0].position.latDegrees, 0);
    EXPECT_DOUBLE_EQ(positions[0].position.latMinutes, 13.5);
    EXPECT_EQ(positions[1].position.lonDegrees, 0);
    EXPECT_EQ(positions[1].position.longitudeType, 1);
    EXPECT_TRUE(pauses.empty());
}

TEST_F(NMEAParserTest, AGSVCycleIsReportedOnceAfterItsLastMessage) {
    feed("GPGGA,123519,4807.038,N,01131.000,E,1,03,0.9,545.4,M,46.9,M,,");
    feed("GPGSA,A,2,04,09,24,,,,,,,,,,2.5,1.3,2.1");
    feed("GPGSV,3,1,09,04,40,083,46,05,17,308,,09,07,344,39,12,24,111,42");
    feed("GPGSV,3,2,09,14,05,205,30,17,06,324,,22,24,112,25,23,08,249,");
    EXPECT_EQ(listener.count(GPSEvent::SATELLITES), 0u);
    feed("GPGSV,3,3,09,24,60,020,44");
    const auto reports = listener.eventsOf(GPSEvent::SATELLITES);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_FALSE(reports[0].valid) << "3 used satellites are no fix";
    const SatelliteList& list = reports[0].satellites;
    EXPECT_EQ(prns(list), (std::vector<unsigned>{4, 5, 9, 12, 14, 17, 22, 23, 24}));
    EXPECT_EQ(used(list),
              (std::vector<bool>{true, false, true, false, false, false, false, false, true}));
    EXPECT_DOUBLE_EQ(list[0].snr, 46.0);
    EXPECT_DOUBLE_EQ(list[1].snr, 0.0) << "empty signal-to-noise field";

    // The next GGA starts a new list; 4 used satellites are a fix.
    feed("GPGGA,123520,4807.038,N,01131.000,E,1,04,0.9,545.4,M,46.9,M,,");
    feed("GPGSV,1,1,02,04,40,083,46,05,17,308,40");
    const auto next = listener.eventsOf(GPSEvent::SATELLITES);
    ASSERT_EQ(next.size(), 2u);
    EXPECT_TRUE(next[1].valid);
    EXPECT_EQ(prns(next[1].satellites), (std::vector<unsigned>{4, 5}));
}

TEST_F(NMEAParserTest, SatellitesOfEveryTalkerGoIntoOneList) {
    feed("GNGGA,171926.00,4404.14063,N,12118.85478,W,1,05,0.91,1147.2,M,-21.3,M,,");
    feed("GNGSA,A,3,01,11,31,,,,,,,,,,1.56,0.91,1.27");
    feed("GNGSA,A,3,67,83,,,,,,,,,,,1.56,0.91,1.27");
    feed("GPGSV,1,1,04,01,53,280,36,11,40,245,29,12,05,034,,31,58,133,24");
    feed("GLGSV,1,1,03,67,62,349,26,83,27,309,29,84,01,353,");
    const auto reports = listener.eventsOf(GPSEvent::SATELLITES);
    ASSERT_EQ(reports.size(), 2u) << "one report as each talker's sequence completes";
    EXPECT_EQ(prns(reports[1].satellites), (std::vector<unsigned>{1, 11, 12, 31, 67, 83, 84}));
    EXPECT_EQ(used(reports[1].satellites),
              (std::vector<bool>{true, true, false, true, true, true, false}))
        << "the GLONASS satellites of the second GSA count as used";
    EXPECT_TRUE(reports[1].valid);
}

TEST_F(NMEAParserTest, WithoutGGATheListDoesNotPileUp) {
    for (int cycle = 0; cycle < 3; ++cycle) {
        feed("GPGSV,2,1,05,01,53,280,36,11,40,245,29,12,05,034,,31,58,133,24");
        feed("GPGSV,2,2,05,32,76,331,31");
    }
    const auto reports = listener.eventsOf(GPSEvent::SATELLITES);
    ASSERT_EQ(reports.size(), 3u);
    EXPECT_EQ(reports[2].satellites.size(), 5u);
}

TEST_F(NMEAParserTest, ASatelliteSentOnceMoreForAnotherSignalIsListedOnce) {
    feed("GPGGA,115033.00,5002.457296,N,01958.828604,E,1,06,0.4,246.0,M,,M,,");
    feed("GPGSV,1,1,02,06,12,215,45,09,53,089,27,1");
    feed("GPGSV,1,1,02,06,,,40,09,,,27,8");
    const auto reports = listener.eventsOf(GPSEvent::SATELLITES);
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_EQ(prns(reports[1].satellites), (std::vector<unsigned>{6, 9}));
    EXPECT_DOUBLE_EQ(reports[1].satellites[0].snr, 45.0);
}

TEST_F(NMEAParserTest, DilutionsOfPrecisionAreNotSatellites) {
    feed("GNGGA,1,4404.1,N,12118.8,W,1,16,0.91,1.0,M,,M,,");
    feed("GPGSA,A,3,01,02,03,04,05,06,07,08,10,11,12,13,14.2,9.1,5.0");
    feed("GPGSV,1,1,02,13,10,010,20,14,10,010,20");
    const auto reports = listener.eventsOf(GPSEvent::SATELLITES);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(used(reports[0].satellites), (std::vector<bool>{true, false}));
}

TEST_F(NMEAParserTest, MoreUsedSatellitesThanTheTableHoldsAreCutOff) {
    feed("GNGGA,1,4404.1,N,12118.8,W,1,99,0.91,1.0,M,,M,,");
    for (int gsa = 0; gsa < 8; ++gsa) {
        std::string body = "GNGSA,A,3";
        for (int k = 1; k <= 12; ++k) {
            body += "," + std::to_string(gsa * 12 + k);
        }
        feed(body + ",1.0,1.0,1.0");
    }
    feed("GNGSV,1,1,03,10,10,010,20,64,10,010,20,65,10,010,20");
    const auto reports = listener.eventsOf(GPSEvent::SATELLITES);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(used(reports[0].satellites), (std::vector<bool>{true, true, false}));
}

TEST_F(NMEAParserTest, BadLinesAreIgnored) {
    const std::string good = sentence(GGA_MUNICH);
    EXPECT_FALSE(parser.handleLine(good.substr(1)));
    EXPECT_FALSE(parser.handleLine("$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4\r\n"));
    EXPECT_FALSE(parser.handleLine("$" + std::string(GGA_MUNICH) + "*4A\r\n"));
    EXPECT_FALSE(parser.handleLine("\r\n"));
    EXPECT_FALSE(parser.handleLine(std::string("\0\xff\x01$GPGGA\n", 10)));
    EXPECT_FALSE(feed("GPGLL,4916.45,N,12311.12,W,225444,A")) << "a sentence of another type";
    EXPECT_TRUE(listener.events().empty());
}

TEST_F(NMEAParserTest, ASentenceAfterBinaryDataOnItsLineIsRead) {
    // A binary packet (which may hold '$' bytes itself) and then the sentence.
    EXPECT_TRUE(
        parser.handleLine(std::string("$A\xff\x03\x00$\x01\xab", 9) + sentence(GGA_MUNICH)));
    EXPECT_EQ(listener.count(GPSEvent::POSITION), 1u);
    // A sentence followed by stray bytes before its line feed still counts from its start.
    std::string trailing = sentence(GGA_MUNICH);
    trailing.insert(trailing.size() - 2, "\x01$\x02");
    EXPECT_TRUE(parser.handleLine(trailing));
    EXPECT_EQ(listener.count(GPSEvent::POSITION), 2u);
}

TEST_F(NMEAParserTest, OverlongAndMissingFieldsDoNoHarm) {
    const std::string longField(600, '7');
    EXPECT_TRUE(feed("GPGGA," + longField + "," + longField + ",N," + longField + ",E,1,"));
    EXPECT_TRUE(feed("GPRMC,,,,,,,,,"));
    EXPECT_TRUE(feed("GPGSV"));
    EXPECT_TRUE(feed("GPGSV,1"));
    EXPECT_TRUE(feed("GPGSA"));
    EXPECT_TRUE(feed("GPGSV,1,1,3,77"));
    const auto times = listener.eventsOf(GPSEvent::TIME);
    ASSERT_EQ(times.size(), 1u);
    EXPECT_EQ(times[0].time.hour, 77);
}

TEST_F(NMEAParserTest, NothingIsReportedOnceTheSourceStops) {
    running = false;
    EXPECT_TRUE(feed(GGA_MUNICH));
    EXPECT_TRUE(listener.events().empty());
}

}  // namespace
