#include "XmppParty.h"

XmppParty::XmppParty(kestra::IClock& clock, bool withProfile)
    : user(XmppTestServer::newUserName()), jid(user + "@localhost") {
    listener.setRegistration(user, password);
    if (withProfile)
        profile = std::make_unique<UserContactProfile>();
    client = std::make_unique<JabberClient>(&listener, clock);
    client->setUserProfile(profile.get());
}

XmppParty::~XmppParty() {
    client->shutdown();
}

bool XmppParty::waitConnected() {
    const int before = listener.count("connected");
    return testsupport::waitUntil([&] { return listener.count("connected") > before; }, 15000);
}

bool XmppParty::signUp(int visibility) {
    if (profile)
        profile->setVisibility(visibility);
    const int before = listener.count("connected");
    client->openSessionWithNewAccount(PRESENCE_AVAILABLE, jid, password,
                                      XmppTestServer::instance().port());
    return testsupport::waitUntil([&] { return listener.count("connected") > before; }, 15000);
}

bool XmppParty::signIn(int visibility) {
    if (profile)
        profile->setVisibility(visibility);
    const int before = listener.count("connected");
    client->openSession(PRESENCE_AVAILABLE, jid, password, XmppTestServer::instance().port());
    return testsupport::waitUntil([&] { return listener.count("connected") > before; }, 15000);
}

void XmppParty::signOut() {
    const int before = listener.count("disconnected");
    client->closeConnection();
    testsupport::waitUntil(
        [&] { return listener.count("disconnected") > before && !client->isSessionOpen(); }, 15000);
}

void befriend(XmppParty& a, XmppParty& b) {
    a.client->requestAuthorization(b.jid, "let me see you");
    ASSERT_TRUE(b.listener.waitFor("subscriptionRequest",
                                   [&](const SessionEvent& e) { return e.jid == a.jid; }));
    b.client->answerAuthorization(a.jid, true);
    ASSERT_TRUE(a.listener.waitFor("subscriptionRequest",
                                   [&](const SessionEvent& e) { return e.jid == b.jid; }));
    a.client->answerAuthorization(b.jid, true);
    ASSERT_TRUE(a.listener.waitFor("contactPresence",
                                   [&](const SessionEvent& e) { return e.jid == b.jid; }));
    ASSERT_TRUE(b.listener.waitFor("contactPresence",
                                   [&](const SessionEvent& e) { return e.jid == a.jid; }));
}
