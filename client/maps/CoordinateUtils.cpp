#include "client/maps/CoordinateUtils.h"

#include <boost/lexical_cast.hpp>
#include <cmath>
#include <limits>

#include "kestra/Log.h"
#include "kestra/Settings.h"

using kestra::Log;
using kestra::Settings;

namespace {

bool isLegalLevel(int level) {
    return level >= 1 && level <= MAX_LEVELS_NUM;
}

// The world's width in pixels at a level. Kept in 64 bits: at the two highest levels it
// does not fit a 32-bit integer.
std::int64_t worldSize(int level, int blockSideSize) {
    return static_cast<std::int64_t>(CoordinateUtils::blocksPerSide(level)) * blockSideSize;
}

// Pixels are 32-bit; results beyond that range (the poles, the two highest levels)
// saturate instead of overflowing.
std::int32_t saturate(double value) {
    constexpr double low = std::numeric_limits<std::int32_t>::min();
    constexpr double high = std::numeric_limits<std::int32_t>::max();
    if (std::isnan(value)) {
        return 0;
    }
    if (value <= low) {
        return std::numeric_limits<std::int32_t>::min();
    }
    if (value >= high) {
        return std::numeric_limits<std::int32_t>::max();
    }
    return static_cast<std::int32_t>(value);
}

std::int32_t saturate(std::int64_t value) {
    if (value < std::numeric_limits<std::int32_t>::min()) {
        return std::numeric_limits<std::int32_t>::min();
    }
    if (value > std::numeric_limits<std::int32_t>::max()) {
        return std::numeric_limits<std::int32_t>::max();
    }
    return static_cast<std::int32_t>(value);
}

double distanceInRadians(const WorldCoords& a, const WorldCoords& b) {
    const double dLat =
        ((a.latMinutes - b.latMinutes) * CoordinateUtils::ONE_60 + (a.latDegrees - b.latDegrees)) *
        CoordinateUtils::DEG_TO_RAD;
    const double dLon =
        ((a.lonMinutes - b.lonMinutes) * CoordinateUtils::ONE_60 + (a.lonDegrees - b.lonDegrees)) *
        CoordinateUtils::DEG_TO_RAD;
    return std::sqrt(dLat * dLat + dLon * dLon);
}

}  // namespace

std::int32_t CoordinateUtils::blocksPerSide(int level) {
    if (!isLegalLevel(level)) {
        return 0;
    }
    return static_cast<std::int32_t>(1) << (level - 1);
}

void CoordinateUtils::worldToMercatorProjectionCoords(int level, const WorldCoords& position,
                                                      MercatorCoords& point, int blockSideSize) {
    if (!isLegalLevel(level)) {
        Log::error("CoordinateUtils::worldToMercatorProjectionCoords: illegal level value.");
        return;
    }
    const std::int64_t width = worldSize(level, blockSideSize);
    const double half = static_cast<double>(width / 2);
    const DecimalCoords decimal = toDecimal(position);
    const double s = std::sin(decimal.latitude * DEG_TO_RAD);
    point.x = saturate(std::floor(static_cast<double>(width) * ONE_360 * decimal.longitude + half));
    if (s != 0.0) {
        point.y = saturate(std::floor(half - (static_cast<double>(width) * ONE_2PI) *
                                                 std::log((1.0 + s) / (1.0 - s)) * 0.5));
    } else {
        // Exactly on the equator: the middle row. Such a position is not valid and is never
        // drawn, but the point is still well defined.
        point.y = saturate(half);
    }
    if (point.x > width) {
        point.x = saturate(width);
    }
    if (point.y > width) {
        point.y = saturate(width);
    }
}

void CoordinateUtils::mercatorProjectionToWorldCoords(const MercatorCoords& point, int level,
                                                      int blockSideSize, WorldCoords& position) {
    if (!isLegalLevel(level)) {
        Log::error("CoordinateUtils::mercatorProjectionToWorldCoords: illegal level value.");
        return;
    }
    const double width = static_cast<double>(worldSize(level, blockSideSize));
    const double half = static_cast<double>(worldSize(level, blockSideSize) / 2);
    DecimalCoords decimal;
    decimal.longitude = (point.x - half) / (width * ONE_360);
    decimal.latitude =
        (2.0 * std::atan(std::exp((point.y - half) / -(width * ONE_2PI))) - HALF_PI) * RAD_TO_DEG;
    position = fromDecimal(decimal);
    position.latitudeType = decimal.latitude > 0 ? 0 : 1;
    position.longitudeType = decimal.longitude > 0 ? 0 : 1;
}

WorldCoords CoordinateUtils::referencePosition() {
    WorldCoords reference;
    reference.latDegrees = 56;
    reference.latMinutes = 10.2014;
    reference.lonDegrees = 101;
    reference.lonMinutes = 15.0;
    reference.latitudeType = 0;
    reference.longitudeType = 1;
    return reference;
}

void CoordinateUtils::pointToWorldCoords(const MercatorCoords& point, int level, int blockSideSize,
                                         WorldCoords& position) {
    if (isLegalLevel(level)) {
        MercatorCoords reference;
        worldToMercatorProjectionCoords(level, referencePosition(), reference, blockSideSize);
        if (reference == point) {
            position = referencePosition();
            return;
        }
    }
    mercatorProjectionToWorldCoords(point, level, blockSideSize, position);
}

DecimalCoords CoordinateUtils::toDecimal(const WorldCoords& position) {
    double latDegrees = position.latDegrees;
    double latMinutes = position.latMinutes;
    double lonDegrees = position.lonDegrees;
    double lonMinutes = position.lonMinutes;
    if (position.latitudeType == 1) {
        latDegrees = -latDegrees;
        latMinutes = -latMinutes;
    }
    if (position.longitudeType == 1) {
        lonDegrees = -lonDegrees;
        lonMinutes = -lonMinutes;
    }
    DecimalCoords decimal;
    decimal.latitude = latDegrees + latMinutes * ONE_60;
    decimal.longitude = lonDegrees + lonMinutes * ONE_60;
    return decimal;
}

