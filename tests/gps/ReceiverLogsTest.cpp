// Every recorded receiver log goes through the real serial source over a pseudo-terminal;
// each position it reports must agree with gpsd's own decoding of the same sentence (the
// TPV reports of the .chk file beside the log) to the precision of the sentence.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <memory>
#include <regex>
#include <sstream>

#include "NmeaText.h"
#include "PtyReceiver.h"
#include "RecordingClock.h"
#include "RecordingGPSListener.h"
#include "TestSupport.h"
#include "client/gps/COMGPSManager.h"
#include "client/gps/NMEASentence.h"
#include "kestra/Log.h"
#include "kestra/TextCodec.h"

using gpstesting::GPSEvent;

namespace {

constexpr int WAIT_MS = 120000;  // only so that a broken test cannot hang

// Fixed at build time: the test list is made from the folder before any environment is set.
std::filesystem::path logFolder() {
    return LUMORA_NMEA_LOG_FOLDER;
}

std::vector<std::string> logNames() {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(logFolder())) {
        if (entry.path().extension() == ".log") {
            names.push_back(entry.path().stem().string());
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

// Milliseconds since midnight (gpsd moves old dates by 1024 weeks; the time of day stays).
long dayMs(int hour, int minute, double second) {
    return std::lround((hour * 3600 + minute * 60) * 1000.0 + second * 1000.0);
}

std::vector<std::string> split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::istringstream in(text);
    for (std::string part; std::getline(in, part, separator);) {
        parts.push_back(part);
    }
    return parts;
}

// "ddmm.mmmm" (degreeDigits 2) or "dddmm.mmmm" (3) with its hemisphere letter, in degrees.
double decode(const std::string& field, std::size_t degreeDigits, const std::string& hemisphere) {
    const double value =
        std::stod(field.substr(0, degreeDigits)) + std::stod(field.substr(degreeDigits)) / 60.0;
    return hemisphere == "S" || hemisphere == "W" ? -value : value;
}

std::size_t decimals(const std::string& field) {
    const std::size_t dot = field.find('.');
    return dot == std::string::npos ? 0 : field.size() - dot - 1;
}

// A position sentence of the log (GGA or RMC of a talker the source reads), decoded here on
// its own, with gpsd's decoding of it when gpsd reported one.
struct Candidate {
    std::string positionText;  // the latitude, longitude and hemisphere fields
    long timeMs = -1;
    double latitude = 0.0;
    double longitude = 0.0;
    double tolerance = 0.0;  // half a unit of the sentence's last digit of minutes
    bool decodedByGpsd = false;
    double gpsdLatitude = 0.0;
    double gpsdLongitude = 0.0;
};

// The position fields of a GGA, RMC, GLL or GNS line of any talker ("" when it has none),
// and whether it is one the serial source reads.
std::string positionText(const std::vector<std::string>& f, bool& readBySource) {
    static const std::regex talkers("^\\$(GP|GN|GL|GA|GB|BD)$");
    const std::string type = f[0].size() == 6 ? f[0].substr(3) : "";
    const std::size_t lat = type == "GGA" || type == "GNS" ? 2
                            : type == "RMC"                ? 3
                            : type == "GLL"                ? 1
                                                           : 0;
    readBySource = (type == "GGA" || type == "RMC") && std::regex_match(f[0].substr(0, 3), talkers);
    if (lat == 0 || f.size() <= lat + 3 || f[lat].size() < 3 || f[lat + 2].size() < 4) {
        return std::string();
    }
    return f[lat] + "," + f[lat + 1] + "," + f[lat + 2] + "," + f[lat + 3];
}

// Reads the .chk file: the log's sentences in order, each batch followed by gpsd's reports.
// A TPV report carries the position of the last position sentence before it; every GGA or
// RMC of that batch with the very same position text is decoded as that TPV.
// The sentence as a candidate, false when it is damaged (then the source reports nothing
// sensible from it either).
bool makeCandidate(const std::vector<std::string>& f, const std::string& text, Candidate& c) {
    const std::size_t latIndex = f[0].substr(3) == "GGA" ? 2 : 3;
    c.positionText = text;
    try {
        c.timeMs = dayMs(std::stoi(f[1].substr(0, 2)), std::stoi(f[1].substr(2, 2)),
                         std::stod(f[1].substr(4)));
        c.latitude = decode(f[latIndex], 2, f[latIndex + 1]);
        c.longitude = decode(f[latIndex + 2], 3, f[latIndex + 3]);
    } catch (const std::exception&) {
        return false;
    }
    const std::size_t d = std::min(decimals(f[latIndex]), decimals(f[latIndex + 2]));
    c.tolerance = 0.5 * std::pow(10.0, -static_cast<double>(d)) / 60.0 + 1e-9;
    return true;
}

// A TPV report with a position: gpsd's decoding of the batch's sentences that carry the
// same position text as the last position sentence before it.
void takeReport(const std::string& line, const std::string& lastPosition,
                const std::vector<std::size_t>& batch, std::vector<Candidate>& candidates) {
    static const std::regex lat("\"lat\":(-?[0-9.]+)");
    static const std::regex lon("\"lon\":(-?[0-9.]+)");
    std::smatch a, o;
    if (!std::regex_search(line, a, lat) || !std::regex_search(line, o, lon)) {
        return;
    }
    for (std::size_t i : batch) {
        if (candidates[i].positionText == lastPosition) {
            candidates[i].decodedByGpsd = true;
            candidates[i].gpsdLatitude = std::stod(a[1]);
            candidates[i].gpsdLongitude = std::stod(o[1]);
        }
    }
}

std::vector<Candidate> candidatesWithGpsd(const std::string& chk) {
    std::vector<Candidate> candidates;
    std::vector<std::size_t> batch;
    std::string lastPosition;
    std::istringstream in(chk);
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("{\"class\":\"TPV\"", 0) == 0) {
            takeReport(line, lastPosition, batch, candidates);
            batch.clear();
            continue;
        }
        const std::size_t star = line.find('*');
        if (line.empty() || line[0] != '$' || star == std::string::npos) {
            continue;
        }
        const auto f = split(line.substr(0, star), ',');
        bool readBySource = false;
        const std::string text = positionText(f, readBySource);
        if (text.empty()) {
            continue;
        }
        lastPosition = text;
        Candidate c;
        if (readBySource && f[1].size() >= 6 && makeCandidate(f, text, c)) {
            batch.push_back(candidates.size());
            candidates.push_back(c);
        }
    }
    return candidates;
}

