#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <ctime>
#include <memory>
#include <string>

#include "RecordingListener.h"
#include "XmppTestServer.h"
#include "client/contacts/UserContactProfile.h"
#include "client/messaging/JabberClient.h"
#include "kestra/Clock.h"

// A clock that only moves when a test moves it: advance() moves the steady and the
// calendar time together; setCalendarBack() moves only the calendar, as a user setting
// the clock does.
class ManualClock : public kestra::IClock {
public:
    std::int64_t monotonicMs() const override { return steadyMs_.load(); }
    std::time_t now() const override { return now_.load(); }
    void sleepMs(unsigned int) override {}
    void advance(std::time_t seconds) {
        now_ += seconds;
        steadyMs_ += static_cast<std::int64_t>(seconds) * 1000;
    }
    void setCalendarBack(std::time_t seconds) { now_ -= seconds; }

private:
    std::atomic<std::time_t> now_{1700000000};
    std::atomic<std::int64_t> steadyMs_{5000000};
};

// One user of the test server: a real JabberClient with a recording listener and a profile.
class XmppParty {
public:
    explicit XmppParty(kestra::IClock& clock = kestra::SystemClock::instance(),
                       bool withProfile = true);
    ~XmppParty();

    // Creates the account by in-band registration and signs in; false when that failed.
    bool signUp(int visibility = UserContactProfile::INVISIBLE);
    bool signIn(int visibility = UserContactProfile::INVISIBLE);
    // Closes the session and waits for its end.
    void signOut();
    // Waits for the next "connected".
    bool waitConnected();

    std::string user;
    std::string jid;
    std::string password = "secret-1";
    RecordingListener listener;
    std::unique_ptr<UserContactProfile> profile;
    std::unique_ptr<JabberClient> client;
};

// Makes two users see each other (both subscriptions) and waits until both are in each
// other's roster with their presence.
void befriend(XmppParty& a, XmppParty& b);

// Every test of the server starts the settings store that names the test CA.
class XmppTest : public ::testing::Test {
protected:
    TestSettings settings_;
};