WorldCoords CoordinateUtils::fromDecimal(const DecimalCoords& position) {
    WorldCoords world;
    world.latitudeType = position.latitude < 0 ? 1 : 0;
    world.longitudeType = position.longitude < 0 ? 1 : 0;
    const double latWhole = std::trunc(position.latitude);
    const double lonWhole = std::trunc(position.longitude);
    world.latDegrees = saturate(std::fabs(latWhole));
    world.lonDegrees = saturate(std::fabs(lonWhole));
    world.latMinutes = std::fabs((position.latitude - latWhole) * 60.0);
    world.lonMinutes = std::fabs((position.longitude - lonWhole) * 60.0);
    return world;
}

bool CoordinateUtils::isValid(const DecimalCoords& position) {
    const double lat = std::fabs(position.latitude);
    const double lon = std::fabs(position.longitude);
    return lat - 90.0 < VALIDITY_TOLERANCE && lon - 180.0 < VALIDITY_TOLERANCE &&
           lat > VALIDITY_TOLERANCE && lon > VALIDITY_TOLERANCE;
}

bool CoordinateUtils::isValid(const WorldCoords& position) {
    return isValid(toDecimal(position));
}

bool CoordinateUtils::isVisible(const MercatorCoords& centre, int level, int blockSideSize,
                                int width, int height, const WorldCoords& position) {
    if (!isLegalLevel(level)) {
        Log::error("CoordinateUtils::worldToMercatorProjectionCoords: illegal level value.");
        return false;
    }
    MercatorCoords p;
    worldToMercatorProjectionCoords(level, position, p, blockSideSize);
    const std::int64_t halfWidth = width / 2;
    const std::int64_t halfHeight = height / 2;
    return static_cast<std::int64_t>(centre.x) - halfWidth <= p.x &&
           p.x < static_cast<std::int64_t>(centre.x) + halfWidth &&
           static_cast<std::int64_t>(centre.y) - halfHeight <= p.y &&
           p.y < static_cast<std::int64_t>(centre.y) + halfHeight;
}

void CoordinateUtils::worldToScreen(const MercatorCoords& centre, const MercatorCoords& point,
                                    MercatorCoords& screen, int width, int height) {
    screen.x = saturate(static_cast<std::int64_t>(width / 2) - centre.x + point.x);
    screen.y = saturate(static_cast<std::int64_t>(point.y) - (centre.y - height / 2));
}

void CoordinateUtils::screenToWorld(const MercatorCoords& centre, const MercatorCoords& point,
                                    MercatorCoords& world, int width, int height) {
    world.x = saturate(static_cast<std::int64_t>(centre.x) - width / 2 + point.x);
    world.y = saturate(static_cast<std::int64_t>(point.y) + (centre.y - height / 2));
}

double CoordinateUtils::distanceInMiles(const WorldCoords& a, const WorldCoords& b) {
    return distanceInRadians(a, b) * EARTH_RADIUS_MILES;
}

double CoordinateUtils::distanceInMeters(const WorldCoords& a, const WorldCoords& b) {
    return distanceInRadians(a, b) * EARTH_RADIUS_METERS;
}

std::int64_t CoordinateUtils::wrapBlockNumber(std::int64_t value, std::int64_t n) {
    if (value >= n) {
        return value % n;
    }
    if (value < 0) {
        return n + ((value + 1) % n) - 1;
    }
    return value;
}

void CoordinateUtils::controlBorders(std::int32_t& x, std::int32_t& y, int level) {
    if (level < 1) {
        Log::error("GoogleMapsLoader::controlBorders: level <= 0.");
        return;
    }
    if (level > MAX_LEVELS_NUM) {
        Log::error("GoogleMapsLoader::controlBorders: level > MAX_LEVELS_NUM.");
    }
    // Beyond 63 levels the count no longer fits; every 32-bit block number is then in range.
    const std::int64_t n = level > 63 ? std::numeric_limits<std::int64_t>::max()
                                      : static_cast<std::int64_t>(1) << (level - 1);
    x = saturate(wrapBlockNumber(x, n));
    y = saturate(wrapBlockNumber(y, n));
}

bool CoordinateUtils::readFromSettings(const std::wstring& prefix, WorldCoords& position) {
    try {
        return Settings::getIntValue(prefix + L"lat.deg", &position.latDegrees) &&
               Settings::getDoubleValue(prefix + L"lat.min", &position.latMinutes) &&
               Settings::getIntValue(prefix + L"lon.deg", &position.lonDegrees) &&
               Settings::getDoubleValue(prefix + L"lon.min", &position.lonMinutes) &&
               Settings::getIntValue(prefix + L"latitudeType", &position.latitudeType) &&
               Settings::getIntValue(prefix + L"longitudeType", &position.longitudeType);
    } catch (const boost::bad_lexical_cast&) {
        return false;  // an item that is not a number counts as unreadable
    }
}

void CoordinateUtils::writeToSettings(const std::wstring& prefix, const WorldCoords& position) {
    Settings::setIntValue(prefix + L"lat.deg", position.latDegrees);
    Settings::setDoubleValue(prefix + L"lat.min", position.latMinutes);
    Settings::setIntValue(prefix + L"lon.deg", position.lonDegrees);
    Settings::setDoubleValue(prefix + L"lon.min", position.lonMinutes);
    Settings::setIntValue(prefix + L"latitudeType", position.latitudeType);
    Settings::setIntValue(prefix + L"longitudeType", position.longitudeType);
}
