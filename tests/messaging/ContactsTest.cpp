// Subscriptions, bots in the roster and positions between real clients.
#include <chrono>
#include <thread>

#include "SearchBotProcess.h"
#include "XmppParty.h"
#include "kestra/Log.h"

namespace {

bool positionFrom(const XmppParty& watcher, const XmppParty& contact, double latitude,
                  double longitude) {
    return watcher.listener.waitFor("position", [&](const SessionEvent& e) {
        return e.jid == contact.jid && e.latitude == latitude && e.longitude == longitude;
    });
}

}  // namespace

using Contacts = XmppTest;

TEST_F(Contacts, ARequestIsAcceptedOrRefused) {
    XmppParty a, b, c;
    ASSERT_TRUE(a.signUp());
    ASSERT_TRUE(b.signUp());
    ASSERT_TRUE(c.signUp());
    befriend(a, b);
    EXPECT_EQ(b.listener.eventsOf("subscriptionRequest").at(0).text, "let me see you");
    EXPECT_TRUE(a.listener.waitFor("itemSubscribed",
                                   [&](const SessionEvent& e) { return e.jid == b.jid; }));
    const auto presences = a.listener.eventsOf("contactPresence");
    EXPECT_EQ(presences.back().a, PRESENCE_AVAILABLE);

    c.client->requestAuthorization(b.jid, "");
    ASSERT_TRUE(b.listener.waitFor("subscriptionRequest",
                                   [&](const SessionEvent& e) { return e.jid == c.jid; }));
    b.client->answerAuthorization(c.jid, false);
    EXPECT_TRUE(c.listener.waitFor("itemUnsubscribed",
                                   [&](const SessionEvent& e) { return e.jid == b.jid; }));
    EXPECT_FALSE(c.listener.waitFor(
        "contactPresence", [&](const SessionEvent& e) { return e.jid == b.jid; }, 300));

    // The roster of the next sign-in names the friend.
    a.signOut();
    ASSERT_TRUE(a.signIn());
    EXPECT_TRUE(
        a.listener.waitFor("rosterItem", [&](const SessionEvent& e) { return e.jid == b.jid; }));
}

TEST_F(Contacts, OnlyTheFirstOfTwoBotsAnswersSearchesAndBothLearnTheVisibility) {
    SearchBotProcess first(XmppTestServer::newBotName());
    SearchBotProcess second(XmppTestServer::newBotName());  // a later name: second in the roster
    first.setUsers({"7001@localhost|Ann|Lee|annie|ann@x.org|female|online|52.5|13.4"});
    XmppParty a;
    ASSERT_TRUE(a.signUp(UserContactProfile::VISIBLE_FOR_FRIENDS));
    for (const SearchBotProcess* bot : {&first, &second}) {
        a.client->requestAuthorization(bot->jid(), "");
        ASSERT_TRUE(a.listener.waitFor("subscriptionRequest",
                                       [&](const SessionEvent& e) { return e.jid == bot->jid(); }));
        a.client->answerAuthorization(bot->jid(), true);
    }
    a.signOut();
    a.listener.clear();
    ASSERT_TRUE(a.signIn(UserContactProfile::VISIBLE_FOR_FRIENDS));
    EXPECT_TRUE(first.waitForRecord("visibility " + a.jid + " 1"));
    EXPECT_TRUE(second.waitForRecord("visibility " + a.jid + " 1"));
    for (const SessionEvent& e : a.listener.eventsOf("rosterItem")) {
        EXPECT_NE(e.jid, first.jid());
        EXPECT_NE(e.jid, second.jid());
    }
    EXPECT_EQ(a.listener.count("contactPresence"), 0);

    a.client->search("", "", "", "", "", 1, 0, 1);
    ASSERT_TRUE(a.listener.waitFor("searchFinished"));
    EXPECT_TRUE(first.waitForRecord("search " + a.jid + " gender=female"));
    for (const std::string& line : second.record())
        EXPECT_NE(line.compare(0, 7, "search "), 0) << line;
    ASSERT_EQ(a.listener.count("searchItem"), 1);
    EXPECT_EQ(a.listener.eventsOf("searchItem").at(0).fields.at("jid"), "7001@localhost");
}

