// User search through the server's directory and through the bot, and profile cards.
#include "SearchBotProcess.h"
#include "XmppParty.h"

namespace {

// A user with the bot in its roster (the bot becomes its search bot at the next sign-in).
void addBot(XmppParty& party, const SearchBotProcess& bot) {
    party.client->requestAuthorization(bot.jid(), "");
    ASSERT_TRUE(party.listener.waitFor("subscriptionRequest",
                                       [&](const SessionEvent& e) { return e.jid == bot.jid(); }));
    party.client->answerAuthorization(bot.jid(), true);
    ASSERT_TRUE(bot.waitForRecord("subscribed " + party.jid));
    party.signOut();
    ASSERT_TRUE(party.signIn());
}

std::string photoBytes(size_t size) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<char>((i * 7919) & 0xff);
    return bytes;
}

}  // namespace

using SearchAndCards = XmppTest;

TEST_F(SearchAndCards, TheDirectoryFindsAUserByNickOnceItsCardIsStored) {
    XmppParty a, b;
    ASSERT_TRUE(a.signUp());
    ASSERT_TRUE(b.signUp());
    ProfileCard card;
    card.nick = "nick" + a.user;
    card.givenName = "Ann";
    card.familyName = "Lee";
    card.email = a.user + "@mail.example";
    a.client->storeOwnCard(card);
    ASSERT_TRUE(a.listener.waitFor("vcardStored"));
    EXPECT_EQ(a.listener.eventsOf("vcardStored").at(0).a, 1);

    b.client->search("", "", "", card.nick, "", 2, 0, 1);
    ASSERT_TRUE(b.listener.waitFor("searchFinished"));
    EXPECT_EQ(b.listener.eventsOf("searchFinished").at(0).text, "vjud.localhost");
    ASSERT_EQ(b.listener.count("searchItem"), 1);
    const SearchResultFields fields = b.listener.eventsOf("searchItem").at(0).fields;
    EXPECT_EQ(fields.at("jid"), a.jid);
    EXPECT_EQ(fields.at("nick"), card.nick);
    EXPECT_EQ(fields.at("first"), "Ann");
    EXPECT_EQ(fields.at("last"), "Lee");
    EXPECT_EQ(fields.at("email"), card.email);

    // Without a bot, the bot's criteria are dropped and the directory answers alone.
    b.listener.clear();
    b.client->search(a.user, "", "", "", "", 0, 10, 0);
    ASSERT_TRUE(b.listener.waitFor("searchFinished"));
    EXPECT_EQ(b.listener.count("searchFinished"), 1);
    EXPECT_EQ(b.listener.eventsOf("searchItem").at(0).fields.at("jid"), a.jid);
}

TEST_F(SearchAndCards, TheBotAnswersItsCriteriaAndEveryBadAnswerEndsTheSearchOnce) {
    SearchBotProcess bot(XmppTestServer::newBotName());
    bot.setUsers({"7001@localhost|Ann|Lee|annie|ann@x.org|female|online|52.52|13.40",
                  "7002@localhost|Bob|Lee|bob|bob@x.org|male|online|52.53|13.41",
                  "7003@localhost|Eve|Lee|eve|eve@x.org|female|offline|48.13|11.57"});
    XmppParty a;
    ASSERT_TRUE(a.signUp());
    addBot(a, bot);

    a.listener.setPosition(true, 52.52, 13.40);
    a.client->search("", "", "Lee", "", "", 1, 25, 0);
    ASSERT_TRUE(a.listener.waitFor("searchFinished"));
    EXPECT_TRUE(bot.waitForRecord(
        "search " + a.jid +
        " distance=25 gender=female last=Lee latitude=52.52 longitude=13.4 status=online"));
    ASSERT_EQ(a.listener.count("searchItem"), 1);
    const SearchResultFields fields = a.listener.eventsOf("searchItem").at(0).fields;
    EXPECT_EQ(fields.at("jid"), "7001@localhost");  // sent as "JID"
    EXPECT_EQ(fields.at("nick"), "annie");
    EXPECT_EQ(a.listener.eventsOf("searchFinished").at(0).text, "");

    for (const char* mode : {"error", "malformed", "noresult", "other"}) {
        a.listener.clear();
        bot.setMode(mode);
        a.client->search("", "", "", "", "", 0, 0, 1);
        ASSERT_TRUE(a.listener.waitFor("searchFinished")) << mode;
        EXPECT_FALSE(a.listener.waitFor(
            "searchFinished", [](const SessionEvent&) { return false; }, 200));
        EXPECT_EQ(a.listener.count("searchFinished"), 1) << mode;
        EXPECT_EQ(a.listener.count("searchItem"), 0) << mode;
        EXPECT_TRUE(a.client->isConnected()) << mode;
    }
}

TEST_F(SearchAndCards, ACardWithAPhotoIsStoredAndFetchedAndTheOwnCardComesFirst) {
    XmppParty a, b;
    ASSERT_TRUE(a.signUp());
    ASSERT_TRUE(b.signUp());
    ProfileCard card;
    card.nick = "jd";
    card.givenName = "John";
    card.familyName = "Doe";
    card.telephone = "+49 30 1234";
    card.gender = "Male";
    card.about = "about <me>";
    card.birthday = "1980-03-05";
    card.photoType = "image/png";
    card.photo = photoBytes(9000);  // larger than the controller accepts: it still arrives whole
    a.client->storeOwnCard(card);
    ASSERT_TRUE(a.listener.waitFor("vcardStored"));

    b.client->requestContactCard(a.jid);
    ASSERT_TRUE(b.listener.waitFor("vcard"));
    const SessionEvent got = b.listener.eventsOf("vcard").at(0);
    EXPECT_EQ(got.jid, a.jid);
    ASSERT_TRUE(got.hasCard);
    EXPECT_EQ(got.card.photo, card.photo);
    EXPECT_EQ(got.card.photoType, "image/png");
    EXPECT_EQ(got.card.gender, "Male");
    EXPECT_EQ(got.card.birthday, "1980-03-05");
    EXPECT_EQ(got.card.about, "about <me>");
    EXPECT_EQ(b.listener.count("ownVcard"), 0);

    a.client->requestOwnCard();
    ASSERT_TRUE(a.listener.waitFor("vcard"));
    std::vector<std::string> order;
    for (const SessionEvent& e : a.listener.events()) {
        if (e.kind == "ownVcard" || e.kind == "vcard")
            order.push_back(e.kind);
    }
    EXPECT_EQ(order, (std::vector<std::string>{"ownVcard", "vcard"}));
    EXPECT_EQ(a.listener.eventsOf("ownVcard").at(0).card.nick, "jd");
}

TEST_F(SearchAndCards, TheGenderGoesToTheBotAfterTheCard) {
    SearchBotProcess bot(XmppTestServer::newBotName());
    XmppParty a;
    ASSERT_TRUE(a.signUp());
    addBot(a, bot);
    a.client->sendProfileToBot("Unknown");
    EXPECT_TRUE(bot.waitForRecord("updateInfo " + a.jid + " gender=Unknown"));
}
