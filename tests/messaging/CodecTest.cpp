// The presence child and the profile card survive the trip through XML text and back.
#include <gtest/gtest.h>

#include <gloox/parser.h>
#include <gloox/taghandler.h>
#include <gloox/vcard.h>

#include <memory>

#include "client/messaging/PresenceExtension.h"
#include "client/messaging/ProfileCardCodec.h"

namespace {

class KeepTag : public gloox::TagHandler {
public:
    void handleTag(gloox::Tag* tag) override { tag_.reset(tag->clone()); }
    std::unique_ptr<gloox::Tag> tag_;
};

std::unique_ptr<gloox::Tag> parse(std::string xml) {
    KeepTag keep;
    gloox::Parser parser(&keep);
    EXPECT_EQ(parser.feed(xml), -1);
    return std::move(keep.tag_);
}

}  // namespace

TEST(PresenceExtension, RoundTripsItsValueAndMatchesOnlyItsNamespace) {
    PresenceExtension out(PresenceExtension::NS_STATUS, "55.75;37.61;<&>");
    std::unique_ptr<gloox::Tag> tag(out.tag());
    EXPECT_EQ(tag->xml(), "<x xmlns='lumora:x:status' value='55.75;37.61;&lt;&amp;&gt;'/>");

    auto presence = parse(
        "<presence from='a@b/c'><x xmlns='lumora:x:visibility' value='1'/>"
        "<x xmlns='lumora:x:status' value='55.75;37.61;'/></presence>");
    ASSERT_TRUE(presence);
    const auto found = presence->findTagList(out.filterString());
    ASSERT_EQ(found.size(), 1u);
    std::unique_ptr<gloox::StanzaExtension> in(out.newInstance(found.front()));
    EXPECT_EQ(static_cast<PresenceExtension*>(in.get())->value(), "55.75;37.61;");
    EXPECT_EQ(in->extensionType(), PresenceExtension::EXT_STATUS);
    EXPECT_EQ(PresenceExtension(PresenceExtension::NS_VISIBILITY).extensionType(),
              PresenceExtension::EXT_VISIBILITY);
}

TEST(ProfileCardCodec, EveryFieldSurvivesTheTripThroughTheVCard) {
    ProfileCard card;
    card.nick = "jd";
    card.givenName = "John";
    card.familyName = "Doe";
    card.email = "j@d.org";
    card.telephone = "+49 30 123";
    card.gender = "Female";
    card.about = "about me & you";
    card.birthday = "1980-03-05";
    card.photoType = "image/png";
    card.photo = std::string("\x89PNG\r\n\x1a\n\0\xff", 10);

    std::unique_ptr<gloox::VCard> vcard = ProfileCardCodec::toVCard(card);
    std::unique_ptr<gloox::Tag> tag(vcard->tag());
    const gloox::VCard reread(tag.get());
    const ProfileCard back = ProfileCardCodec::fromVCard(reread);
    EXPECT_EQ(back.nick, card.nick);
    EXPECT_EQ(back.givenName, card.givenName);
    EXPECT_EQ(back.familyName, card.familyName);
    EXPECT_EQ(back.email, card.email);
    EXPECT_EQ(back.telephone, card.telephone);
    EXPECT_EQ(back.gender, card.gender);
    EXPECT_EQ(back.about, card.about);
    EXPECT_EQ(back.birthday, card.birthday);
    EXPECT_EQ(back.photoType, card.photoType);
    EXPECT_EQ(back.photo, card.photo);
}

TEST(ProfileCardCodec, EmptyFieldsStayOutOfTheCard) {
    ProfileCard card;
    card.nick = "only";
    std::unique_ptr<gloox::Tag> tag(ProfileCardCodec::toVCard(card)->tag());
    EXPECT_EQ(tag->findChild("N"), nullptr);
    EXPECT_EQ(tag->findChild("ROLE"), nullptr);
    EXPECT_EQ(tag->findChild("PHOTO"), nullptr);
    EXPECT_EQ(tag->findChild("BDAY"), nullptr);
}

TEST(ProfileCardCodec, UpdateInfoMessageCarriesTheGender) {
    EXPECT_EQ(ProfileCardCodec::updateInfoMessage("Unknown"),
              "<serviceMessage xmlns='jabberBot:updateInfo' version='1'>"
              "<field var='gender'><value>Unknown</value></field></serviceMessage>");
}