TEST_F(Contacts, APositionTravelsInThePresenceForFriends) {
    XmppParty a, b;
    ASSERT_TRUE(a.signUp(UserContactProfile::VISIBLE_FOR_FRIENDS));
    ASSERT_TRUE(b.signUp());
    befriend(a, b);
    a.client->updatePosition(55.75, 37.61);
    EXPECT_TRUE(positionFrom(b, a, 55.75, 37.61));
    EXPECT_FALSE(
        a.listener.waitFor("position", nullptr, 300));  // its own presence is no contact position

    // A status change carries the position the controller allows, and nothing for the
    // no-position or zero values.
    b.listener.clear();
    a.listener.setPosition(true, 1000.0, 1000.0);
    a.client->changeStatus(PRESENCE_AWAY, "");
    ASSERT_TRUE(b.listener.waitFor("contactPresence",
                                   [&](const SessionEvent& e) { return e.a == PRESENCE_AWAY; }));
    a.listener.setPosition(true, 0.0, 0.0);
    a.client->changeStatus(PRESENCE_DND, "busy");
    ASSERT_TRUE(b.listener.waitFor("contactPresence",
                                   [&](const SessionEvent& e) { return e.a == PRESENCE_DND; }));
    a.listener.setPosition(true, -33.865143, 151.2099);
    a.client->changeStatus(PRESENCE_AVAILABLE, "");
    EXPECT_TRUE(positionFrom(b, a, -33.865143, 151.2099));
    EXPECT_EQ(b.listener.count("position"), 1);
}

TEST_F(Contacts, APositionTravelsThroughTheOwnNodeWhenVisibleForAll) {
    XmppParty a, b;
    ASSERT_TRUE(a.signUp(UserContactProfile::VISIBLE_FOR_ALL));
    ASSERT_TRUE(b.signUp());
    befriend(a, b);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));  // b's subscription to a's node
    b.listener.clear();
    a.client->updatePosition(48.137154, 11.576124);
    EXPECT_TRUE(positionFrom(b, a, 48.137154, 11.576124));
    // The presence does not carry it.
    EXPECT_EQ(b.listener.count("position"), 1);
}

TEST_F(Contacts, AContactWhoseNodeDidNotExistYetIsSubscribedAgainAtTheNextSignIn) {
    XmppParty a(kestra::SystemClock::instance(), false);  // no profile: its node is not made
    XmppParty b;
    ASSERT_TRUE(a.signUp());
    ASSERT_TRUE(b.signUp());
    befriend(a, b);  // b's subscription to a's node fails: it does not exist
    a.signOut();
    a.profile = std::make_unique<UserContactProfile>();
    a.client->setUserProfile(a.profile.get());
    ASSERT_TRUE(a.signIn(UserContactProfile::VISIBLE_FOR_ALL));  // makes the node
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    b.signOut();
    ASSERT_TRUE(b.signIn());
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    a.client->updatePosition(59.9343, 30.3351);
    EXPECT_TRUE(positionFrom(b, a, 59.9343, 30.3351));
}

TEST_F(Contacts, BecomingInvisibleRestrictsTheNodeDeletesTheItemAndTellsTheBot) {
    SearchBotProcess bot(XmppTestServer::newBotName());
    XmppParty a, b;
    ASSERT_TRUE(a.signUp(UserContactProfile::VISIBLE_FOR_ALL));
    ASSERT_TRUE(b.signUp());
    a.client->requestAuthorization(bot.jid(), "");
    ASSERT_TRUE(a.listener.waitFor("subscriptionRequest",
                                   [&](const SessionEvent& e) { return e.jid == bot.jid(); }));
    a.client->answerAuthorization(bot.jid(), true);
    a.signOut();
    ASSERT_TRUE(a.signIn(UserContactProfile::VISIBLE_FOR_ALL));
    ASSERT_TRUE(bot.waitForRecord("visibility " + a.jid + " 0"));
    befriend(a, b);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    a.client->updatePosition(40.4168, -3.7038);
    ASSERT_TRUE(positionFrom(b, a, 40.4168, -3.7038));

    a.profile->setVisibility(UserContactProfile::INVISIBLE);
    a.client->setVisibility(UserContactProfile::INVISIBLE);
    EXPECT_TRUE(bot.waitForRecord("visibility " + a.jid + " 2"));
    a.client->updatePosition(41.0, -3.0);
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_EQ(b.listener.count("position"), 1);

    // The deleted item is not handed to a subscriber that signs in again.
    b.signOut();
    b.listener.clear();
    ASSERT_TRUE(b.signIn());
    EXPECT_FALSE(b.listener.waitFor("position", nullptr, 1000));
}

