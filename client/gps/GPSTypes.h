#pragma once

#include <cstdint>
#include <vector>

// The readings a GPS source hands to its listener besides the position (a WorldCoords).
// They are passed by reference and valid only during the call.

// Speed over ground in knots and course in degrees, both as the receiver gave them.
struct GPSSpeed {
    double speed = 0.0;
    double course = 0.0;
};

// A UTC date. From NMEA sentences the year is the sentence's two-digit number (9 for
// 2009); from the position service it is the full year.
struct GPSDate {
    std::int32_t year = 0;
    std::uint8_t month = 0;
    std::uint8_t day = 0;
};

// A UTC time of day; the seconds keep the fraction the receiver sent.
struct GPSTime {
    std::uint8_t hour = 0;
    std::uint8_t minute = 0;
    float second = 0.0f;
};

// One satellite in view.
struct SatelliteInfo {
    std::uint8_t prn = 0;
    double snr = 0.0;   // signal-to-noise ratio, 0 when the receiver gives none
    bool used = false;  // among the satellites used for the fix
};

// Satellites in the order in which the receiver listed them.
using SatelliteList = std::vector<SatelliteInfo>;
