// Signing in and out against the real test server, and every way a session can end.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <thread>
#include <utility>

#include "XmppParty.h"
#include "kestra/Log.h"

namespace {

const char* const STREAM_HEADER =
    "<?xml version='1.0'?><stream:stream xmlns='jabber:client' "
    "xmlns:stream='http://etherx.jabber.org/streams' id='1' from='localhost' version='1.0'>";

// A TCP server on loopback that answers the first bytes of every connection with a fixed
// reply, then either closes at once or records all the client sends until it closes.
class ScriptedStreamServer {
public:
    ScriptedStreamServer(std::string reply, bool closeAfterReply)
        : reply_(std::move(reply)), closeAfterReply_(closeAfterReply) {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof(address));
        socklen_t length = sizeof(address);
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
        ::listen(fd_, 4);
        thread_ = std::thread([this] { serve(); });
    }
    ~ScriptedStreamServer() {
        ::shutdown(fd_, SHUT_RDWR);
        const int peer = peer_.exchange(-1);
        if (peer >= 0)
            ::shutdown(peer, SHUT_RDWR);
        thread_.join();
        ::close(fd_);
    }
    int port() const { return port_; }
    std::string received() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return received_;
    }

private:
    void serve() {
        for (;;) {
            const int peer = ::accept(fd_, nullptr, nullptr);
            if (peer < 0)
                return;
            peer_ = peer;
            serveOne(peer);
            peer_ = -1;
            ::close(peer);
        }
    }
    void serveOne(int peer) {
        char buffer[4096];
        ssize_t n = ::recv(peer, buffer, sizeof(buffer), 0);
        if (n <= 0)
            return;
        record(buffer, n);
        (void)::send(peer, reply_.data(), reply_.size(), MSG_NOSIGNAL);
        while (!closeAfterReply_ && (n = ::recv(peer, buffer, sizeof(buffer), 0)) > 0)
            record(buffer, n);
    }
    void record(const char* data, ssize_t n) {
        std::lock_guard<std::mutex> lock(mutex_);
        received_.append(data, static_cast<size_t>(n));
    }

    const std::string reply_;
    const bool closeAfterReply_;
    int fd_ = -1;
    int port_ = 0;
    std::atomic<int> peer_{-1};
    mutable std::mutex mutex_;
    std::string received_;
    std::thread thread_;
};

// The stream features a server without TLS offers: SASL PLAIN and in-band registration.
std::string featuresWithoutStartTls() {
    return std::string(STREAM_HEADER) +
           "<stream:features><mechanisms xmlns='urn:ietf:params:xml:ns:xmpp-sasl'>"
           "<mechanism>PLAIN</mechanism></mechanisms>"
           "<register xmlns='http://jabber.org/features/iq-register'/></stream:features>";
}

// The stream features the test server offers to a client that sent its stream header.
std::string featuresOf(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(port));
    std::string text;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0) {
        const std::string header =
            "<?xml version='1.0'?><stream:stream to='localhost' xmlns='jabber:client' "
            "xmlns:stream='http://etherx.jabber.org/streams' version='1.0'>";
        (void)::send(fd, header.data(), header.size(), MSG_NOSIGNAL);
        char buffer[4096];
        ssize_t n;
        while (text.find("</stream:features>") == std::string::npos &&
               (n = ::recv(fd, buffer, sizeof(buffer), 0)) > 0) {
            text.append(buffer, static_cast<size_t>(n));
        }
    }
    ::close(fd);
    return text;
}

int unusedPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address));
    socklen_t length = sizeof(address);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(fd);  // nothing listens there now
    return ntohs(address.sin_port);
}

}  // namespace

using Session = XmppTest;