double signedDegrees(std::int32_t degrees, double minutes, std::int32_t type) {
    const double value = degrees + minutes / 60.0;
    return type == 1 ? -value : value;
}

// The receiver's output without the log's own comment lines.
std::string receiverOutput(const std::string& log) {
    std::string out;
    std::istringstream in(log);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line[0] == '#') {
            continue;
        }
        out += line + "\n";
    }
    return out;
}

// How many positions the receiver's output holds: GGA and RMC sentences of the talkers the
// source reads, with a matching checksum and a position other than 0/0.
int positionsIn(const std::string& output) {
    static const std::regex header("^\\$(GP|GN|GL|GA|GB|BD)(GGA|RMC),");
    int count = 0;
    std::istringstream in(output);
    for (std::string line; std::getline(in, line);) {
        const std::size_t start = line.rfind('$');
        const std::size_t star = line.find('*', start == std::string::npos ? 0 : start);
        if (start == std::string::npos || star == std::string::npos || star + 2 >= line.size()) {
            continue;
        }
        const std::string body = line.substr(start + 1, star - start - 1);
        if (gpstesting::checksumOf(body) != line.substr(star + 1, 2) ||
            !std::regex_search(line.substr(start), header)) {
            continue;
        }
        const auto f = split(body, ',');
        const std::size_t lat = f[0].substr(2) == "GGA" ? 2 : 3;
        if (f.size() <= lat + 3 || f[lat].size() < 3 || f[lat + 2].size() < 4 ||
            f[lat + 1].empty() || f[lat + 3].empty()) {
            continue;
        }
        try {
            const double a = decode(f[lat], 2, f[lat + 1]);
            const double o = decode(f[lat + 2], 3, f[lat + 3]);
            count += std::fabs(a) > 1e-6 && std::fabs(o) > 1e-6 && std::fabs(a) <= 90 &&
                     std::fabs(o) <= 180;
        } catch (const std::exception&) {
        }
    }
    return count;
}

// After the log: a position no log holds, to know that everything was read.
const std::string END_MARK =
    "\r\n" + gpstesting::sentence("GPGGA,235959,1111.1111,N,02222.2222,E,1,04,1.0,1.0,M,,M,,");

