#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "client/maps/CoordinateUtils.h"

// The text forms of the fields of a contact's ".userinfo" file (see UserInfoFile for the
// layout). A field is its value cut to the field's width or padded up to it with U+0001,
// then one line feed; widths count UTF-16 units.
//
// Positions are kept as degrees and minutes in one line:
//   latitude  (9):  degrees, ":" up to 2 characters, minutes; cut or padded to 8; "N"/"S"
//   longitude (10): degrees, ":" up to 3 characters, minutes; cut or padded to 9; "E"/"W"
// so 55 deg 45.1234 min north is "5545.123N" and 5 deg 30.5 min north "5:30.5" + 2 pads +
// "N". A position that is not known is a line of pads.
// Speed and course (11): the speed, ":" up to 5 characters, the course; cut or padded.
class UserInfoCodec {
public:
    static constexpr char16_t PAD = 0x0001;
    static constexpr char16_t LINE_FEED = 0x000A;
    static constexpr std::size_t LATITUDE_WIDTH = 9;
    static constexpr std::size_t LONGITUDE_WIDTH = 10;
    static constexpr std::size_t SPEED_COURSE_WIDTH = 11;

    // The field as UTF-16LE bytes: value fitted to width, then a line feed.
    static std::string fieldLine(const std::wstring& value, std::size_t width);
    // The value without cutting or padding, then a line feed.
    static std::string plainLine(const std::wstring& value);
    // The text before the first character below U+0002 (a pad, or a NUL of a file hole).
    static std::wstring cutAtPad(const std::wstring& line);

    static std::wstring latitudeText(const WorldCoords& position);
    static std::wstring longitudeText(const WorldCoords& position);
    static std::wstring noPositionText(std::size_t width);
    // The speed is written cut to two decimals (all that a reader keeps); a speed whose text
    // is longer than 5 characters is followed by one ":" so that the course stays readable.
    static std::wstring speedCourseText(double speed, double course);

    // Readers take the whole line as stored (line feed removed, not cut at the pads). They
    // return false when the line holds no position: a pad first, or degrees or minutes out
    // of range. On false the outputs are untouched.
    static bool readLatitude(const std::wstring& line, std::int32_t& degrees, double& minutes,
                             std::int32_t& hemisphere);
    static bool readLongitude(const std::wstring& line, std::int32_t& degrees, double& minutes,
                              std::int32_t& hemisphere);
    // Speed cut (toward zero) to two decimals; the course after the last ":", or from the
    // sixth character on when there is none. Text that is not a number reads as 0.
    static void readSpeedCourse(const std::wstring& line, double& speed, double& course);
};