TEST_F(Session, ANewAccountIsRegisteredAndSignedInThenSignsInAgainLater) {
    XmppParty a;
    ASSERT_TRUE(a.signUp());
    ASSERT_EQ(a.listener.count("registrationFields"), 1);
    EXPECT_EQ(a.listener.eventsOf("passwordChanged").at(0).a, 1);
    const SessionEvent connected = a.listener.eventsOf("connected").at(0);
    EXPECT_EQ(connected.jid, a.jid);
    EXPECT_EQ(connected.a, PRESENCE_AVAILABLE);
    EXPECT_TRUE(a.client->isConnected());

    a.signOut();
    EXPECT_EQ(a.listener.eventsOf("disconnected").at(0).a, CONNECTION_USER_DISCONNECTED);
    EXPECT_EQ(a.listener.eventsOf("disconnected").at(0).b, -1);
    EXPECT_TRUE(a.signIn());
    EXPECT_EQ(a.listener.count("registrationFields"), 1);
}

TEST_F(Session, ATakenNameIsReportedAsAlreadyRegistered) {
    XmppParty a;
    ASSERT_TRUE(a.signUp());
    XmppParty b;
    b.jid = a.jid;
    b.listener.setRegistration(a.user, "another");
    b.client->openSessionWithNewAccount(PRESENCE_AVAILABLE, b.jid, "another",
                                        XmppTestServer::instance().port());
    ASSERT_TRUE(b.listener.waitFor("registrationNotice"));
    EXPECT_EQ(b.listener.eventsOf("registrationNotice").at(0).b, 1);
    EXPECT_TRUE(b.listener.waitFor("disconnected"));
    EXPECT_EQ(b.listener.count("connected"), 0);
}

TEST_F(Session, AWrongPasswordOrAnUnknownAccountFailsAuthentication) {
    XmppParty a;
    ASSERT_TRUE(a.signUp());
    a.signOut();
    a.password = "wrong";
    a.client->openSession(PRESENCE_AVAILABLE, a.jid, "wrong", XmppTestServer::instance().port());
    ASSERT_TRUE(a.listener.waitFor("authenticationFailed"));
    EXPECT_EQ(a.listener.eventsOf("authenticationFailed").at(0).a,
              CONNECTION_AUTHENTICATION_FAILED);

    XmppParty stranger;
    stranger.client->openSession(PRESENCE_AVAILABLE, stranger.jid, "x",
                                 XmppTestServer::instance().port());
    ASSERT_TRUE(stranger.listener.waitFor("authenticationFailed"));
    EXPECT_EQ(stranger.listener.count("connected"), 0);
    EXPECT_TRUE(testsupport::waitUntil([&] { return !stranger.client->isSessionOpen(); }, 15000));
}

TEST_F(Session, ASecondSignInElsewhereEndsTheFirstAsOtherDevice) {
    XmppParty first;
    ASSERT_TRUE(first.signUp());
    XmppParty second;
    second.jid = first.jid;
    second.password = first.password;
    ASSERT_TRUE(second.signIn());
    ASSERT_TRUE(first.listener.waitFor("disconnected"));
    const SessionEvent end = first.listener.eventsOf("disconnected").at(0);
    EXPECT_EQ(end.a, CONNECTION_STREAM_ERROR);
    EXPECT_EQ(end.b, STREAM_ERROR_CONFLICT);
    EXPECT_TRUE(second.client->isConnected());
}

TEST_F(Session, AServerThatIsDownOrClosesMidStanzaEndsInAConnectionError) {
    XmppParty a;
    a.client->openSession(PRESENCE_AVAILABLE, a.jid, a.password, unusedPort());
    ASSERT_TRUE(a.listener.waitFor("connectionError"));
    EXPECT_EQ(a.listener.eventsOf("connectionError").at(0).a, CONNECTION_REFUSED);

    // A stream header cut off in the middle of a stanza, then the connection closes.
    ScriptedStreamServer half(std::string(STREAM_HEADER) +
                                  "<stream:features><mechanisms "
                                  "xmlns='urn:ietf:params:xml:ns:xmpp-sasl'><mecha",
                              true);
    XmppParty b;
    b.client->openSession(PRESENCE_AVAILABLE, b.jid, b.password, half.port());
    ASSERT_TRUE(b.listener.waitFor("connectionError"));
    EXPECT_EQ(b.listener.count("connected"), 0);
    EXPECT_TRUE(testsupport::waitUntil([&] { return !b.client->isSessionOpen(); }, 15000));
}

