#pragma once

#include <string>

// The texts that carry positions: the presence value "latitude;longitude;" and the
// numbers of a published geoloc item, both in signed decimal degrees with 16 significant
// digits. A latitude or longitude of 1000 means "no position".
class PositionText {
public:
    static constexpr double NO_POSITION = 1000.0;

    static std::string formatNumber(double value);
    static std::string format(double latitude, double longitude);

    // Parses a presence value. True only for two finite numbers that are neither the
    // no-position value, nor zero, nor outside the earth's ranges; anything else
    // (a missing ";", text, huge numbers) gives false and leaves the outputs alone.
    static bool parse(const std::string& value, double* latitude, double* longitude);
    // Parses one number of a geoloc item with the same checks for its range.
    static bool parseCoordinate(const std::string& text, double limit, double* value);

    // The user name of a position node ("home/<domain>/<user>"): empty when the node does
    // not start with the prefix or the rest is not a decimal number.
    static std::string nodeUser(const std::string& node, const std::string& prefix);
};
