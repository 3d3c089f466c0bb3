#include "client/gps/NMEAParser.h"

#include <algorithm>
#include <cfloat>
#include <cmath>

#include "client/gps/NMEASentence.h"

namespace {

// The part of text from pos on (at most n characters); "" when text is shorter.
std::string part(const std::string& text, std::size_t pos, std::size_t n = std::string::npos) {
    return pos < text.size() ? text.substr(pos, n) : std::string();
}

float toFloat(double value) {
    return std::fabs(value) <= FLT_MAX ? static_cast<float>(value) : 0.0f;
}

// "ddmm.mmmm" (degreeDigits 2) or "dddmm.mmmm" (degreeDigits 3).
void parseCoordinate(const std::string& field, std::size_t degreeDigits, std::int32_t& degrees,
                     double& minutes) {
    degrees = NMEASentence::toInt(part(field, 0, degreeDigits));
    minutes = NMEASentence::toReal(part(field, degreeDigits));
}

// "hhmmss.sss"
GPSTime parseTime(const std::string& field) {
    GPSTime time;
    time.hour = static_cast<std::uint8_t>(NMEASentence::toInt(part(field, 0, 2)));
    time.minute = static_cast<std::uint8_t>(NMEASentence::toInt(part(field, 2, 2)));
    time.second = toFloat(NMEASentence::toReal(part(field, 4)));
    return time;
}

// "ddmmyy"
GPSDate parseDate(const std::string& field) {
    GPSDate date;
    date.day = static_cast<std::uint8_t>(NMEASentence::toInt(part(field, 0, 2)));
    date.month = static_cast<std::uint8_t>(NMEASentence::toInt(part(field, 2, 2)));
    date.year = NMEASentence::toInt(part(field, 4, 2));
    return date;
}

// Receivers that support several signals per constellation add the signal as a last field
// of GSV (after whole groups of four satellite fields); each signal is a sequence of its own.
std::string sequenceName(const std::string& talker, const std::vector<std::string>& fields) {
    if (fields.size() > 3 && (fields.size() - 3) % 4 == 1) {
        return talker + "/" + fields.back();
    }
    return talker;
}

}  // namespace

NMEAParser::NMEAParser(std::function<bool()> isRunning, std::function<void(unsigned int)> pause)
    : isRunning_(std::move(isRunning)), pause_(std::move(pause)) {}

void NMEAParser::reset() {
    usedCount_ = 0;
    usedPrns_.fill(0);
    usedPrnsFilled_ = 0;
    lastWasGSA_ = false;
    cycle_.clear();
}

bool NMEAParser::handleLine(const std::string& text) {
    const bool afterGSA = lastWasGSA_;
    lastWasGSA_ = false;
    // Receivers that also send binary packets put them right before a sentence, without a
    // line end between: when the line is no sentence from its start, the sentence starts at
    // its last '$'.
    std::string line = text;
    if (!NMEASentence::checksumMatches(line)) {
        const std::size_t start = text.rfind('$');
        if (start == 0 || start == std::string::npos) {
            return false;
        }
        line = text.substr(start);
        if (!NMEASentence::checksumMatches(line)) {
            return false;
        }
    }
    const NMEASentenceType type = NMEASentence::typeOf(line);
    if (type == NMEASentenceType::Other) {
        return false;
    }
    const Fields fields = NMEASentence::fields(line);
    switch (type) {
        case NMEASentenceType::GGA:
            handleGGA(fields);
            break;
        case NMEASentenceType::RMC:
            handleRMC(fields);
            break;
        case NMEASentenceType::GSV:
            handleGSV(NMEASentence::talkerOf(line), fields);
            break;
        case NMEASentenceType::GSA:
            // Consecutive GSA sentences (one per constellation) fill one table.
            if (!afterGSA) {
                usedPrnsFilled_ = 0;
            }
            handleGSA(fields);
            lastWasGSA_ = true;
            break;
        case NMEASentenceType::Other:
            break;
    }
    return true;
}

void NMEAParser::handleGGA(const Fields& fields) {
    cycle_.close();
    WorldCoords position;
    for (std::size_t i = 0; i < fields.size() && i <= 8; ++i) {
        const std::string& field = fields[i];
        if (field.empty() || takePositionField(i, 1, field, position)) {
            continue;
        }
        IGPSListener* l = listener();
        if (i == 0 && l != nullptr) {
            l->onGPSTime(parseTime(field), fixValid_);
        } else if (i == 4) {
            position.longitudeType = field[0] != 'E' ? 1 : 0;
            reportPosition(position, true);
        } else if (i == 6) {
            usedCount_ = std::max(0, NMEASentence::toInt(field));
        } else if (i == 8 && l != nullptr) {
            l->onGPSAltitude(NMEASentence::toReal(field), fixValid_);
        }
    }
}