TEST_F(Session, TheServerCertificateMustVerifyAgainstTheConfiguredCa) {
    XmppParty a;
    ASSERT_TRUE(a.signUp());
    a.signOut();
    settings_.trustTestCa(false);
    a.client->openSession(PRESENCE_AVAILABLE, a.jid, a.password, XmppTestServer::instance().port());
    ASSERT_TRUE(a.listener.waitFor("connectionError"));
    EXPECT_EQ(a.listener.eventsOf("connectionError").at(0).a, CONNECTION_TLS_FAILED);
    EXPECT_EQ(a.listener.count("connected"), 1);

    settings_.trustTestCa(true);
    EXPECT_TRUE(a.signIn());
}

// Neither a sign-in nor an account creation goes on without TLS: the password never
// leaves. The test server itself admits no client that skips STARTTLS.
TEST_F(Session, WithoutStartTlsNoPasswordLeavesAndTheTestServerRequiresIt) {
    testsupport::TempDir logDir;
    kestra::Log::open((logDir.path() / "test.log").wstring(), kestra::LOG_DEBUG, 1000000);
    ScriptedStreamServer plain(featuresWithoutStartTls(), false);
    XmppParty a, b;
    a.password = "clear-1";
    a.client->openSession(PRESENCE_AVAILABLE, a.jid, a.password, plain.port());
    b.password = "clear-2";
    b.listener.setRegistration(b.user, b.password);
    b.client->openSessionWithNewAccount(PRESENCE_AVAILABLE, b.jid, b.password, plain.port());
    for (XmppParty* party : {&a, &b}) {
        EXPECT_TRUE(party->listener.waitFor("connectionError"));
        for (const SessionEvent& e : party->listener.eventsOf("connectionError"))
            EXPECT_EQ(e.a, CONNECTION_TLS_NOT_AVAILABLE);
        EXPECT_EQ(party->listener.count("connected"), 0);
        EXPECT_TRUE(testsupport::waitUntil([&] { return !party->client->isSessionOpen(); }, 15000));
    }
    kestra::Log::close();
    const std::string sent = plain.received();
    EXPECT_NE(sent.find("<stream:stream"), std::string::npos) << "both clients came";
    for (const char* secret : {"<auth", "jabber:iq:register", "clear-1", "clear-2"}) {
        EXPECT_EQ(sent.find(secret), std::string::npos) << secret << " went out: " << sent;
    }
    const std::string log = testsupport::readFile(logDir.path() / "test.log");
    EXPECT_NE(log.find("[ERROR] JabberClient::openSession: the server localhost:" +
                       std::to_string(plain.port()) + " offers no TLS"),
              std::string::npos)
        << log;

    const std::string features = featuresOf(XmppTestServer::instance().port());
    EXPECT_NE(features.find("<starttls xmlns='urn:ietf:params:xml:ns:xmpp-tls'><required/>"),
              std::string::npos)
        << features;
}

TEST_F(Session, APasswordChangeIsConfirmedAndTheNewPasswordSignsIn) {
    XmppParty a;
    ASSERT_TRUE(a.signUp());
    a.client->changePassword("secret-2");
    // The account creation, then the change.
    ASSERT_TRUE(
        testsupport::waitUntil([&] { return a.listener.count("passwordChanged") == 2; }, 15000));
    EXPECT_EQ(a.listener.eventsOf("passwordChanged").at(1).a, 1);
    a.signOut();

    a.client->openSession(PRESENCE_AVAILABLE, a.jid, "secret-1", XmppTestServer::instance().port());
    ASSERT_TRUE(a.listener.waitFor("authenticationFailed"));
    a.password = "secret-2";
    EXPECT_TRUE(a.signIn());
}

