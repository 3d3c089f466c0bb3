#include "client/contacts/UserInfoCodec.h"

#include <gtest/gtest.h>

namespace {

struct Angle {
    std::int32_t degrees = -7;
    double minutes = -7;
    std::int32_t hemisphere = -7;
};

Angle latitude(const std::wstring& line) {
    Angle a;
    EXPECT_TRUE(UserInfoCodec::readLatitude(line, a.degrees, a.minutes, a.hemisphere))
        << line.size();
    return a;
}

Angle longitude(const std::wstring& line) {
    Angle a;
    EXPECT_TRUE(UserInfoCodec::readLongitude(line, a.degrees, a.minutes, a.hemisphere));
    return a;
}

TEST(UserInfoCodecTest, AnglesWithAndWithoutColonsReadBack) {
    WorldCoords p;
    p.latDegrees = 55;
    p.latMinutes = 45.1234;
    p.lonDegrees = 7;
    p.lonMinutes = 5.25;
    p.longitudeType = 1;
    EXPECT_EQ(UserInfoCodec::latitudeText(p), L"5545.123N");
    EXPECT_EQ(UserInfoCodec::longitudeText(p), L"7::5.25\x0001\x0001W");

    Angle a = latitude(L"5545.123N");
    EXPECT_EQ(a.degrees, 55);
    EXPECT_DOUBLE_EQ(a.minutes, 45.123);
    EXPECT_EQ(a.hemisphere, 0);
    a = latitude(L"125\x0001\x0001\x0001\x0001\x0001S");  // 12 degrees 5 minutes
    EXPECT_EQ(a.degrees, 12);
    EXPECT_DOUBLE_EQ(a.minutes, 5);
    EXPECT_EQ(a.hemisphere, 1);
    a = longitude(L"7::5.25\x0001\x0001W");
    EXPECT_EQ(a.degrees, 7);
    EXPECT_DOUBLE_EQ(a.minutes, 5.25);
    EXPECT_EQ(a.hemisphere, 1);
    a = longitude(L"18000.5\x0001\x0001" L"E");
    EXPECT_EQ(a.degrees, 180);
    EXPECT_DOUBLE_EQ(a.minutes, 0.5);
    EXPECT_EQ(a.hemisphere, 0);
    EXPECT_EQ(latitude(L"5545.123").hemisphere, 1) << "south unless it says N";
}

TEST(UserInfoCodecTest, LinesWithoutAPositionLeaveTheOutputAlone) {
    std::int32_t degrees = 3;
    double minutes = 4;
    std::int32_t hemisphere = 0;
    for (const std::wstring& line :
         {UserInfoCodec::noPositionText(9), std::wstring(), std::wstring(L"-5:30N"),
          std::wstring(L"5:75.5\x0001\x0001N"), std::wstring(1, L'\0') + L"545.1N"}) {
        EXPECT_FALSE(UserInfoCodec::readLatitude(line, degrees, minutes, hemisphere));
    }
    EXPECT_EQ(degrees, 3);
    EXPECT_EQ(minutes, 4);
}

TEST(UserInfoCodecTest, SpeedAndCourseStayReadableAtAnySpeed) {
    double speed = -1;
    double course = -1;
    EXPECT_EQ(UserInfoCodec::speedCourseText(12.5, 270), L"12.5:270\x0001\x0001\x0001");
    UserInfoCodec::readSpeedCourse(L"12.5:270", speed, course);
    EXPECT_DOUBLE_EQ(speed, 12.5);
    EXPECT_DOUBLE_EQ(course, 270);

    // The reader keeps two decimals; the writer stores no more, so the course follows at
    // the sixth character as readers expect.
    EXPECT_EQ(UserInfoCodec::speedCourseText(12.349, 90.5), L"12.3490.5\x0001\x0001");
    UserInfoCodec::readSpeedCourse(L"12.3490.5", speed, course);
    EXPECT_DOUBLE_EQ(speed, 12.34);
    EXPECT_DOUBLE_EQ(course, 90.5);
    UserInfoCodec::readSpeedCourse(L"0.29:1", speed, course);
    EXPECT_DOUBLE_EQ(speed, 0.29) << "cut on the digits, not through binary rounding";

    EXPECT_EQ(UserInfoCodec::speedCourseText(1234.5, 45), L"1234.5:45\x0001\x0001");
    UserInfoCodec::readSpeedCourse(L"1234.5:45", speed, course);
    EXPECT_DOUBLE_EQ(speed, 1234.5);
    EXPECT_DOUBLE_EQ(course, 45);

    UserInfoCodec::readSpeedCourse(L"fast:north", speed, course);
    EXPECT_EQ(speed, 0);
    EXPECT_EQ(course, 0);
}

TEST(UserInfoCodecTest, FieldsAreCutOrPaddedByUtf16Units) {
    const std::string line = UserInfoCodec::fieldLine(L"\x00E9t\x00E9", 4);
    EXPECT_EQ(line, std::string("\xE9\0t\0\xE9\0\x01\0\n\0", 10));
    EXPECT_EQ(UserInfoCodec::cutAtPad(std::wstring(L"ab\x0001"
                                                   L"cd")),
              L"ab");
    EXPECT_EQ(UserInfoCodec::cutAtPad(std::wstring(L"ab\0cd", 5)), L"ab")
        << "a hole reads as a pad";
}

}  // namespace