void NMEAParser::handleRMC(const Fields& fields) {
    WorldCoords position;
    double speed = 0.0;
    for (std::size_t i = 0; i < fields.size() && i <= 8; ++i) {
        const std::string& field = fields[i];
        if (field.empty() || takePositionField(i, 2, field, position)) {
            continue;
        }
        IGPSListener* l = listener();
        if (i == 0 && l != nullptr) {
            l->onGPSTime(parseTime(field), fixValid_);
        } else if (i == 1) {
            fixValid_ = field[0] == 'A';
        } else if (i == 5) {
            position.longitudeType = field[0] != 'E' ? 1 : 0;
            reportPosition(position, fixValid_);
        } else if (i == 6) {
            speed = NMEASentence::toReal(field);
        } else if (i == 7) {
            reportSpeed(speed, NMEASentence::toReal(field));
        } else if (i == 8 && l != nullptr) {
            l->onGPSDate(parseDate(field), true);
        }
    }
}

// The latitude, its hemisphere and the longitude, from field first on. True when field i
// was one of them. (The longitude's hemisphere completes the position; the caller reports.)
bool NMEAParser::takePositionField(std::size_t i, std::size_t first, const std::string& field,
                                   WorldCoords& position) {
    if (i == first) {
        parseCoordinate(field, 2, position.latDegrees, position.latMinutes);
        pauseOnZeroLatitude(position);
    } else if (i == first + 1) {
        position.latitudeType = field[0] != 'N' ? 1 : 0;
    } else if (i == first + 2) {
        parseCoordinate(field, 3, position.lonDegrees, position.lonMinutes);
    } else {
        return false;
    }
    return true;
}

void NMEAParser::handleGSV(const std::string& talker, const Fields& fields) {
    const int messageCount = fields.empty() ? 0 : NMEASentence::toInt(fields[0]);
    const int messageNumber = fields.size() < 2 ? -1 : NMEASentence::toInt(fields[1]);
    const bool last = cycle_.takeMessage(sequenceName(talker, fields), messageCount, messageNumber);
    // Groups of four from field 3 on: PRN, elevation, azimuth, signal-to-noise ratio.
    for (std::size_t i = 3; i + 3 < fields.size(); i += 4) {
        SatelliteInfo satellite;
        satellite.prn = static_cast<std::uint8_t>(NMEASentence::toInt(fields[i]));
        satellite.snr = fields[i + 3].empty() ? 0.0 : NMEASentence::toInt(fields[i + 3]);
        satellite.used = isUsed(satellite.prn);
        cycle_.add(talker, satellite);
    }
    if (last) {
        if (IGPSListener* l = listener()) {
            l->onGPSSatellites(cycle_.satellites(), usedCount_ >= 4);
        }
    }
}

// Fields 2 to 13 are the PRNs of the satellites used; the dilutions of precision and the
// system id that follow are not.
void NMEAParser::handleGSA(const Fields& fields) {
    const std::size_t limit =
        std::min(static_cast<std::size_t>(usedCount_), static_cast<std::size_t>(USED_PRN_CAPACITY));
    for (std::size_t i = 2; i < fields.size() && i <= 13 && usedPrnsFilled_ < limit; ++i) {
        if (!fields[i].empty()) {
            usedPrns_[usedPrnsFilled_++] = NMEASentence::toInt(fields[i]);
        }
    }
}

bool NMEAParser::isUsed(int prn) const {
    const std::size_t n = std::min(static_cast<std::size_t>(usedCount_), usedPrnsFilled_);
    return std::find(usedPrns_.begin(), usedPrns_.begin() + n, prn) != usedPrns_.begin() + n;
}

void NMEAParser::reportPosition(const WorldCoords& position, bool valid) {
    if (!CoordinateUtils::isValid(position)) {
        return;
    }
    if (IGPSListener* l = listener()) {
        l->onGPSPosition(position, valid);
    }
}

void NMEAParser::reportSpeed(double speed, double course) {
    if (speed == 0.0) {
        return;
    }
    if (IGPSListener* l = listener()) {
        GPSSpeed reading;
        reading.speed = speed;
        reading.course = course;
        l->onGPSSpeed(reading, fixValid_);
    }
}

// Receivers without a fix may send zeros; wait a little before reading on.
void NMEAParser::pauseOnZeroLatitude(const WorldCoords& position) {
    if (position.latDegrees == 0 && position.latMinutes == 0.0) {
        pause_(ZERO_LATITUDE_PAUSE_MS);
    }
}
