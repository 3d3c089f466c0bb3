#pragma once

#include <cstdint>
#include <string>

// Highest zoom level of the map. Levels run from 1 (the whole world in one block) to
// MAX_LEVELS_NUM; each level doubles the number of blocks along both axes.
constexpr int MAX_LEVELS_NUM = 25;

// A geographic position in whole degrees and minutes of the absolute values, with a
// hemisphere flag per axis. This is the position type of the whole program: contacts, the
// device, the map centre. A position within 1e-6 degrees of latitude 0 or longitude 0
// means "no known position" (see CoordinateUtils::isValid).
struct WorldCoords {
    std::int32_t latDegrees = 0;     // 0..90
    double latMinutes = 0.0;         // 0 <= m < 60
    std::int32_t lonDegrees = 0;     // 0..180
    double lonMinutes = 0.0;         // 0 <= m < 60
    std::int32_t latitudeType = 0;   // 0 north (positive), 1 south (negative)
    std::int32_t longitudeType = 0;  // 0 east (positive), 1 west (negative)

    bool operator==(const WorldCoords& other) const {
        return latDegrees == other.latDegrees && latMinutes == other.latMinutes &&
               lonDegrees == other.lonDegrees && lonMinutes == other.lonMinutes &&
               latitudeType == other.latitudeType && longitudeType == other.longitudeType;
    }
    bool operator!=(const WorldCoords& other) const { return !(*this == other); }
};

// The same position as signed decimal degrees.
struct DecimalCoords {
    double latitude = 0.0;
    double longitude = 0.0;
};

// A pixel of the projected (Mercator) world map at one level. The origin is the top-left
// corner of the world; x grows eastwards, y southwards.
struct MercatorCoords {
    std::int32_t x = 0;
    std::int32_t y = 0;

    bool operator==(const MercatorCoords& other) const { return x == other.x && y == other.y; }
    bool operator!=(const MercatorCoords& other) const { return !(*this == other); }
};

// Coordinate and tile arithmetic shared by the tile sources, the maps loader, the block
// matrix and the view. Everything is stateless; the operations are static so that any code
// can use them without an object, and the tile sources and the maps loader derive from the
// class to use them unqualified.
//
// Levels: at level L the world is blocks(L) = 2^(L-1) blocks wide and high; a block is a
// square of blockSideSize pixels (256 for every tile source), so the world is
// blocks(L) * blockSideSize pixels wide. Blocks are addressed by (column x, row y) from 0
// at the top-left.
class CoordinateUtils {
public:
    CoordinateUtils() = default;
    virtual ~CoordinateUtils() = default;

    // Blocks along one side of the world at a level: 2^(level-1) for levels 1..25, and 0
    // outside that range.
    static std::int32_t blocksPerSide(int level);

    // Position -> world pixel at a level. A level outside 1..MAX_LEVELS_NUM logs
    // "CoordinateUtils::worldToMercatorProjectionCoords: illegal level value." and leaves
    // point as it was. Results are clamped from above to the world width (a point on the
    // eastern edge is the width itself); there is no lower clamp.
    static void worldToMercatorProjectionCoords(int level, const WorldCoords& position,
                                                MercatorCoords& point, int blockSideSize);
    // World pixel -> position. A level outside 1..MAX_LEVELS_NUM logs
    // "CoordinateUtils::mercatorProjectionToWorldCoords: illegal level value." and leaves
    // position as it was. A hemisphere flag is 0 only for values strictly above 0.
    static void mercatorProjectionToWorldCoords(const MercatorCoords& point, int level,
                                                int blockSideSize, WorldCoords& position);
    // As mercatorProjectionToWorldCoords, except that a point equal to the projection of
    // referencePosition() at that level gives back referencePosition() exactly (no rounding
    // through the projection), so a view centred on it keeps its stored centre.
    static void pointToWorldCoords(const MercatorCoords& point, int level, int blockSideSize,
                                   WorldCoords& position);
    // 56 degrees 10.2014 minutes north, 101 degrees 15.0 minutes west.
    static WorldCoords referencePosition();

    static DecimalCoords toDecimal(const WorldCoords& position);
    static WorldCoords fromDecimal(const DecimalCoords& position);

    // A position is valid when |lat| - 90 < 1e-6, |lon| - 180 < 1e-6 and neither lies
    // within 1e-6 of 0 (0/0 stands for "no position").
    static bool isValid(const DecimalCoords& position);
    static bool isValid(const WorldCoords& position);

    // Whether the position falls in a view of width x height pixels centred on the world
    // pixel centre at the level: left and top edges inclusive, right and bottom exclusive.
    static bool isVisible(const MercatorCoords& centre, int level, int blockSideSize, int width,
                          int height, const WorldCoords& position);

    // World pixel <-> pixel of a width x height view centred on the world pixel centre.
    static void worldToScreen(const MercatorCoords& centre, const MercatorCoords& point,
                              MercatorCoords& screen, int width, int height);
    static void screenToWorld(const MercatorCoords& centre, const MercatorCoords& point,
                              MercatorCoords& world, int width, int height);

    // Flat-earth distance from the differences of the unsigned degree and minute fields
    // (the hemisphere flags are not applied); callers only show it rounded to whole miles
    // or compare it with small numbers.
    static double distanceInMiles(const WorldCoords& a, const WorldCoords& b);
    static double distanceInMeters(const WorldCoords& a, const WorldCoords& b);

    // Wraps block numbers into 0..n-1 on both axes, n = 2^(level-1): a value >= n becomes
    // value mod n, a negative value v becomes n + ((v + 1) rem n) - 1 (so -1 becomes n-1).
    // A level below 1 logs "GoogleMapsLoader::controlBorders: level <= 0." and changes
    // nothing; a level above MAX_LEVELS_NUM logs
    // "GoogleMapsLoader::controlBorders: level > MAX_LEVELS_NUM." and still wraps.
    static void controlBorders(std::int32_t& x, std::int32_t& y, int level);
    // The wrapping of one number into 0..n-1 (n > 0), without any logging.
    static std::int64_t wrapBlockNumber(std::int64_t value, std::int64_t n);

    // The settings form: six items under prefix + "lat.deg" (int), "lat.min" (double),
    // "lon.deg" (int), "lon.min" (double), "latitudeType" (int), "longitudeType" (int).
    // Reading stops at the first item that is missing or unreadable and returns false;
    // position is then only partly filled and the caller falls back to its default.
    static bool readFromSettings(const std::wstring& prefix, WorldCoords& position);
    static void writeToSettings(const std::wstring& prefix, const WorldCoords& position);

    // Constants of the arithmetic (pi is taken as 3.14159265359 throughout).
    static constexpr double DEG_TO_RAD = 0.017453292519944444;
    static constexpr double RAD_TO_DEG = 57.29577951307855;
    static constexpr double ONE_360 = 0.002777777777777778;
    static constexpr double ONE_2PI = 0.15915494309188485;
    static constexpr double HALF_PI = 1.570796326795;
    static constexpr double ONE_60 = 0.016666666666666666;
    static constexpr double EARTH_RADIUS_MILES = 3963.1675996952004;
    static constexpr double EARTH_RADIUS_METERS = 6378100.0;
    static constexpr double VALIDITY_TOLERANCE = 1e-6;
};
