#include "client/contacts/UserInfoCodec.h"

#include "client/contacts/NumberText.h"
#include "client/contacts/Utf16Text.h"
#include "kestra/Lexical.h"

namespace {

constexpr wchar_t WIDE_PAD = L'\x0001';

// Degrees padded with ":" to degreeWidth, then the minutes; the whole cut or padded to
// width - 1 and followed by the hemisphere letter.
std::wstring angleText(std::int32_t degrees, double minutes, std::size_t degreeWidth,
                       std::size_t width, wchar_t letter) {
    std::wstring text = kestra::toText(degrees);
    if (text.size() < degreeWidth) {
        text.append(degreeWidth - text.size(), L':');
    }
    text += numbertext::numberText(minutes);
    text.resize(width - 1, WIDE_PAD);
    text.push_back(letter);
    return text;
}

// Shared reader of both angle lines. Without a ":" the minutes start after degreeWidth
// digits and the degrees are the leading digits divided down to at most maxDegrees.
bool readAngle(const std::wstring& line, std::size_t degreeWidth, std::int64_t maxDegrees,
               std::size_t letterAt, wchar_t positiveLetter, std::int32_t& degreesOut,
               double& minutesOut, std::int32_t& hemisphereOut) {
    if (line.empty() || static_cast<unsigned>(line[0]) < 2) {
        return false;
    }
    std::int64_t degrees = numbertext::leadingInteger(line, 0);
    double minutes = 0.0;
    const std::size_t colon = line.rfind(L':');
    if (colon != std::wstring::npos && colon > 0) {
        minutes = numbertext::leadingNumber(line, colon + 1);
    } else {
        minutes = numbertext::leadingNumber(line, degreeWidth);
        while (degrees > maxDegrees) {
            degrees /= 10;
        }
    }
    if (degrees < 0 || degrees > maxDegrees || minutes < 0.0 || minutes >= 60.0) {
        return false;
    }
    degreesOut = static_cast<std::int32_t>(degrees);
    minutesOut = minutes;
    const bool positive =
        line.size() > letterAt && line.substr(letterAt) == std::wstring(1, positiveLetter);
    hemisphereOut = positive ? 0 : 1;
    return true;
}

}  // namespace

std::string UserInfoCodec::fieldLine(const std::wstring& value, std::size_t width) {
    return utf16text::fit(utf16text::encode(value), width, PAD) + utf16text::unit(LINE_FEED);
}

std::string UserInfoCodec::plainLine(const std::wstring& value) {
    return utf16text::encode(value) + utf16text::unit(LINE_FEED);
}

std::wstring UserInfoCodec::cutAtPad(const std::wstring& line) {
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (static_cast<unsigned>(line[i]) < 2) {
            return line.substr(0, i);
        }
    }
    return line;
}

std::wstring UserInfoCodec::latitudeText(const WorldCoords& position) {
    return angleText(position.latDegrees, position.latMinutes, 2, LATITUDE_WIDTH,
                     position.latitudeType == 0 ? L'N' : L'S');
}

std::wstring UserInfoCodec::longitudeText(const WorldCoords& position) {
    return angleText(position.lonDegrees, position.lonMinutes, 3, LONGITUDE_WIDTH,
                     position.longitudeType == 0 ? L'E' : L'W');
}

std::wstring UserInfoCodec::noPositionText(std::size_t width) {
    return std::wstring(width, WIDE_PAD);
}

std::wstring UserInfoCodec::speedCourseText(double speed, double course) {
    std::wstring text = numbertext::cutToTwoDecimals(numbertext::numberText(speed));
    if (text.size() < 5) {
        text.append(5 - text.size(), L':');
    } else if (text.size() > 5) {
        text.push_back(L':');
    }
    text += numbertext::numberText(course);
    text.resize(SPEED_COURSE_WIDTH, WIDE_PAD);
    return text;
}

bool UserInfoCodec::readLatitude(const std::wstring& line, std::int32_t& degrees, double& minutes,
                                 std::int32_t& hemisphere) {
    return readAngle(line, 2, 99, 8, L'N', degrees, minutes, hemisphere);
}

bool UserInfoCodec::readLongitude(const std::wstring& line, std::int32_t& degrees, double& minutes,
                                  std::int32_t& hemisphere) {
    return readAngle(line, 3, 999, 9, L'E', degrees, minutes, hemisphere);
}

void UserInfoCodec::readSpeedCourse(const std::wstring& line, double& speed, double& course) {
    speed = numbertext::leadingNumberTwoDecimals(line, 0);
    const std::size_t colon = line.rfind(L':');
    course = numbertext::leadingNumber(line, colon != std::wstring::npos ? colon + 1 : 5);
}
