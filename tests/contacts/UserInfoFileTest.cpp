// Byte-level tests of the ".userinfo" file. The expected layout is written out here from the
// file's definition (offset, width per field), not taken from the code.
#include <gtest/gtest.h>

#include "ContactsFixture.h"
#include "client/contacts/LumoraContact.h"
#include "kestra/Exceptions.h"

using testsupport::readFile;
using testsupport::writeFile;

namespace {

struct Row {
    const char* name;
    std::size_t offset;
    std::size_t width;
};

const Row LAYOUT[] = {
    {"jid", 0, 49},         {"nick", 100, 49},   {"avatar", 200, 1},     {"first name", 204, 29},
    {"last name", 264, 29}, {"e-mail", 324, 49}, {"telephone", 424, 19}, {"day", 464, 2},
    {"month", 470, 2},      {"year", 476, 4},    {"gpsValue", 490, 10},  {"latitude", 512, 9},
    {"longitude", 532, 10}, {"speed", 554, 11},  {"altitude", 578, 9},   {"kind", 598, 1},
};

WorldCoords position(int latDeg, double latMin, int latType, int lonDeg, double lonMin,
                     int lonType) {
    WorldCoords p;
    p.latDegrees = latDeg;
    p.latMinutes = latMin;
    p.latitudeType = latType;
    p.lonDegrees = lonDeg;
    p.lonMinutes = lonMin;
    p.longitudeType = lonType;
    return p;
}

class UserInfoFileTest : public ContactsFixture {
protected:
    std::string bytesOf(const std::wstring& jid) const { return readFile(infoFileOf(jid)); }
    static std::string at(const std::string& bytes, const Row& row) {
        return bytes.substr(row.offset, 2 * (row.width + 1));
    }
    static const Row& row(const std::string& name) {
        for (const Row& r : LAYOUT) {
            if (name == r.name) {
                return r;
            }
        }
        throw std::out_of_range(name);
    }
};

TEST_F(UserInfoFileTest, NewRecordMatchesTheLayoutFieldByField) {
    LumoraContact contact(L"123@localhost", L"Nick", L"Anna", L"Petrova", L"anna@example.org", 1,
                          3.5, 12.5, 270, 150.25, false);
    contact.setPosition(position(55, 45.1234, 0, 37, 36.5, 0));
    contact.saveContactsInfo();
    const std::string bytes = bytesOf(L"123@localhost");

    const std::pair<const char*, std::u16string> expected[] = {
        {"jid", u"123@localhost"},
        {"nick", u"Nick"},
        {"avatar", u""},
        {"first name", u"Anna"},
        {"last name", u"Petrova"},
        {"e-mail", u"anna@example.org"},
        {"telephone", u""},
        {"day", u""},
        {"month", u""},
        {"year", u""},
        {"gpsValue", u"3.5"},
        {"latitude", u"5545.123N"},
        {"longitude",
         u"37:36.5\x0001\x0001"
         u"E"},
        {"speed", u"12.5:270"},
        {"altitude", u"150.25"},
        {"kind", u"0"},
    };
    for (const auto& [name, value] : expected) {
        EXPECT_EQ(at(bytes, row(name)), paddedLine(value, row(name).width)) << name;
    }
    EXPECT_EQ(bytes.substr(486, 4), utf16le(u"1\n")) << "gender: one character, not padded";
    EXPECT_EQ(bytes.substr(602), utf16le(u"\x0001")) << "an empty about text";
}

TEST_F(UserInfoFileTest, FiveDegreesThirtyAndAHalfNorthSurvivesSaveAndLoad) {
    LumoraContact contact(L"5@localhost", L"", L"", L"", L"", 2, 0, 0, 0, 0, false);
    contact.setPosition(position(5, 30.5, 0, 101, 15.0, 1));
    contact.saveContactsInfo();
    const std::string bytes = bytesOf(L"5@localhost");
    EXPECT_EQ(at(bytes, row("latitude")), utf16le(u"5:30.5\x0001\x0001N\n"));
    EXPECT_EQ(at(bytes, row("longitude")), utf16le(u"10115\x0001\x0001\x0001\x0001W\n"));

    LumoraContact::ContactMap map;
    LumoraContact::loadContactsListInfo(map);
    ASSERT_EQ(map.count(L"5@localhost"), 1u);
    const LumoraContact& loaded = *map[L"5@localhost"];
    EXPECT_TRUE(loaded.hasPosition());
    EXPECT_EQ(loaded.getPosition(), position(5, 30.5, 0, 101, 15.0, 1));
}

TEST_F(UserInfoFileTest, LongJidsAreCutToTheFieldButHashedWhole) {
    const std::wstring exact = std::wstring(39, L'a') + L"@localhost";  // 49 characters
    LumoraContact(exact, L"", L"", L"", L"", 2, 0, 0, 0, 0, false).saveContactsInfo();
    EXPECT_EQ(at(bytesOf(exact), row("jid")), utf16le(std::u16string(39, u'a') + u"@localhost\n"));

    const std::wstring longer = std::wstring(45, L'b') + L"@example.org";
    LumoraContact(longer, L"", L"", L"", L"", 2, 0, 0, 0, 0, false).saveContactsInfo();
    EXPECT_EQ(at(bytesOf(longer), row("jid")), utf16le(std::u16string(45, u'b') + u"@exa\n"));

    // A character beyond the BMP takes two units and is never cut in half.
    const std::wstring wide = std::wstring(48, L'c') + L"\U0001F600@x";
    LumoraContact(wide, L"", L"", L"", L"", 2, 0, 0, 0, 0, false).saveContactsInfo();
    EXPECT_EQ(at(bytesOf(wide), row("jid")), paddedLine(std::u16string(48, u'c'), 49));
}

TEST_F(UserInfoFileTest, ASecondSaveLeavesTheSeparatelyWrittenFieldsAlone) {
    LumoraContact contact(L"7@localhost", L"Old", L"", L"", L"", 0, 0, 0, 0, 0, false);
    contact.saveContactsInfo();
    contact.setTelephone(L"+7 900 000");
    contact.setBirthday(5, 11, 1980);
    contact.setAbout(L"Hello, I am here.");
    contact.setAvatarFlag();
    // A fresh record of the same person (as the roster makes one) knows none of them.
    LumoraContact fresh(L"7@localhost", L"New", L"", L"", L"", 0, 0, 0, 0, 0, false);
    fresh.saveContactsInfo();

    const std::string bytes = bytesOf(L"7@localhost");
    EXPECT_EQ(at(bytes, row("nick")), paddedLine(u"New", 49));
    EXPECT_EQ(at(bytes, row("avatar")), paddedLine(u"1", 1));
    EXPECT_EQ(at(bytes, row("telephone")), paddedLine(u"+7 900 000", 19));
    EXPECT_EQ(at(bytes, row("day")), paddedLine(u"5", 2));
    EXPECT_EQ(at(bytes, row("month")), paddedLine(u"11", 2));
    EXPECT_EQ(at(bytes, row("year")), paddedLine(u"1980", 4));
    EXPECT_EQ(bytes.substr(602), utf16le(u"Hello, I am here.\x0001"));
}

TEST_F(UserInfoFileTest, ShortAndGarbledFilesLoadWhatTheyHoldAndASaveRepairsThem) {
    LumoraContact full(L"9@localhost", L"Nine", L"Nina", L"", L"", 1, 0, 0, 0, 0, false);
    full.setPosition(position(48, 51.4, 0, 2, 21.05, 0));
    full.saveContactsInfo();
    full.setAbout(L"kept");
    std::string bytes = bytesOf(L"9@localhost");
    // Garbage in every number field and the position lines; the about text stays.
    for (const char* name : {"gpsValue", "latitude", "longitude", "speed", "altitude"}) {
        const Row& r = row(name);
        bytes.replace(r.offset, 2 * r.width, utf16le(std::u16string(r.width, u'x')));
    }
    writeFile(infoFileOf(L"9@localhost"), bytes);

    LumoraContact::ContactMap map;
    LumoraContact::loadContactsListInfo(map);
    ASSERT_EQ(map.count(L"9@localhost"), 1u);
    const LumoraContact& garbled = *map[L"9@localhost"];
    EXPECT_EQ(garbled.getNick(), L"Nine");
    EXPECT_FALSE(garbled.hasPosition());
    EXPECT_EQ(garbled.getGpsValue(), 0.0);
    EXPECT_EQ(garbled.getSpeed(), 0.0);
    EXPECT_EQ(garbled.getAltitude(), 0.0);

    // Cut the file in the middle of the e-mail line: the head still loads as a contact.
    writeFile(infoFileOf(L"9@localhost"), bytes.substr(0, 350));
    LumoraContact::loadContactsListInfo(map);
    ASSERT_EQ(map.count(L"9@localhost"), 1u);
    EXPECT_EQ(map[L"9@localhost"]->getFirstName(), L"Nina");
    EXPECT_EQ(map[L"9@localhost"]->getGender(), 2) << "an unreadable gender is unknown";

    // Saving it writes every line at its offset again.
    map[L"9@localhost"]->saveContactsInfo();
    const std::string repaired = bytesOf(L"9@localhost");
    EXPECT_EQ(at(repaired, row("telephone")), paddedLine(u"", 19));
    EXPECT_EQ(at(repaired, row("kind")), paddedLine(u"0", 1));
    EXPECT_EQ(repaired.substr(602), utf16le(u"\x0001"));
}

TEST_F(UserInfoFileTest, FieldsWrittenBeforeTheFirstSaveSurviveIt) {
    LumoraContact contact(L"11@localhost", L"", L"", L"", L"", 2, 0, 0, 0, 0, false);
    contact.setTelephone(L"555");
    contact.saveContactsInfo();
    const std::string bytes = bytesOf(L"11@localhost");
    EXPECT_EQ(at(bytes, row("telephone")), paddedLine(u"555", 19));
    EXPECT_EQ(at(bytes, row("jid")), paddedLine(u"11@localhost", 49));
    EXPECT_EQ(at(bytes, row("avatar")), paddedLine(u"", 1));
}

}  // namespace