TEST_F(Session, PacketsQueuedOfflineGoOutInOrderAfterSignIn) {
    XmppParty b;
    ASSERT_TRUE(b.signUp());
    XmppParty account;
    ASSERT_TRUE(account.signUp());
    account.signOut();
    // A fresh session object, as at program start: nothing was ever signed in with it.
    XmppParty a;
    a.jid = account.jid;
    a.password = account.password;
    for (int i = 0; i < 10; ++i)
        a.client->sendChatMessage("message " + std::to_string(i), b.jid);
    EXPECT_EQ(a.listener.count("packetNotSent"), 10);
    for (const SessionEvent& e : a.listener.eventsOf("packetNotSent"))
        EXPECT_EQ(e.a, PACKET_CHAT_MESSAGE);

    ASSERT_TRUE(a.signIn());
    ASSERT_TRUE(testsupport::waitUntil([&] { return b.listener.count("message") == 10; }, 15000));
    const auto messages = b.listener.eventsOf("message");
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(messages[i].text, "message " + std::to_string(i));
        EXPECT_EQ(messages[i].jid, a.jid);
        EXPECT_EQ(messages[i].a, MESSAGE_CHAT);
    }
    EXPECT_EQ(a.client->queuedPackets(), 0u);
}

TEST_F(Session, OpeningTheSameSessionAgainChangesNothingAndAnotherAccountDropsTheQueue) {
    XmppParty a;
    ASSERT_TRUE(a.signUp());
    a.client->openSession(PRESENCE_AVAILABLE, a.jid, a.password, XmppTestServer::instance().port());
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(a.listener.count("connected"), 1);
    EXPECT_TRUE(a.client->isConnected());

    a.signOut();
    a.client->sendChatMessage("for the old account", a.jid);
    EXPECT_EQ(a.client->queuedPackets(), 1u);
    XmppParty other;
    ASSERT_TRUE(other.signUp());
    other.signOut();
    a.client->openSession(PRESENCE_AVAILABLE, other.jid, other.password,
                          XmppTestServer::instance().port());
    EXPECT_EQ(a.client->queuedPackets(), 0u);
    EXPECT_TRUE(a.waitConnected());
}

TEST_F(Session, ShutdownDuringAnIdleReceiveReturnsPromptly) {
    XmppParty a;
    ASSERT_TRUE(a.signUp());
    std::this_thread::sleep_for(std::chrono::milliseconds(300));  // the server now sends nothing
    const auto start = std::chrono::steady_clock::now();
    a.client->shutdown();
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                        std::chrono::steady_clock::now() - start)
                        .count();
    RecordProperty("shutdown_ms", static_cast<int>(ms));
    std::printf("shutdown took %lld ms\n", static_cast<long long>(ms));
    EXPECT_FALSE(a.client->isSessionOpen());
    EXPECT_EQ(a.listener.eventsOf("disconnected").at(0).a, CONNECTION_USER_DISCONNECTED);
}

TEST_F(Session, TheKeepAlivePingsAfterTwentySecondsOfSilenceAndGivesUpAfterSixty) {
    ManualClock clock;
    XmppParty a(clock);
    ASSERT_TRUE(a.signUp());
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    clock.setCalendarBack(3600);  // the user sets the clock back an hour: silence still counts

    clock.advance(20);
    a.client->checkKeepAlive();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(a.client->pingAnswers(), 0);

    clock.advance(5);
    a.client->checkKeepAlive();
    ASSERT_TRUE(testsupport::waitUntil([&] { return a.client->pingAnswers() >= 1; }, 15000));
    EXPECT_EQ(a.client->lastActivity(), clock.monotonicMs());
    EXPECT_TRUE(a.client->isConnected());

    clock.advance(61);
    a.client->checkKeepAlive();
    ASSERT_TRUE(a.listener.waitFor("connectionError"));
    EXPECT_EQ(a.listener.eventsOf("connectionError").at(0).a, CONNECTION_NO_ERROR);
    EXPECT_TRUE(testsupport::waitUntil([&] { return !a.client->isSessionOpen(); }, 15000));
    // The give-up is the one report of this end.
    EXPECT_EQ(a.listener.count("disconnected"), 0);
    EXPECT_EQ(a.listener.count("connectionError"), 1);

    // Signing in again at once, while the old session may still be winding down, is not
    // taken for that session: a new one comes up.
    const int connected = a.listener.count("connected");
    a.client->openSession(PRESENCE_AVAILABLE, a.jid, a.password, XmppTestServer::instance().port());
    EXPECT_TRUE(
        testsupport::waitUntil([&] { return a.listener.count("connected") > connected; }, 30000));
}