bool isEndMark(const GPSEvent& e) {
    return e.kind == GPSEvent::POSITION && e.position.latDegrees == 11 &&
           e.position.lonDegrees == 22 && std::fabs(e.position.latMinutes - 11.1111) < 1e-9;
}

class ReceiverLogsTest : public ::testing::TestWithParam<std::string> {
protected:
    void SetUp() override {
        kestra::Log::open((dir.path() / "lumora.log").wstring(), kestra::LOG_INFO, 10000000);
    }
    void TearDown() override { kestra::Log::close(); }

    // Plays the log into the serial source; the events up to the end mark.
    std::vector<GPSEvent> play(const std::string& output) {
        gpstesting::PtyReceiver receiver;
        COMGPSManager manager(clock);
        manager.setPortName(kestra::utf8ToWide(receiver.path()));
        manager.setGPSListener(&listener);
        manager.startGPSDevice();
        EXPECT_TRUE(receiver.write(output + END_MARK, WAIT_MS));
        const bool ended = listener.waitFor(
            [](const std::vector<GPSEvent>& events) {
                return std::any_of(events.begin(), events.end(), isEndMark);
            },
            WAIT_MS);
        EXPECT_TRUE(ended) << "the reader did not get to the end of the log";
        receiver.unplug();
        manager.stopGPSDevice();
        EXPECT_FALSE(manager.isGPSDeviceStarted());
        auto events = listener.events();
        events.erase(std::find_if(events.begin(), events.end(), isEndMark), events.end());
        return events;
    }

    testsupport::TempDir dir;
    gpstesting::RecordingClock clock;
    gpstesting::RecordingGPSListener listener;
};

TEST_P(ReceiverLogsTest, PositionsAgreeWithGpsd) {
    const std::string log = testsupport::readFile(logFolder() / (GetParam() + ".log"));
    const std::vector<Candidate> candidates =
        candidatesWithGpsd(testsupport::readFile(logFolder() / (GetParam() + ".log.chk")));
    const std::string output = receiverOutput(log);
    const std::vector<GPSEvent> events = play(output);

    int reported = 0, compared = 0;
    std::size_t next = 0;  // positions come in the order of their sentences
    for (std::size_t i = 0; i < events.size(); ++i) {
        if (events[i].kind != GPSEvent::POSITION) {
            continue;
        }
        ++reported;
        const WorldCoords& p = events[i].position;
        const double lat = signedDegrees(p.latDegrees, p.latMinutes, p.latitudeType);
        const double lon = signedDegrees(p.lonDegrees, p.lonMinutes, p.longitudeType);
        // The time reported just before a position comes from the same sentence.
        long ms = -1;
        if (i > 0 && events[i - 1].kind == GPSEvent::TIME) {
            const GPSTime& t = events[i - 1].time;
            ms = dayMs(t.hour, t.minute, t.second);
        }
        const auto sentence = std::find_if(candidates.begin() + static_cast<long>(next),
                                           candidates.end(), [&](const Candidate& c) {
                                               return (ms < 0 || c.timeMs == ms) &&
                                                      std::fabs(c.latitude - lat) <= c.tolerance &&
                                                      std::fabs(c.longitude - lon) <= c.tolerance;
                                           });
        ASSERT_NE(sentence, candidates.end())
            << "position " << lat << ", " << lon << " (report " << reported
            << ") is not the next position sentence of the log";
        next = static_cast<std::size_t>(sentence - candidates.begin()) + 1;
        if (!sentence->decodedByGpsd) {
            continue;  // gpsd took no position from this sentence (no fix, for example)
        }
        ++compared;
        EXPECT_NEAR(lat, sentence->gpsdLatitude, sentence->tolerance) << sentence->positionText;
        EXPECT_NEAR(lon, sentence->gpsdLongitude, sentence->tolerance) << sentence->positionText;
    }
    EXPECT_EQ(reported, positionsIn(output)) << "every position of the log, and only those";
    std::cout << GetParam() << ": " << reported << " positions reported, " << compared
              << " of them compared with gpsd" << std::endl;
}

std::string testName(const ::testing::TestParamInfo<std::string>& info) {
    std::string name = info.param;
    for (char& c : name) {
        if (!std::isalnum(static_cast<unsigned char>(c))) {
            c = '_';
        }
    }
    return name;
}

INSTANTIATE_TEST_SUITE_P(Logs, ReceiverLogsTest, ::testing::ValuesIn(logNames()), testName);

}  // namespace
