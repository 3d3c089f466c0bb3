#include <gtest/gtest.h>

#include <climits>

#include "NmeaText.h"
#include "client/gps/NMEASentence.h"

using gpstesting::sentence;

namespace {

TEST(NMEASentenceTest, ChecksumMustMatchInUppercaseHexadecimal) {
    const std::string body = "GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,";
    const std::string good = sentence(body);
    EXPECT_TRUE(NMEASentence::checksumMatches(good));
    EXPECT_EQ(gpstesting::checksumOf(body), "47");

    EXPECT_FALSE(NMEASentence::checksumMatches("$" + body + "*4A\r\n"));
    EXPECT_FALSE(NMEASentence::checksumMatches(good.substr(1))) << "no leading '$'";
    EXPECT_FALSE(NMEASentence::checksumMatches("$" + body + "\r\n")) << "no '*'";
    EXPECT_FALSE(NMEASentence::checksumMatches("$" + body + "*4")) << "one digit only";

    // 0x2A written as "2a" would give 2 * 16 + ('a' - 55) = 74 by the digit rule; lowercase
    // letters never count as hexadecimal digits.
    std::string lower;
    for (int n = 0; n < 1000 && lower.empty(); ++n) {
        const std::string candidate = "GPRMC,00000" + std::to_string(n) + ",A";
        const std::string sum = gpstesting::checksumOf(candidate);
        if (sum[1] >= 'A') {
            lower = candidate;
        }
    }
    ASSERT_FALSE(lower.empty());
    std::string text = sentence(lower);
    ASSERT_TRUE(NMEASentence::checksumMatches(text));
    text[text.find('*') + 2] = static_cast<char>(std::tolower(text[text.find('*') + 2]));
    EXPECT_FALSE(NMEASentence::checksumMatches(text));
}

TEST(NMEASentenceTest, FieldsKeepTheirPlaceAndEndAtReservedCharacters) {
    const auto fields = NMEASentence::fields("$GPGSV,3,1,,12,a(b|c,,x\\y,last*7F\r\n");
    const std::vector<std::string> expected = {"3", "1", "", "12", "a", "", "x", "last"};
    EXPECT_EQ(fields, expected);
    EXPECT_TRUE(NMEASentence::fields("$GPGGA*00\r\n").empty());
    EXPECT_EQ(NMEASentence::fields("$GPGGA,,,*00").size(), 3u);
    // Fields after the checksum are not fields.
    EXPECT_EQ(NMEASentence::fields("$GPGGA,1*00,2,3\r\n").size(), 1u);
}

TEST(NMEASentenceTest, SentenceTypesComeFromEveryConstellationTalker) {
    for (const char* talker : {"GP", "GN", "GL", "GA", "GB", "BD"}) {
        const std::string t(talker);
        EXPECT_EQ(NMEASentence::typeOf("$" + t + "GGA,"), NMEASentenceType::GGA) << t;
        EXPECT_EQ(NMEASentence::typeOf("$" + t + "RMC,"), NMEASentenceType::RMC) << t;
        EXPECT_EQ(NMEASentence::typeOf("$" + t + "GSV,"), NMEASentenceType::GSV) << t;
        EXPECT_EQ(NMEASentence::typeOf("$" + t + "GSA,"), NMEASentenceType::GSA) << t;
    }
    EXPECT_EQ(NMEASentence::typeOf("$GPGLL,"), NMEASentenceType::Other);
    EXPECT_EQ(NMEASentence::typeOf("$QZGSV,"), NMEASentenceType::Other);
    EXPECT_EQ(NMEASentence::typeOf("$PGRMZ,"), NMEASentenceType::Other);
    EXPECT_EQ(NMEASentence::typeOf("GPGGA,x"), NMEASentenceType::Other);
    EXPECT_EQ(NMEASentence::typeOf("$GPG"), NMEASentenceType::Other);
}

TEST(NMEASentenceTest, HeadersAreCountedWithoutOverlap) {
    EXPECT_EQ(NMEASentence::countHeaders("$GPGGA,1*00\r\n$GNRMC,2\r\n$GLGSV,$BDGSA,"), 4);
    EXPECT_EQ(NMEASentence::countHeaders("$GPGLL,1\r\n$GPVTG,\r\n$QZGSV,1\r\n$PMTK,1"), 0);
    EXPECT_EQ(NMEASentence::countHeaders("$GPGGA$GPGGA,$GPGGA"), 1) << "header needs its comma";
    EXPECT_EQ(NMEASentence::countHeaders(std::string("\0$GPRMC,\0$GPGSA,", 17)), 2);
    EXPECT_EQ(NMEASentence::countHeaders(""), 0);
}

TEST(NMEASentenceTest, NumbersReadTheirLeadingDigitsOnly) {
    EXPECT_EQ(NMEASentence::toInt("12abc"), 12);
    EXPECT_EQ(NMEASentence::toInt(" -7"), -7);
    EXPECT_EQ(NMEASentence::toInt("x1"), 0);
    EXPECT_EQ(NMEASentence::toInt(""), 0);
    EXPECT_EQ(NMEASentence::toInt("99999999999999999999"), INT_MAX);
    EXPECT_EQ(NMEASentence::toInt("-99999999999999999999"), INT_MIN);
    EXPECT_DOUBLE_EQ(NMEASentence::toReal("47.0873"), 47.0873);
    EXPECT_DOUBLE_EQ(NMEASentence::toReal("+1.5e2x"), 150.0);
    EXPECT_DOUBLE_EQ(NMEASentence::toReal("-0.25"), -0.25);
    EXPECT_EQ(NMEASentence::toReal(".,"), 0.0);
    EXPECT_EQ(NMEASentence::toReal("nan"), 0.0) << "not a number is no reading";
    EXPECT_EQ(NMEASentence::toReal("inf"), 0.0);
    EXPECT_EQ(NMEASentence::toReal("1e999"), 0.0);
}

}  // namespace
