#include "client/messaging/JabberClient.h"

#include <gloox/pubsubevent.h>
#include <gloox/rostermanager.h>

#include "client/contacts/UserContactProfile.h"
#include "client/messaging/PresenceExtension.h"
#include "client/messaging/TlsClient.h"
#include "kestra/Log.h"
#include "kestra/Settings.h"
#include "kestra/TextCodec.h"

namespace {

constexpr int RECEIVE_TIMEOUT_US = 100000;
constexpr unsigned int RECEIVE_PAUSE_MS = 5;

// Authentication failures in the numbering the listener knows: 6 is "not authorized".
int authenticationDetail(gloox::AuthenticationError e) {
    if (e == gloox::SaslNotAuthorized || e == gloox::NonSaslNotAuthorized)
        return AUTH_ERROR_NOT_AUTHORIZED;
    return e >= gloox::SaslMechanismTooWeak ? e - 1 : e;
}

// Stream errors in the numbering the listener knows: 3 is "conflict" (signed in elsewhere).
int streamDetail(gloox::StreamError e) {
    return e == gloox::StreamErrorUndefined ? 0 : e + 1;
}

}  // namespace

JabberClient::JabberClient(IJabberListener* listener, kestra::IClock& clock, int senderWaitMs)
    : listener_(listener), clock_(clock), sender_(*this, senderWaitMs) {
    sender_.start();
}

JabberClient::~JabberClient() {
    shutdown();
}

void JabberClient::setUserProfile(UserContactProfile* profile) {
    userProfile_ = profile;
}

int JabberClient::visibility() const {
    UserContactProfile* profile = userProfile_.load();
    return profile ? profile->getVisibility() : UserContactProfile::INVISIBLE;
}

// Silence is measured on the steady clock: setting the calendar clock neither hides a
// dead link nor makes a live one look dead.
void JabberClient::markActivity() {
    lastActivity_ = clock_.monotonicMs();
}

void JabberClient::openSession(int presence, const std::string& jidText,
                               const std::string& password, int port) {
    startSession(presence, jidText, password, port, false);
}

void JabberClient::openSessionWithNewAccount(int presence, const std::string& jidText,
                                             const std::string& password, int port) {
    startSession(presence, jidText, password, port, true);
}

void JabberClient::startSession(int presence, const std::string& jidText,
                                const std::string& password, int port, bool newAccount) {
    std::lock_guard<std::mutex> open(openLock_);
    {
        kestra::Mutex::Locker lock(sessionLock_);
        // A session whose keep-alive gave up is ending: a new one replaces it.
        if (client_ && receiving_ && !keepAliveGaveUp_ && jidText == jid_.bare())
            return;
        // Packets queued for another account are dropped; those queued before the first
        // session belong to this one.
        if (!jid_.bare().empty() && jidText != jid_.bare())
            sender_.dropAll();
        if (jidText != jid_.bare())
            positionNotSharedTold_ = false;
    }
    endSession();
    kestra::Mutex::Locker lock(sessionLock_);
    jid_ = gloox::JID(jidText);
    jid_.setResource(RESOURCE);
    password_ = password;
    pendingPassword_.clear();
    requestedPresence_ = presence;
    pubsubService_ = "pubsub." + jid_.server();
    nodePrefix_ = "home/" + jid_.server() + "/";
    ownNode_ = nodePrefix_ + jid_.username();
    buildClient(password, port, newAccount);
    lastError_ = 0;
    errorDetail_ = 0;
    keepAliveGaveUp_ = false;
    stopReceiving_ = false;
    connected_ = false;
    receiving_ = true;
    receiveThread_ = std::make_unique<kestra::Thread>(this, L"Jabber");
    receiveThread_->start();
}

