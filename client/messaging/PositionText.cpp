#include "client/messaging/PositionText.h"

#include <cmath>

#include "kestra/Lexical.h"

std::string PositionText::formatNumber(double value) {
    return kestra::toNarrowText(value);
}

std::string PositionText::format(double latitude, double longitude) {
    return formatNumber(latitude) + ";" + formatNumber(longitude) + ";";
}

bool PositionText::parseCoordinate(const std::string& text, double limit, double* value) {
    if (text.empty())
        return false;
    double number;
    try {
        number = kestra::fromText<double>(text);
    } catch (const std::exception&) {
        return false;
    }
    if (!std::isfinite(number) || number == NO_POSITION || std::fabs(number) > limit)
        return false;
    *value = number;
    return true;
}

bool PositionText::parse(const std::string& value, double* latitude, double* longitude) {
    const size_t first = value.find(';');
    if (first == std::string::npos)
        return false;
    const size_t second = value.find(';', first + 1);
    if (second == std::string::npos)
        return false;
    double lat, lon;
    if (!parseCoordinate(value.substr(0, first), 90.0, &lat) ||
        !parseCoordinate(value.substr(first + 1, second - first - 1), 180.0, &lon)) {
        return false;
    }
    if (lat == 0.0 || lon == 0.0)
        return false;
    *latitude = lat;
    *longitude = lon;
    return true;
}

std::string PositionText::nodeUser(const std::string& node, const std::string& prefix) {
    if (prefix.empty() || node.compare(0, prefix.size(), prefix) != 0)
        return std::string();
    const std::string user = node.substr(prefix.size());
    if (user.empty())
        return std::string();
    for (char c : user) {
        if (c < '0' || c > '9')
            return std::string();
    }
    return user;
}
