#include <gtest/gtest.h>

#include "client/messaging/PositionText.h"

TEST(PositionText, WritesSixteenSignificantDigitsAndDropsTrailingZeros) {
    EXPECT_EQ(PositionText::format(55.75, 37.61), "55.75;37.61;");
    EXPECT_EQ(PositionText::format(-33.865143, 151.2099), "-33.865143;151.2099;");
    EXPECT_EQ(PositionText::formatNumber(1.0 / 3.0), "0.3333333333333333");
    EXPECT_EQ(PositionText::formatNumber(52.0), "52");
}

TEST(PositionText, ReadsWhatItWrites) {
    double lat = 0, lon = 0;
    ASSERT_TRUE(PositionText::parse(PositionText::format(-33.865143, 151.2099), &lat, &lon));
    EXPECT_DOUBLE_EQ(lat, -33.865143);
    EXPECT_DOUBLE_EQ(lon, 151.2099);
}

TEST(PositionText, RefusesMalformedPresenceValuesWithoutTouchingTheOutputs) {
    for (const char* bad :
         {"abc;1;", "1;", "1;2", "1000;1000;", "1000;20;", "0;0;", "10;0;", "0;10;", "1e400;1;",
          "nan;1;", "91;10;", "10;181;", "99999999999999999999;1;", ";;", "", "12.5;x;", " 1;2;"}) {
        double lat = 7, lon = 8;
        EXPECT_FALSE(PositionText::parse(bad, &lat, &lon)) << bad;
        EXPECT_EQ(lat, 7) << bad;
        EXPECT_EQ(lon, 8) << bad;
    }
    double lat = 0, lon = 0;
    EXPECT_TRUE(PositionText::parse("-90;180;extra", &lat, &lon));
}

TEST(PositionText, NodeUserIsTheNumericRestAfterThePrefix) {
    EXPECT_EQ(PositionText::nodeUser("home/localhost/1001", "home/localhost/"), "1001");
    EXPECT_EQ(PositionText::nodeUser("home/localhost/10a1", "home/localhost/"), "");
    EXPECT_EQ(PositionText::nodeUser("home/localhost/", "home/localhost/"), "");
    EXPECT_EQ(PositionText::nodeUser("home/example.org/1001", "home/localhost/"), "");
    EXPECT_EQ(PositionText::nodeUser("other/1001", "home/localhost/"), "");
}