void JabberClient::buildClient(const std::string& password, int port, bool newAccount) {
    // 5222 is what the library tries anyway after looking for the domain's SRV record.
    const int glooxPort = (port <= 0 || port == 5222) ? -1 : port;
    if (newAccount) {
        client_ = std::make_unique<gloox::Client>(jid_.server());
        client_->setPort(glooxPort);
    } else {
        client_ = std::make_unique<gloox::Client>(jid_, password, glooxPort);
    }
    creatingAccount_ = newAccount;
    alreadyRegistered_ = false;
    receivedStanzas_ = 0;
    client_->registerConnectionListener(this);
    client_->registerMessageSessionHandler(this, 0);
    // Bounced messages (type error) never open a session; they arrive here without one.
    client_->registerMessageHandler(this);
    client_->registerStatisticsHandler(this);
    client_->registerStanzaExtension(new PresenceExtension(PresenceExtension::NS_STATUS));
    client_->registerStanzaExtension(new gloox::PubSub::Event());
    registration_ = std::make_unique<gloox::Registration>(client_.get());
    registration_->registerRegistrationHandler(this);
    client_->rosterManager()->registerRosterListener(this, false);
    vcardManager_ = std::make_unique<gloox::VCardManager>(client_.get());
    search_ = std::make_unique<gloox::Search>(client_.get());
    pubsubSession_ = new gloox::MessageSession(client_.get(), gloox::JID(pubsubService_), true, 0);
    pubsubSession_->registerMessageHandler(this);
    pubsub_ = std::make_unique<PubsubManager>(client_.get(), pubsubService_, jid_.bare(), ownNode_,
                                              [this] { onOwnNodeRefused(); });
    setUpTls();
    client_->setResource(RESOURCE);
    const int presence = requestedPresence_;
    client_->setPresence(presence >= PRESENCE_AVAILABLE && presence <= PRESENCE_UNAVAILABLE
                             ? static_cast<gloox::Presence::PresenceType>(presence - 1)
                             : gloox::Presence::Available,
                         PRIORITY);
}

// Every sign-in and every account creation runs inside TLS: a server (or anything in
// between) that offers no STARTTLS ends the attempt before the password leaves. The
// server's certificate is checked against the system's trust store and, when the setting
// lumoraServer.cafile names one, that CA file (see TlsClient).
void JabberClient::setUpTls() {
    client_->setTls(gloox::TLSRequired);
    gloox::StringList caFiles;
    std::wstring caFile;
    if (kestra::Settings::isReady() &&
        kestra::Settings::getStringValue(L"lumoraServer.cafile", &caFile) && !caFile.empty()) {
        caFiles.push_back(kestra::wideToUtf8(caFile));
    }
    auto* tls = new TlsClient(client_.get(), client_->server());
    if (!tls->init(gloox::EmptyString, gloox::EmptyString, caFiles)) {
        delete tls;
        kestra::Log::error("JabberClient::openSession: the TLS library cannot be set up.");
        return;
    }
    client_->setEncryptionImpl(tls);
}

bool JabberClient::onTLSConnect(const gloox::CertInfo& info) {
    if (info.status == gloox::CertOk)
        return true;
    kestra::Log::error("JabberClient::onTLSConnect: certificate of " + info.server +
                       " refused (status " + std::to_string(info.status) + ", issuer \"" +
                       info.issuer + "\"): it does not verify against the trusted certificates.");
    return false;
}

void JabberClient::run() {
    markActivity();
    bool started;
    {
        kestra::Mutex::Locker lock(sessionLock_);
        started = client_ && client_->connect(false);
    }
    while (started && !stopReceiving_) {
        gloox::ConnectionError e;
        {
            kestra::Mutex::Locker lock(sessionLock_);
            if (!client_)
                break;
            e = client_->recv(RECEIVE_TIMEOUT_US);
        }
        if (e != gloox::ConnNoError)
            break;
        // The pause lets other threads take the session lock between two receive calls.
        kestra::Thread::sleep(RECEIVE_PAUSE_MS);
    }
    // Marked ended before the listener hears of it, so that a sign-in it asks for at once
    // is not taken for this session.
    connected_ = false;
    receiving_ = false;
    reportEnd();
}

void JabberClient::recordError(gloox::ConnectionError e) {
    if (lastError_ != 0)
        return;
    lastError_ = e;
    if (e == gloox::ConnAuthenticationFailed)
        errorDetail_ = authenticationDetail(client_->authError());
    if (e == gloox::ConnStreamError)
        errorDetail_ = streamDetail(client_->streamError());
}

void JabberClient::reportEnd() {
    int error, detail;
    {
        kestra::Mutex::Locker lock(sessionLock_);
        // The keep-alive that gave up has reported the end already.
        if (keepAliveGaveUp_ || !listener_)
            return;
        error = lastError_;
        detail = errorDetail_;
    }
    if (error == gloox::ConnAuthenticationFailed) {
        if (detail == AUTH_ERROR_NOT_AUTHORIZED) {
            listener_->onAuthenticationFailed(error);
        } else {
            listener_->onConnectionError(error);
        }
    } else if (error == gloox::ConnNoError || error == gloox::ConnUserDisconnected ||
               error == gloox::ConnNotConnected) {
        listener_->onDisconnected(error, -1);
    } else if (error == gloox::ConnStreamError && detail == STREAM_ERROR_CONFLICT) {
        listener_->onDisconnected(error, detail);
    } else {
        listener_->onConnectionError(error);
    }
}

