#pragma once

#include <gloox/client.h>
#include <gloox/connectionlistener.h>
#include <gloox/eventhandler.h>
#include <gloox/messagehandler.h>
#include <gloox/messagesession.h>
#include <gloox/messagesessionhandler.h>
#include <gloox/registration.h>
#include <gloox/registrationhandler.h>
#include <gloox/rosterlistener.h>
#include <gloox/search.h>
#include <gloox/searchhandler.h>
#include <gloox/statisticshandler.h>
#include <gloox/vcardhandler.h>
#include <gloox/vcardmanager.h>

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "client/messaging/ChatServer.h"
#include "client/messaging/IJabberClient.h"
#include "client/messaging/IJabberListener.h"
#include "client/messaging/IPacketSession.h"
#include "client/messaging/PacketsSender.h"
#include "client/messaging/PubsubManager.h"
#include "kestra/Clock.h"
#include "kestra/IRunnable.h"
#include "kestra/Mutex.h"
#include "kestra/Thread.h"

class UserContactProfile;

// The client's one XMPP session: the gloox client and its managers, the receive loop on
// the thread "Jabber", the packet queue with its thread "PacketsSender", and the service's
// own extensions (positions in presences and on publish-subscribe nodes, the search bot,
// profile cards). Every gloox callback becomes a call on the listener.
//
// States: no client (after construction and shutdown) -> connecting (receiving, not
// connected) -> connected (signed in) -> ended (the receive loop returned; the gloox
// objects stay until the next openSession or shutdown).
//
// Locking: sessionLock_ (recursive) guards every use of the gloox objects. The receive
// thread holds it around each receive call of at most 100 ms, so other threads get their
// turn between two calls, and gloox callbacks (and listener calls made from them) run
// under it. Listeners must therefore never wait for a thread that may be waiting for the
// session; posting is fine.
class JabberClient : public IJabberClient,
                     public IPacketSession,
                     private gloox::MessageHandler,
                     private gloox::MessageSessionHandler,
                     private gloox::RegistrationHandler,
                     private gloox::RosterListener,
                     private gloox::VCardHandler,
                     private gloox::SearchHandler,
                     private gloox::ConnectionListener,
                     private gloox::EventHandler,
                     private gloox::StatisticsHandler,
                     public kestra::IRunnable {
public:
    static constexpr const char* RESOURCE = "Lumora";
    static constexpr int PRIORITY = 127;

    explicit JabberClient(IJabberListener* listener,
                          kestra::IClock& clock = kestra::SystemClock::instance(),
                          int senderWaitMs = 20000);
    ~JabberClient() override;
    JabberClient(const JabberClient&) = delete;
    JabberClient& operator=(const JabberClient&) = delete;

    void setUserProfile(UserContactProfile* profile) override;

    // Signs in as jidText (user@domain) on the thread "Jabber". The port is the
    // configured one; 5222 (or less than 1) lets the library find the server (SRV, then
    // 5222). Nothing happens while a session for the same JID is coming up or up.
    void openSession(int presence, const std::string& jidText, const std::string& password,
                     int port = CHAT_PORT) override;
    // The same, but first creates the account by in-band registration (the listener
    // fills in the registration values), then signs in with it.
    void openSessionWithNewAccount(int presence, const std::string& jidText,
                                   const std::string& password, int port = CHAT_PORT) override;
    // Stops the sender thread and ends the session; returns within about a second.
    void shutdown() override;

    // The chat session of the JID's bare form, created when missing; null while not
    // signed in. The session belongs to the client.
    gloox::MessageSession* getMessageSession(const std::string& jid);
    bool openMessageSession(const std::string& jid) override {
        return getMessageSession(jid) != nullptr;
    }

    // Packet operations: each queues one packet for the sender thread.
    void sendChatMessage(const std::string& body, const std::string& jid) override;
    void answerAuthorization(const std::string& jid, bool accepted) override;
    void requestAuthorization(const std::string& jid, const std::string& message) override;
    void changeStatus(int presence, const std::string& status) override;
    void updatePosition(double latitude, double longitude) override;
    void storeOwnCard(const ProfileCard& card) override;
    void requestOwnCard() override;
    void requestContactCard(const std::string& jid) override;
    void removeContact(const std::string& jid) override;
    void search(const std::string& user, const std::string& first, const std::string& last,
                const std::string& nick, const std::string& email, int gender, double distance,
                int online) override;
    void setVisibility(int visibility) override;
    void changePassword(const std::string& password) override;
    void closeConnection() override;
    void sendProfileToBot(const std::string& gender) override;
    void queuePacket(std::unique_ptr<JabberPacket> packet);

    // The receive loop of the thread "Jabber".
    void run() override;

    // IPacketSession, used by the sender thread.
    bool send(std::unique_ptr<JabberPacket>& packet) override;
    void checkKeepAlive() override;
    bool isSessionOpen() const override { return receiving_.load(); }
    void reportPacketNotSent(int packetType) override;

    void markActivity() override;
    // The steady-clock time (ms) of the last sign of life from the server.
    std::int64_t lastActivity() const { return lastActivity_.load(); }
    bool isConnected() const override { return connected_.load(); }
    // Answers to the keep-alive's pings so far.
    int pingAnswers() const { return pingAnswers_.load(); }
    size_t queuedPackets() const { return sender_.queuedCount(); }

private:
    // Session core.
    void startSession(int presence, const std::string& jidText, const std::string& password,
                      int port, bool newAccount);
    void endSession();
    void buildClient(const std::string& password, int port, bool newAccount);
    void setUpTls();
    void teardownObjects();
    void reportEnd();
    void recordError(gloox::ConnectionError e);
    void onOwnNodeRefused();
    bool isBot(const gloox::JID& jid) const;
    int visibility() const;

    // Sending.
    void perform(const JabberPacket& packet);
    void performCardPacket(const JabberPacket& packet);
    void sendPresence(const gloox::JID* to, gloox::Presence::PresenceType presence,
                      const std::string& status, const std::string& ns, const std::string& value);
    void performAuthorization(const gloox::JID& jid, bool accepted);
    void performAuthorizationRequest(const gloox::JID& jid, const std::string& message);
    void performStatus(int presence, const std::string& status);
    void performPosition(double latitude, double longitude);
    void performRemove(const gloox::JID& jid);
    void performSearch(const SearchContactsPacket& packet);
    void performVisibility(int visibility);
    void subscribeToContactNode(const gloox::JID& jid);

    // Receiving.
    void handlePubsubEvent(const gloox::Message& message);
    void parseSearchXML(const std::string& body);
    void readPresencePosition(const gloox::RosterItem& item, const std::string& resource);
    void tellBotVisibility(const gloox::JID& bot);

    // gloox callbacks.
    void handleMessage(const gloox::Message& message, gloox::MessageSession* session) override;
    void handleMessageSession(gloox::MessageSession* session) override;
    void handleRegistrationFields(const gloox::JID& from, int fields,
                                  std::string instructions) override;
    void handleAlreadyRegistered(const gloox::JID& from) override;
    void handleRegistrationResult(const gloox::JID& from,
                                  gloox::RegistrationResult result) override;
    void handleDataForm(const gloox::JID& from, const gloox::DataForm& form) override;
    void handleOOB(const gloox::JID& from, const gloox::OOB& oob) override;
    void handleItemAdded(const gloox::JID& jid) override;
    void handleItemSubscribed(const gloox::JID& jid) override;
    void handleItemRemoved(const gloox::JID& jid) override;
    void handleItemUpdated(const gloox::JID& jid) override;
    void handleItemUnsubscribed(const gloox::JID& jid) override;
    void handleRoster(const gloox::Roster& roster) override;
    void handleRosterPresence(const gloox::RosterItem& item, const std::string& resource,
                              gloox::Presence::PresenceType presence,
                              const std::string& msg) override;
    void handleSelfPresence(const gloox::RosterItem& item, const std::string& resource,
                            gloox::Presence::PresenceType presence,
                            const std::string& msg) override;
    bool handleSubscriptionRequest(const gloox::JID& jid, const std::string& msg) override;
    bool handleUnsubscriptionRequest(const gloox::JID& jid, const std::string& msg) override;
    void handleNonrosterPresence(const gloox::Presence& presence) override;
    void handleRosterError(const gloox::IQ& iq) override;
    void handleVCard(const gloox::JID& jid, const gloox::VCard* vcard) override;
    void handleVCardResult(VCardContext context, const gloox::JID& jid,
                           gloox::StanzaError se) override;
    void handleSearchFields(const gloox::JID& directory, int fields,
                            const std::string& instructions) override;
    void handleSearchFields(const gloox::JID& directory, const gloox::DataForm* form) override;
    void handleSearchResult(const gloox::JID& directory,
                            const gloox::SearchResultList& results) override;
    void handleSearchResult(const gloox::JID& directory, const gloox::DataForm* form) override;
    void handleSearchError(const gloox::JID& directory, const gloox::Error* error) override;
    void onConnect() override;
    void onDisconnect(gloox::ConnectionError e) override;
    bool onTLSConnect(const gloox::CertInfo& info) override;
    void handleEvent(const gloox::Event& event) override;
    void handleStatistics(const gloox::StatisticsStruct stats) override;

    IJabberListener* listener_;
    kestra::IClock& clock_;

    std::string password_;
    std::string pendingPassword_;
    gloox::JID jid_;
    int requestedPresence_ = PRESENCE_AVAILABLE;

    std::mutex openLock_;        // one openSession or shutdown at a time
    kestra::Mutex sessionLock_;  // guards everything below that gloox touches
    std::unique_ptr<kestra::Thread> receiveThread_;
    std::atomic<bool> receiving_{false};
    std::atomic<bool> connected_{false};
    std::atomic<bool> stopReceiving_{false};
    std::atomic<std::int64_t> lastActivity_{0};
    std::atomic<int> pingAnswers_{0};
    std::atomic<UserContactProfile*> userProfile_{nullptr};

    std::unique_ptr<gloox::Client> client_;
    std::unique_ptr<gloox::Registration> registration_;
    std::unique_ptr<gloox::VCardManager> vcardManager_;
    std::unique_ptr<gloox::Search> search_;
    std::unique_ptr<PubsubManager> pubsub_;
    std::map<std::string, gloox::MessageSession*> sessions_;
    gloox::MessageSession* botSession_ = nullptr;
    gloox::MessageSession* pubsubSession_ = nullptr;
    std::string pubsubService_;
    std::string nodePrefix_;
    std::string ownNode_;

    int lastError_ = 0;
    int errorDetail_ = 0;
    bool keepAliveGaveUp_ = false;
    bool creatingAccount_ = false;
    bool alreadyRegistered_ = false;
    bool positionNotSharedTold_ = false;
    long receivedStanzas_ = 0;

    // Last member: its thread starts in the constructor body and calls back into this object.
    PacketsSender sender_;
};