namespace {

// A contact played by the scripted peer, befriended by the party.
void befriendPeer(XmppParty& party, const SearchBotProcess& peer) {
    party.client->requestAuthorization(peer.jid(), "");
    ASSERT_TRUE(party.listener.waitFor("subscriptionRequest",
                                       [&](const SessionEvent& e) { return e.jid == peer.jid(); }));
    party.client->answerAuthorization(peer.jid(), true);
    ASSERT_TRUE(peer.waitForRecord("subscribed " + party.jid));
}

std::string positionPresence(const std::string& value) {
    return "<presence><x xmlns='lumora:x:status' value='" + value + "'/></presence>";
}

// A position item as a peer publishes it; publisher is an attribute the peer itself puts
// on the item (the server is to replace it by the real one).
std::string publishGeoloc(const std::string& node, const std::string& lat, const std::string& lon,
                          const std::string& publisher = std::string()) {
    const std::string claim = publisher.empty() ? "" : " publisher='" + publisher + "'";
    return "<iq type='set' to='pubsub.localhost' id='pub" + lat +
           "'>"
           "<pubsub xmlns='http://jabber.org/protocol/pubsub'><publish node='" +
           node + "'><item id='1'" + claim + "><geoloc><latitude>" + lat +
           "</latitude><longitude>" + lon + "</longitude></geoloc></item></publish></pubsub></iq>";
}

// Sets who the node's events name as an item's publisher: "publisher" or "none".
std::string configureItemReply(const std::string& node, const std::string& value) {
    return "<iq type='set' to='pubsub.localhost' id='cfg" + value +
           "'><pubsub xmlns='http://jabber.org/protocol/pubsub#owner'><configure node='" + node +
           "'><x xmlns='jabber:x:data' type='submit'><field var='FORM_TYPE' type='hidden'>"
           "<value>http://jabber.org/protocol/pubsub#node_config</value></field>"
           "<field var='pubsub#itemreply'><value>" +
           value + "</value></field></x></configure></pubsub></iq>";
}

std::string nodeOf(const std::string& jid) {
    return "home/localhost/" + jid.substr(0, jid.find('@'));
}

}  // namespace

TEST_F(Contacts, MalformedPositionsInPresencesAreIgnoredAndThePresenceStillCounts) {
    SearchBotProcess peer(XmppTestServer::newUserName(), true);
    XmppParty a;
    ASSERT_TRUE(a.signUp());
    befriendPeer(a, peer);
    ASSERT_TRUE(a.listener.waitFor("contactPresence",
                                   [&](const SessionEvent& e) { return e.jid == peer.jid(); }));
    a.listener.clear();
    std::string stanzas;
    for (const char* bad : {"abc;1;", "1;", "1000;1000;", "0;0;", "1e999;5;",
                            "99999999999999999999999;1;", "12.5;13.5"}) {
        stanzas += positionPresence(bad);
    }
    stanzas += positionPresence("12.5;13.5;");
    peer.sendRaw(stanzas);
    ASSERT_TRUE(a.listener.waitFor("position"));
    const auto positions = a.listener.eventsOf("position");
    ASSERT_EQ(positions.size(), 1u);
    EXPECT_EQ(positions[0].jid, peer.jid());
    EXPECT_EQ(positions[0].latitude, 12.5);
    EXPECT_EQ(positions[0].longitude, 13.5);
    EXPECT_TRUE(
        testsupport::waitUntil([&] { return a.listener.count("contactPresence") == 8; }, 15000));
    EXPECT_TRUE(a.client->isConnected());
}