void JabberClient::onConnect() {
    if (!client_->authed()) {
        // Connected without credentials: the account is created first.
        if (creatingAccount_)
            registration_->fetchRegistrationFields();
        return;
    }
    connected_ = true;
    markActivity();
    int presence = requestedPresence_;
    if (listener_)
        listener_->onConnected(&presence, jid_.bare());
    // Contacts can subscribe to the user's node only once it exists.
    if (userProfile_.load())
        pubsub_->changeConfigurations(ownNode_, visibility() == 0);
    sender_.wake();
}

// Told once per account and program run: every sign-in and every position update would
// fail the same way.
void JabberClient::onOwnNodeRefused() {
    if (positionNotSharedTold_)
        return;
    positionNotSharedTold_ = true;
    if (listener_)
        listener_->onPositionNotShared();
}

void JabberClient::onDisconnect(gloox::ConnectionError e) {
    connected_ = false;
    if (e == gloox::ConnTlsNotAvailable) {
        const std::string port =
            client_->port() > 0 ? ":" + std::to_string(client_->port()) : std::string();
        kestra::Log::error("JabberClient::openSession: the server " + client_->server() + port +
                           " offers no TLS (STARTTLS); the sign-in ends so that the password "
                           "never travels in clear.");
    }
    recordError(e);
}

void JabberClient::handleStatistics(const gloox::StatisticsStruct stats) {
    // Everything the server sends proves that the link is alive.
    if (stats.totalStanzasReceived > receivedStanzas_) {
        receivedStanzas_ = stats.totalStanzasReceived;
        markActivity();
    }
}

void JabberClient::handleEvent(const gloox::Event& event) {
    if (event.eventType() == gloox::Event::PingPong ||
        event.eventType() == gloox::Event::PingError) {
        ++pingAnswers_;
        markActivity();
    }
}

// Silence up to 20 s is normal; up to 60 s a ping asks the server for a sign of life;
// after that the link counts as dead.
void JabberClient::checkKeepAlive() {
    kestra::Mutex::Locker lock(sessionLock_);
    if (!client_ || !connected_)
        return;
    const std::int64_t silence = clock_.monotonicMs() - lastActivity_.load();
    if (silence <= 20000)
        return;
    if (silence <= 60000) {
        client_->xmppPing(gloox::JID(jid_.server()), this);
        return;
    }
    keepAliveGaveUp_ = true;
    connected_ = false;
    client_->disconnect();
    if (listener_)
        listener_->onConnectionError(gloox::ConnNoError);
}

void JabberClient::shutdown() {
    std::lock_guard<std::mutex> open(openLock_);
    sender_.stopSender();
    endSession();
}

void JabberClient::endSession() {
    {
        kestra::Mutex::Locker lock(sessionLock_);
        stopReceiving_ = true;
        if (client_ && client_->state() != gloox::StateDisconnected)
            client_->disconnect();
    }
    // Without the lock: the receive thread needs it to finish its last receive call.
    if (receiveThread_) {
        receiveThread_->waitFinished(-1);
        receiveThread_.reset();
    }
    kestra::Mutex::Locker lock(sessionLock_);
    teardownObjects();
}

void JabberClient::teardownObjects() {
    if (!client_)
        return;
    for (auto& entry : sessions_)
        client_->disposeMessageSession(entry.second);
    sessions_.clear();
    if (botSession_)
        client_->disposeMessageSession(botSession_);
    if (pubsubSession_)
        client_->disposeMessageSession(pubsubSession_);
    botSession_ = nullptr;
    pubsubSession_ = nullptr;
    pubsub_.reset();
    search_.reset();
    vcardManager_.reset();
    registration_.reset();
    client_.reset();
    connected_ = false;
}

bool JabberClient::isBot(const gloox::JID& jid) const {
    return jid.server() == CHAT_HOST && jid.username().compare(0, 3, "sys") == 0;
}

gloox::MessageSession* JabberClient::getMessageSession(const std::string& jid) {
    kestra::Mutex::Locker lock(sessionLock_);
    if (!client_ || !connected_)
        return nullptr;
    const gloox::JID peer(gloox::JID(jid).bare());
    auto it = sessions_.find(peer.bare());
    if (it != sessions_.end())
        return it->second;
    auto* session = new gloox::MessageSession(client_.get(), peer, true, 0);
    session->registerMessageHandler(this);
    sessions_[peer.bare()] = session;
    return session;
}
