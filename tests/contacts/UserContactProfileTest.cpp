#include "client/contacts/UserContactProfile.h"

#include <gtest/gtest.h>

#include "ContactsFixture.h"
#include "kestra/Settings.h"
#include "kestra/TextCodec.h"

using kestra::Settings;
using testsupport::readFile;

namespace {

class RecordingListener : public IUserContactProfileListener {
public:
    void onUserPositionChanged(const WorldCoords& position) override {
        positions.push_back(position);
    }
    void onUserJidChanged(const std::wstring& jid) override { jids.push_back(jid); }
    void onUserStatusChanged(int oldStatus, int newStatus) override {
        statuses.emplace_back(oldStatus, newStatus);
    }
    std::vector<WorldCoords> positions;
    std::vector<std::wstring> jids;
    std::vector<std::pair<int, int>> statuses;
};

class UserContactProfileTest : public ContactsFixture {
protected:
    void SetUp() override {
        ContactsFixture::SetUp();
        Settings::startup((dir.path() / "settings.cfg").wstring());
    }
    void TearDown() override {
        Settings::shutdown();
        ContactsFixture::TearDown();
    }
    static int intSetting(const wchar_t* key) { return Settings::getIntValue(key, -99); }
};

TEST_F(UserContactProfileTest, FirstStartHasNoIdentityAndHidesThePosition) {
    UserContactProfile profile;
    EXPECT_FALSE(profile.hasUserId());
    EXPECT_EQ(profile.getStatus(), LumoraContact::STATUS_OFFLINE);
    EXPECT_EQ(profile.getVisibility(), UserContactProfile::INVISIBLE);
    EXPECT_EQ(intSetting(L"user.posState"), 2);
    profile.saveContactsInfo();
    EXPECT_TRUE(std::filesystem::is_empty(contactsDir())) << "nothing to save without a JID";

    profile.setTelephone(L"+1 555 0100");
    profile.setAbout(L"about me");
    EXPECT_EQ(profile.readTelephone(), L"+1 555 0100") << "kept in memory";
    EXPECT_EQ(profile.readAbout(), L"about me");
    EXPECT_TRUE(std::filesystem::is_empty(contactsDir())) << "and only there";

    profile.setVisibility(UserContactProfile::VISIBLE_FOR_FRIENDS);
    EXPECT_EQ(intSetting(L"user.posState"), 1);
}

TEST_F(UserContactProfileTest, TheJidIsTrimmedStoredAndAnnounced) {
    UserContactProfile profile;
    RecordingListener listener;
    profile.addListener(&listener);
    profile.addListener(&listener);  // once is enough
    profile.setJidAndNotify(L" \t123@localhost \n");
    EXPECT_EQ(profile.getJid(), L"123@localhost");
    EXPECT_EQ(profile.getGid(), L"123");
    EXPECT_EQ(Settings::getStringValue(L"user.lumoraid"), L"123@localhost");
    ASSERT_EQ(listener.jids.size(), 1u);
    EXPECT_EQ(listener.jids[0], L"123@localhost");

    Settings::setStringValue(L"user.password", L"old");
    Settings::setStringValue(L"user.newpassword", L"pending");
    Settings::setStringValue(L"user.newemail", L"new@example.org");
    profile.setNewUserJid(L"456@localhost");
    EXPECT_EQ(profile.getJid(), L"456@localhost");
    EXPECT_EQ(Settings::getStringValue(L"user.password"), L"");
    EXPECT_EQ(Settings::getStringValue(L"user.newpassword"), L"");
    EXPECT_EQ(Settings::getStringValue(L"user.newemail"), L"");
    EXPECT_EQ(listener.jids.size(), 2u);
}

TEST_F(UserContactProfileTest, PasswordChangeAndCardFlags) {
    UserContactProfile profile;
    profile.setPassword(L"first");
    EXPECT_EQ(Settings::getStringValue(L"user.password"), L"first");
    Settings::setStringValue(L"user.newpassword", L"second");
    Settings::setIntValue(L"user.emailpassflag", 1);
    profile.applyNewPassword();
    EXPECT_EQ(profile.getPassword(), L"second");
    EXPECT_EQ(Settings::getStringValue(L"user.password"), L"second");
    EXPECT_EQ(intSetting(L"user.emailpassflag"), 0);

    for (const wchar_t* key : {L"user.infoflag", L"user.avatarpathflag", L"user.aboutflag"}) {
        Settings::setIntValue(key, 1);
    }
    profile.clearChangeFlags();
    for (const wchar_t* key : {L"user.infoflag", L"user.avatarpathflag", L"user.aboutflag"}) {
        EXPECT_EQ(intSetting(key), 0) << kestra::wideToUtf8(key);
    }
}

TEST_F(UserContactProfileTest, SavedProfileComesBackAsTheOwnRecordAtTheNextStart) {
    {
        UserContactProfile profile;
        profile.setJidFromText(L"900@localhost");
        profile.setPassword(L"pw");
        profile.setNick(L"Me");
        profile.saveContactsInfo();
        profile.setTelephone(L"42");
        profile.setBirthday(1, 2, 1990);
        profile.setAbout(L"Just me.");
    }
    EXPECT_EQ(readFile(infoFileOf(L"900@localhost")).substr(598, 4), utf16le(u"2\n"));

    LumoraContact::ContactMap map;
    const LumoraContact::ContactList own = LumoraContact::loadContactsListInfo(map);
    EXPECT_TRUE(map.empty());
    ASSERT_EQ(own.size(), 1u);

    UserContactProfile next;  // as the program starts again
    EXPECT_EQ(next.getJid(), L"900@localhost");
    EXPECT_EQ(next.getPassword(), L"pw");
    EXPECT_EQ(next.getNick(), L"Me");
    EXPECT_EQ(next.readTelephone(), L"42");
    EXPECT_EQ(next.readAbout(), L"Just me.");
    int d = 0, m = 0, y = 0;
    EXPECT_TRUE(next.readBirthday(d, m, y));
    EXPECT_EQ(y, 1990);

    // The file changes behind the profile's back; taking the record over reads it again.
    LumoraContact(L"900@localhost", L"", L"", L"", L"", 2, 0, 0, 0, 0, false).setTelephone(L"77");
    EXPECT_EQ(next.readTelephone(), L"42");
    next.takeOverContact(*own[0]);
    EXPECT_EQ(next.readTelephone(), L"77");
    EXPECT_EQ(next.getNick(), L"Me");
}

TEST_F(UserContactProfileTest, ListenersHearStatusAndPositionUntilRemoved) {
    UserContactProfile profile;
    RecordingListener listener;
    profile.addListener(&listener);
    profile.setStatus(LumoraContact::STATUS_CONNECTING);
    profile.setStatus(LumoraContact::STATUS_ONLINE);
    const WorldCoords here = CoordinateUtils::fromDecimal(DecimalCoords{52.52, 13.40});
    profile.setPosition(here);
    profile.removeListener(&listener);
    profile.setStatus(LumoraContact::STATUS_OFFLINE);

    ASSERT_EQ(listener.statuses.size(), 2u);
    EXPECT_EQ(listener.statuses[0], std::make_pair(7, 8));
    EXPECT_EQ(listener.statuses[1], std::make_pair(8, 0));
    ASSERT_EQ(listener.positions.size(), 1u);
    EXPECT_EQ(listener.positions[0], here);
    EXPECT_TRUE(profile.hasPosition());
}

}  // namespace
