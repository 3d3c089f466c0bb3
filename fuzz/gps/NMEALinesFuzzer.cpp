// libFuzzer target: bytes as a serial receiver might send them, cut into reads of varying
// size, through the line buffer and the NMEA parser. Whatever comes in, nothing may crash,
// and what is reported must be sane.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "client/gps/NMEALineBuffer.h"
#include "client/gps/NMEAParser.h"
#include "client/gps/NMEASentence.h"
#include "client/gps/SatelliteCycle.h"

namespace {

void check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

class CheckingListener : public IGPSListener {
public:
    void onGPSPosition(const WorldCoords& position, bool) override {
        check(CoordinateUtils::isValid(position));
        check(position.latitudeType == 0 || position.latitudeType == 1);
        check(position.longitudeType == 0 || position.longitudeType == 1);
    }
    void onGPSSpeed(const GPSSpeed& speed, bool) override { check(speed.speed != 0.0); }
    void onGPSDate(const GPSDate&, bool) override {}
    void onGPSTime(const GPSTime&, bool) override {}
    void onGPSAltitude(double, bool) override {}
    void onGPSSatellites(const SatelliteList& satellites, bool) override {
        check(satellites.size() <= SatelliteCycle::MAX_SATELLITES);
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    // The first byte sets the size of the reads.
    const std::size_t readSize = 1 + data[0] % 64 * 17;
    const std::string bytes(reinterpret_cast<const char*>(data) + 1, size - 1);

    CheckingListener listener;
    unsigned long paused = 0;
    NMEAParser parser([] { return true; }, [&paused](unsigned int ms) { paused += ms; });
    parser.setListener(&listener);
    NMEALineBuffer buffer;
    std::size_t offset = 0;
    while (offset < bytes.size() || buffer.hasCompleteLine()) {
        if (buffer.wantsData() && !buffer.hasCompleteLine() && offset < bytes.size()) {
            const std::string chunk = bytes.substr(offset, readSize);
            offset += chunk.size();
            buffer.append(chunk);
        }
        std::string line;
        if (buffer.takeLine(line)) {
            parser.handleLine(line);
        }
        check(buffer.size() < 2 * NMEALineBuffer::READ_LIMIT + 64);
    }
    check(NMEASentence::countHeaders(bytes) >= 0);
    return 0;
}
