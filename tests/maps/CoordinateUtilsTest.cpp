#include "client/maps/CoordinateUtils.h"

#include <gtest/gtest.h>

#include <climits>

#include "LogCapture.h"
#include "TestSupport.h"
#include "kestra/Settings.h"

namespace {

WorldCoords fromDegrees(double latitude, double longitude) {
    DecimalCoords decimal;
    decimal.latitude = latitude;
    decimal.longitude = longitude;
    return CoordinateUtils::fromDecimal(decimal);
}

TEST(CoordinateUtilsTest, LevelOneWorldIsOneBlockWithEdgesAtZeroAndWidth) {
    EXPECT_EQ(CoordinateUtils::blocksPerSide(1), 1);
    EXPECT_EQ(CoordinateUtils::blocksPerSide(3), 4);
    EXPECT_EQ(CoordinateUtils::blocksPerSide(25), 16777216);
    EXPECT_EQ(CoordinateUtils::blocksPerSide(0), 0);

    MercatorCoords p;
    CoordinateUtils::worldToMercatorProjectionCoords(1, fromDegrees(10, 0), p, 256);
    EXPECT_EQ(p.x, 128);
    CoordinateUtils::worldToMercatorProjectionCoords(1, fromDegrees(10, -180), p, 256);
    EXPECT_EQ(p.x, 0);
    CoordinateUtils::worldToMercatorProjectionCoords(1, fromDegrees(10, 180), p, 256);
    EXPECT_EQ(p.x, 256);  // the eastern edge equals the width; the clamp leaves it
    EXPECT_LT(p.y, 128);  // northern hemisphere lies above the middle row
    CoordinateUtils::worldToMercatorProjectionCoords(1, fromDegrees(-10, 180), p, 256);
    EXPECT_GT(p.y, 128);
}

TEST(CoordinateUtilsTest, IllegalLevelsLogAndLeaveTheOutputAlone) {
    LogCapture log;
    for (int level : {0, 26, -3}) {
        MercatorCoords p;
        p.x = 77;
        p.y = 88;
        CoordinateUtils::worldToMercatorProjectionCoords(level, fromDegrees(50, 30), p, 256);
        EXPECT_EQ(p.x, 77);
        EXPECT_EQ(p.y, 88);

        WorldCoords w = fromDegrees(1, 2);
        const WorldCoords before = w;
        CoordinateUtils::mercatorProjectionToWorldCoords(p, level, 256, w);
        EXPECT_EQ(w, before);
    }
    EXPECT_EQ(log.count("[ERROR] CoordinateUtils::worldToMercatorProjectionCoords: illegal level "
                        "value."),
              3u);
    EXPECT_EQ(log.count("[ERROR] CoordinateUtils::mercatorProjectionToWorldCoords: illegal level "
                        "value."),
              3u);
}

TEST(CoordinateUtilsTest, ProjectionRoundTripsWithinAPixel) {
    const WorldCoords positions[] = {fromDegrees(55.7558, 37.6173), fromDegrees(-33.8688, 151.2093),
                                     fromDegrees(40.7128, -74.0060), fromDegrees(-22.9, -43.2)};
    for (const WorldCoords& position : positions) {
        MercatorCoords p;
        CoordinateUtils::worldToMercatorProjectionCoords(18, position, p, 256);
        WorldCoords back;
        CoordinateUtils::mercatorProjectionToWorldCoords(p, 18, 256, back);
        const DecimalCoords a = CoordinateUtils::toDecimal(position);
        const DecimalCoords b = CoordinateUtils::toDecimal(back);
        // One pixel at level 18 is about 1e-5 degrees.
        EXPECT_NEAR(a.latitude, b.latitude, 2e-5);
        EXPECT_NEAR(a.longitude, b.longitude, 2e-5);
        EXPECT_EQ(back.latitudeType, position.latitudeType);
        EXPECT_EQ(back.longitudeType, position.longitudeType);
    }
}

TEST(CoordinateUtilsTest, ReferencePointGivesTheReferencePositionExactly) {
    const WorldCoords reference = CoordinateUtils::referencePosition();
    EXPECT_EQ(reference.latDegrees, 56);
    EXPECT_DOUBLE_EQ(reference.latMinutes, 10.2014);
    EXPECT_EQ(reference.lonDegrees, 101);
    EXPECT_DOUBLE_EQ(reference.lonMinutes, 15.0);
    EXPECT_EQ(reference.latitudeType, 0);
    EXPECT_EQ(reference.longitudeType, 1);
    for (int level = 1; level <= MAX_LEVELS_NUM; ++level) {
        MercatorCoords p;
        CoordinateUtils::worldToMercatorProjectionCoords(level, reference, p, 256);
        WorldCoords w;
        CoordinateUtils::pointToWorldCoords(p, level, 256, w);
        EXPECT_EQ(w, reference) << "level " << level;
    }
    // A neighbouring pixel goes through the projection and does not reproduce the minutes.
    MercatorCoords p;
    CoordinateUtils::worldToMercatorProjectionCoords(10, reference, p, 256);
    ++p.x;
    WorldCoords w;
    CoordinateUtils::pointToWorldCoords(p, 10, 256, w);
    EXPECT_NE(w, reference);
    EXPECT_EQ(w.latDegrees, 56);
    EXPECT_EQ(w.lonDegrees, 101);
}

TEST(CoordinateUtilsTest, DecimalConversionsCarryTheHemisphere) {
    const WorldCoords south = fromDegrees(-33.5, -70.25);
    EXPECT_EQ(south.latitudeType, 1);
    EXPECT_EQ(south.longitudeType, 1);
    EXPECT_EQ(south.latDegrees, 33);
    EXPECT_NEAR(south.latMinutes, 30.0, 1e-9);
    EXPECT_EQ(south.lonDegrees, 70);
    EXPECT_NEAR(south.lonMinutes, 15.0, 1e-9);
    const DecimalCoords back = CoordinateUtils::toDecimal(south);
    EXPECT_NEAR(back.latitude, -33.5, 1e-12);
    EXPECT_NEAR(back.longitude, -70.25, 1e-12);

    // The inverse projection sets a flag to 0 only for values strictly above 0.
    MercatorCoords middle;
    middle.x = 128;
    middle.y = 128;
    WorldCoords w;
    CoordinateUtils::mercatorProjectionToWorldCoords(middle, 1, 256, w);
    EXPECT_EQ(w.latitudeType, 1);
    EXPECT_EQ(w.longitudeType, 1);
    EXPECT_EQ(w.latDegrees, 0);
    EXPECT_EQ(w.lonDegrees, 0);
}

TEST(CoordinateUtilsTest, ValidityNearZeroAndNinety) {
    EXPECT_FALSE(CoordinateUtils::isValid(DecimalCoords{0.0000001, 30}));
    EXPECT_FALSE(CoordinateUtils::isValid(DecimalCoords{30, -0.0000001}));
    EXPECT_FALSE(CoordinateUtils::isValid(DecimalCoords{0, 0}));
    EXPECT_TRUE(CoordinateUtils::isValid(DecimalCoords{90.0000005, 30}));
    EXPECT_FALSE(CoordinateUtils::isValid(DecimalCoords{90.1, 30}));
    EXPECT_TRUE(CoordinateUtils::isValid(DecimalCoords{-45, -180.0000005}));
    EXPECT_FALSE(CoordinateUtils::isValid(DecimalCoords{-45, 180.01}));
    EXPECT_TRUE(CoordinateUtils::isValid(fromDegrees(-0.001, 0.001)));
    EXPECT_FALSE(CoordinateUtils::isValid(WorldCoords()));
}

TEST(CoordinateUtilsTest, PolesAndHighestLevelsSaturateInsteadOfOverflowing) {
    MercatorCoords p;
    CoordinateUtils::worldToMercatorProjectionCoords(1, fromDegrees(90, 10), p, 256);
    EXPECT_EQ(p.y, INT_MIN);  // the pole is infinitely far north; no lower clamp
    CoordinateUtils::worldToMercatorProjectionCoords(1, fromDegrees(-90, 10), p, 256);
    EXPECT_EQ(p.y, 256);  // clamped from above
    CoordinateUtils::worldToMercatorProjectionCoords(25, fromDegrees(-60, 179.9), p, 256);
    EXPECT_EQ(p.x, INT_MAX);
    EXPECT_EQ(p.y, INT_MAX);
    CoordinateUtils::worldToMercatorProjectionCoords(23, fromDegrees(-60, 179.9), p, 256);
    EXPECT_GT(p.x, (1 << 30) - (1 << 22));
    EXPECT_LE(p.x, 1 << 30);
}

TEST(CoordinateUtilsTest, VisibilityIncludesLeftAndTopEdgesOnly) {
    const WorldCoords position = fromDegrees(48.8566, 2.3522);
    MercatorCoords p;
    CoordinateUtils::worldToMercatorProjectionCoords(12, position, p, 256);
    MercatorCoords centre;
    // Position on the left edge of a 100 x 60 view: visible.
    centre.x = p.x + 50;
    centre.y = p.y;
    EXPECT_TRUE(CoordinateUtils::isVisible(centre, 12, 256, 100, 60, position));
    // On the right edge: not visible.
    centre.x = p.x - 50;
    EXPECT_FALSE(CoordinateUtils::isVisible(centre, 12, 256, 100, 60, position));
    centre.x = p.x - 49;
    EXPECT_TRUE(CoordinateUtils::isVisible(centre, 12, 256, 100, 60, position));
    // Top edge in, bottom edge out.
    centre.x = p.x;
    centre.y = p.y + 30;
    EXPECT_TRUE(CoordinateUtils::isVisible(centre, 12, 256, 100, 60, position));
    centre.y = p.y - 30;
    EXPECT_FALSE(CoordinateUtils::isVisible(centre, 12, 256, 100, 60, position));
    LogCapture log;
    EXPECT_FALSE(CoordinateUtils::isVisible(p, 0, 256, 100, 60, position));
    EXPECT_TRUE(log.contains("illegal level value."));
}

TEST(CoordinateUtilsTest, ScreenOffsetsAreInverse) {
    MercatorCoords centre;
    centre.x = 1000;
    centre.y = 2000;
    MercatorCoords point;
    point.x = 990;
    point.y = 2015;
    MercatorCoords screen;
    CoordinateUtils::worldToScreen(centre, point, screen, 241, 101);
    EXPECT_EQ(screen.x, 120 - 10);
    EXPECT_EQ(screen.y, 50 + 15);
    MercatorCoords world;
    CoordinateUtils::screenToWorld(centre, screen, world, 241, 101);
    EXPECT_EQ(world, point);
}

TEST(CoordinateUtilsTest, BlockNumbersWrapOnBothAxes) {
    std::int32_t x = -1;
    std::int32_t y = 4;
    CoordinateUtils::controlBorders(x, y, 3);
    EXPECT_EQ(x, 3);
    EXPECT_EQ(y, 0);
    x = -5;
    y = 9;
    CoordinateUtils::controlBorders(x, y, 3);
    EXPECT_EQ(x, 3);
    EXPECT_EQ(y, 1);
    x = -4;
    y = 2;
    CoordinateUtils::controlBorders(x, y, 3);
    EXPECT_EQ(x, 0);
    EXPECT_EQ(y, 2);

    LogCapture log;
    x = -1;
    y = 7;
    CoordinateUtils::controlBorders(x, y, 0);
    EXPECT_EQ(x, -1);
    EXPECT_EQ(y, 7);
    EXPECT_TRUE(log.contains("[ERROR] GoogleMapsLoader::controlBorders: level <= 0."));
    CoordinateUtils::controlBorders(x, y, 26);
    EXPECT_EQ(x, (1 << 25) - 1);
    EXPECT_EQ(y, 7);
    EXPECT_TRUE(log.contains("[ERROR] GoogleMapsLoader::controlBorders: level > MAX_LEVELS_NUM."));
    x = INT_MIN;
    y = INT_MAX;
    CoordinateUtils::controlBorders(x, y, 90);  // no overflow at absurd levels
    EXPECT_EQ(y, INT_MAX);
}

TEST(CoordinateUtilsTest, OneDegreeOfLatitudeIs69Miles) {
    const WorldCoords a = fromDegrees(10, 20);
    const WorldCoords b = fromDegrees(11, 20);
    EXPECT_NEAR(CoordinateUtils::distanceInMiles(a, b), 69.17, 0.005);
    EXPECT_NEAR(CoordinateUtils::distanceInMiles(b, a), 69.17, 0.005);
    EXPECT_NEAR(CoordinateUtils::distanceInMeters(a, b), 111318.8, 0.5);
    EXPECT_DOUBLE_EQ(CoordinateUtils::distanceInMiles(a, a), 0.0);
}

TEST(CoordinateUtilsTest, SettingsFormRoundTripsAndStopsAtTheFirstBadItem) {
    testsupport::TempDir dir;
    kestra::Settings::startup(dir.wstr() + L"/settings.cfg");
    const WorldCoords position = fromDegrees(-12.345678, 98.7654321);
    CoordinateUtils::writeToSettings(L"userLastViewCoord", position);
    EXPECT_TRUE(kestra::Settings::getStringValue(L"userLastViewCoordlat.deg", nullptr));
    kestra::Settings::shutdown();

    // Read back from the file, as at the next start.
    kestra::Settings::startup(dir.wstr() + L"/settings.cfg");
    WorldCoords back;
    ASSERT_TRUE(CoordinateUtils::readFromSettings(L"userLastViewCoord", back));
    EXPECT_EQ(back.latDegrees, position.latDegrees);
    EXPECT_NEAR(back.latMinutes, position.latMinutes, 1e-12);
    EXPECT_EQ(back.lonDegrees, position.lonDegrees);
    EXPECT_NEAR(back.lonMinutes, position.lonMinutes, 1e-12);
    EXPECT_EQ(back.latitudeType, 1);
    EXPECT_EQ(back.longitudeType, 0);

    WorldCoords missing;
    EXPECT_FALSE(CoordinateUtils::readFromSettings(L"nothing", missing));
    kestra::Settings::setStringValue(L"userLastViewCoordlon.min", L"east");
    EXPECT_FALSE(CoordinateUtils::readFromSettings(L"userLastViewCoord", back));
    kestra::Settings::shutdown();
}

}  // namespace