TEST_F(Contacts, EventsOfNonNumericNodesAndMalformedItemsAreIgnored) {
    SearchBotProcess numeric(XmppTestServer::newUserName(), true);
    SearchBotProcess named("abc" + XmppTestServer::newUserName(), true);
    const std::string numericNode = nodeOf(numeric.jid());
    // Only GID accounts may create nodes, so the numeric peer makes the named one's too.
    const std::string namedNode = nodeOf(named.jid());
    numeric.sendRaw(publishGeoloc(numericNode, "1", "2") + publishGeoloc(namedNode, "3", "4") +
                    configureItemReply(numericNode, "publisher") +
                    configureItemReply(namedNode, "publisher"));
    XmppParty a;
    ASSERT_TRUE(a.signUp());
    befriendPeer(a, numeric);
    befriendPeer(a, named);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    a.listener.clear();

    numeric.sendRaw(publishGeoloc(namedNode, "5", "6"));
    numeric.sendRaw(publishGeoloc(numericNode, "abc", "6") + publishGeoloc(numericNode, "7", "") +
                    publishGeoloc(numericNode, "1e999", "6"));
    numeric.sendRaw(publishGeoloc(numericNode, "52.25", "-13.5"));
    ASSERT_TRUE(a.listener.waitFor("position"));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const auto positions = a.listener.eventsOf("position");
    ASSERT_EQ(positions.size(), 1u);
    EXPECT_EQ(positions[0].jid, numeric.jid());
    EXPECT_EQ(positions[0].latitude, 52.25);
    EXPECT_EQ(positions[0].longitude, -13.5);
}

// A third account that created a user's node first can neither pass its positions off as
// the user's (its items name it as publisher, whatever it claims) nor stay unnoticed: the
// user learns once that the position cannot be shared. Events that name no publisher are
// not trusted either.
TEST_F(Contacts, ASquattedNodeIsReportedAndOnlyTheContactsOwnItemsCount) {
    testsupport::TempDir logDir;
    kestra::Log::open((logDir.path() / "test.log").wstring(), kestra::LOG_INFO, 1000000);
    SearchBotProcess squatter(XmppTestServer::newUserName(), true);
    XmppParty user, watcher;
    const std::string userNode = "home/localhost/" + user.user;
    const std::string squatterNode = nodeOf(squatter.jid());
    squatter.sendRaw(publishGeoloc(userNode, "10", "20") + publishGeoloc(squatterNode, "30", "40"));

    ASSERT_TRUE(user.signUp(UserContactProfile::VISIBLE_FOR_ALL));
    ASSERT_TRUE(user.listener.waitFor("positionNotShared"));
    user.client->updatePosition(11.5, 21.5);  // refused too, but told only once
    user.client->setVisibility(UserContactProfile::VISIBLE_FOR_ALL);

    ASSERT_TRUE(watcher.signUp());
    befriend(watcher, user);  // the last item of the squatted node: no publisher named
    befriendPeer(watcher, squatter);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    squatter.sendRaw(configureItemReply(userNode, "publisher") +
                     publishGeoloc(userNode, "12", "22", user.jid + "/Lumora") +
                     publishGeoloc(squatterNode, "31", "41") +
                     configureItemReply(squatterNode, "publisher") +
                     publishGeoloc(squatterNode, "32", "42"));
    ASSERT_TRUE(watcher.listener.waitFor("position", [&](const SessionEvent& e) {
        return e.jid == squatter.jid() && e.latitude == 32 && e.longitude == 42;
    }));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(watcher.listener.count("position"), 1) << "only the squatter's own, named item";
    EXPECT_EQ(user.listener.count("positionNotShared"), 1);
    kestra::Log::close();
    const std::string log = testsupport::readFile(logDir.path() / "test.log");
    EXPECT_NE(log.find("[ERROR] PubsubManager: configuring the own node " + userNode +
                       " failed (stanza error 3)"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("[WARNING] JabberClient: a position on " + userNode + " was published by " +
                       squatter.jid()),
              std::string::npos)
        << log;
}
