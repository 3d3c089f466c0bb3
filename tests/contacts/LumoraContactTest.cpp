#include <gtest/gtest.h>

#include "ContactsFixture.h"
#include "client/contacts/LumoraContact.h"
#include "kestra/Exceptions.h"

using testsupport::readFile;
using testsupport::writeFile;

namespace {

std::shared_ptr<LumoraContact> saved(const std::wstring& jid, const std::wstring& nick = L"") {
    auto contact = std::make_shared<LumoraContact>(jid, nick, L"", L"", L"", 2, 0, 0, 0, 0, false);
    contact->saveContactsInfo();
    return contact;
}

void setKind(const std::filesystem::path& file, char16_t kind) {
    std::string bytes = readFile(file);
    bytes.replace(598, 2, utf16le(std::u16string(1, kind)));
    writeFile(file, bytes);
}

using LumoraContactTest = ContactsFixture;

TEST_F(LumoraContactTest, DisplayIdentifierAndFolderFollowTheJid) {
    LumoraContact own(L"123@localhost", L"", L"", L"", L"", 2, 0, 0, 0, 0, false);
    EXPECT_EQ(own.getGid(), L"123");
    EXPECT_EQ(own.isForeign(), 0);
    // MD5 of the UTF-16LE bytes of the JID, computed outside the program.
    EXPECT_EQ(own.getHashContactName(), L"d121c8ac5ddf4d5edf232778a267fad3");
    EXPECT_EQ(own.getFolder(), contactsDir().wstring() + L"/d121c8ac5ddf4d5edf232778a267fad3");
    EXPECT_EQ(own.getInfoFilePath(), own.getFolder() + L"/.userinfo");
    EXPECT_EQ(own.getAvatarPath(), own.getFolder() + L"/avatar.img");
    EXPECT_EQ(own.getStatus(), LumoraContact::STATUS_OFFLINE);
    EXPECT_TRUE(own.hasInfo());

    own.setJid(L"Alice@Example.org");
    EXPECT_EQ(own.getGid(), L"Alice@Example.org");
    EXPECT_EQ(own.isForeign(), 1);
    EXPECT_EQ(own.getHashContactName(), L"fc0077824676f2d215bae66a4540b005");
    EXPECT_EQ(LumoraContact::hashContactName(L"alice@example.org"),
              L"dcbca4b86c1cf027e439c30effd71656")
        << "letter case makes a different folder";

    LumoraContact blank;
    EXPECT_EQ(blank.getGender(), LumoraContact::GENDER_UNKNOWN);
    EXPECT_EQ(blank.getSearchValue(), -1);
    EXPECT_EQ(blank.getPosition().latDegrees, -1);
    EXPECT_FALSE(blank.hasInfo());
    blank.saveContactsInfo();  // nothing identifies it: nothing is written
    EXPECT_TRUE(std::filesystem::is_empty(contactsDir()));
}

TEST_F(LumoraContactTest, LoadSortsRecordsByKindAndSkipsWhatItCannotRead) {
    saved(L"1@localhost", L"one");
    saved(L"2@localhost");
    saved(L"3@localhost");
    saved(L"4@localhost");
    setKind(infoFileOf(L"2@localhost"), u'1');
    setKind(infoFileOf(L"3@localhost"), u'2');
    setKind(infoFileOf(L"4@localhost"), u'7');
    std::filesystem::create_directories(contactsDir() / "0123456789abcdef0123456789abcdef");
    writeFile(contactsDir() / "stray-file", "not a folder");

    LumoraContact::ContactMap map;
    map[L"old@localhost"] = std::make_shared<LumoraContact>();
    const LumoraContact::ContactList own = LumoraContact::loadContactsListInfo(map);

    ASSERT_EQ(map.size(), 1u);
    EXPECT_EQ(map.begin()->first, L"1@localhost");
    EXPECT_EQ(map.begin()->second->getNick(), L"one");
    ASSERT_EQ(own.size(), 1u);
    EXPECT_EQ(own[0]->getJid(), L"3@localhost");
    EXPECT_TRUE(
        logged("[ERROR] LumoraContact::loadContactsListInfo, "
               "0123456789abcdef0123456789abcdef contact error"));
    EXPECT_TRUE(logged("unknown record kind 7"));
}

TEST_F(LumoraContactTest, AContactWithAShortenedJidKeepsItsFolder) {
    const std::wstring jid = std::wstring(50, L'z') + L"@localhost";
    saved(jid);
    LumoraContact::ContactMap map;
    LumoraContact::loadContactsListInfo(map);
    ASSERT_EQ(map.size(), 1u);
    const LumoraContact& loaded = *map.begin()->second;
    EXPECT_EQ(loaded.getJid(), jid.substr(0, 49));
    EXPECT_EQ(loaded.getFolder(), folderOf(jid).wstring()) << "history stays reachable";
}

TEST_F(LumoraContactTest, SingleFieldsAreWrittenAndReadInPlace) {
    auto contact = saved(L"21@localhost");
    contact->setTelephone(L"12345678901234567890123");
    EXPECT_EQ(contact->readTelephone(), L"1234567890123456789") << "cut to 19";
    contact->setBirthday(9, 0, 2001);
    int d = -1, m = -1, y = -1;
    EXPECT_FALSE(contact->readBirthday(d, m, y)) << "a birthday with a 0 is stored empty";
    EXPECT_EQ(d, 0);
    contact->setBirthday(31, 12, 1999);
    EXPECT_TRUE(contact->readBirthday(d, m, y));
    EXPECT_EQ(d * 10000 + m * 100 + y % 100, 311299);

    const std::wstring longAbout(500, L'\x044F');  // longer than any block the reader takes
    contact->setAbout(longAbout);
    EXPECT_EQ(contact->readAbout(), longAbout);
    contact->setAbout(L"short");
    EXPECT_EQ(contact->readAbout(), L"short") << "the old, longer text does not show";

    const LumoraContact::AdditionalInfo info = contact->loadAdditionalInfo();
    EXPECT_EQ(info.telephone, L"1234567890123456789");
    EXPECT_EQ(info.year, 1999);
    EXPECT_EQ(info.about, L"short");

    contact->setAvatarFlag();
    LumoraContact reloaded(L"21@localhost", L"", L"", L"", L"", 2, 0, 0, 0, 0, false);
    reloaded.loadAllInfo();
    EXPECT_TRUE(reloaded.hasAvatar());
    contact->clearAvatarFlag();
    reloaded.loadAllInfo();
    EXPECT_FALSE(reloaded.hasAvatar());
}

TEST_F(LumoraContactTest, MissingFilesAndFoldersFailWithTheirMessages) {
    LumoraContact never(L"31@localhost", L"", L"", L"", L"", 2, 0, 0, 0, 0, false);
    try {
        never.loadAllInfo();
        FAIL() << "no file, no load";
    } catch (const kestra::IOStreamException& e) {
        EXPECT_EQ(e.place(), "LumoraContact::loadAllInfo");
        EXPECT_EQ(e.condition(), "inputContact_file.fail()");
    }
    EXPECT_THROW(never.readTelephone(), kestra::IOStreamException);
    EXPECT_TRUE(logged("[ERROR] LumoraContact::readInfoFromFileOffSetOpenClose, inFile.fail()"));

    // A file where the contact's folder should be.
    writeFile(folderOf(L"31@localhost"), "blocks the folder");
    try {
        never.saveContactsInfo();
        FAIL() << "the folder cannot be made";
    } catch (const kestra::IOStreamException& e) {
        EXPECT_EQ(e.condition(),
                  "0 == CreateDirectory((LumoraContact::contactsFolder + "
                  "hashContactName).c_str(),NULL)");
    }

    writeFile(dir.path() / "Blocked", "a file, not a folder");
    try {
        LumoraContact::setContactsFolder((dir.path() / "Blocked").wstring());
        FAIL() << "the contacts folder cannot be made";
    } catch (const kestra::IOStreamException& e) {
        EXPECT_EQ(e.place(), "LumoraContact::setContactsFolder");
    }
    EXPECT_TRUE(
        logged("[ERROR] LumoraContact::setContactsFolder, 0 == "
               "CreateDirectory(LumoraContact::contactsFolder.c_str(),NULL)"));
}

TEST_F(LumoraContactTest, SavingTheListSavesTheRestWhenOneFailsAndEmptiesTheMap) {
    LumoraContact::ContactMap map;
    for (const wchar_t* jid : {L"41@localhost", L"42@localhost", L"43@localhost"}) {
        map[jid] = std::make_shared<LumoraContact>(jid, L"n", L"", L"", L"", 2, 0, 0, 0, 0, false);
    }
    writeFile(folderOf(L"42@localhost"), "blocks the folder");
    EXPECT_THROW(LumoraContact::saveContactsListInfo(map), kestra::IOStreamException);
    EXPECT_TRUE(map.empty());
    EXPECT_TRUE(std::filesystem::exists(infoFileOf(L"41@localhost")));
    EXPECT_TRUE(std::filesystem::exists(infoFileOf(L"43@localhost")));
}

TEST_F(LumoraContactTest, RemovingAContactMarksItsFileAndKeepsItOutOfTheNextLoad) {
    LumoraContact::ContactMap map;
    map[L"51@localhost"] = saved(L"51@localhost");
    std::weak_ptr<LumoraContact> watch = map[L"51@localhost"];
    map[L"51@localhost"]->removeFromMap(map);
    EXPECT_TRUE(map.empty());
    EXPECT_TRUE(watch.expired()) << "the map owned the contact";
    EXPECT_EQ(readFile(infoFileOf(L"51@localhost")).substr(598, 4), utf16le(u"1\n"));
    LumoraContact::loadContactsListInfo(map);
    EXPECT_TRUE(map.empty());
}

TEST_F(LumoraContactTest, PositionsAreKeptOnlyWhenPlausible) {
    LumoraContact contact(L"61@localhost", L"", L"", L"", L"", 2, 0, 0, 0, 0, false);
    contact.setPosition(CoordinateUtils::fromDecimal(DecimalCoords{59.93, 30.31}));
    EXPECT_TRUE(contact.hasPosition());
    contact.setPosition(CoordinateUtils::fromDecimal(DecimalCoords{1000.0, 1000.0}));
    EXPECT_FALSE(contact.hasPosition()) << "the hidden-position marker";
    contact.saveContactsInfo();
    EXPECT_EQ(readFile(infoFileOf(L"61@localhost")).substr(512, 20), paddedLine(u"", 9))
        << "an implausible position is not stored";
}

}  // namespace
