#pragma once

#include <map>
#include <string>

#include "client/messaging/ProfileCard.h"
#include "client/messaging/RegistrationValues.h"

// Presence values as the session and its listener exchange them.
enum JabberPresence {
    PRESENCE_UNKNOWN = 0,
    PRESENCE_AVAILABLE = 1,
    PRESENCE_CHAT = 2,
    PRESENCE_AWAY = 3,
    PRESENCE_DND = 4,
    PRESENCE_XA = 5,
    PRESENCE_UNAVAILABLE = 6,
};

// Message subtypes handed to onNewMessage.
enum JabberMessageType {
    MESSAGE_CHAT = 0x1000,
    MESSAGE_ERROR = 0x2000,
    MESSAGE_GROUPCHAT = 0x4000,
    MESSAGE_HEADLINE = 0x8000,
    MESSAGE_NORMAL = 0x10000,
};

// Connection end codes reported through onDisconnected, onAuthenticationFailed and
// onConnectionError (the XMPP library's own numbers).
enum JabberConnectionError {
    CONNECTION_NO_ERROR = 0,
    CONNECTION_STREAM_ERROR = 1,
    CONNECTION_REFUSED = 9,
    CONNECTION_TLS_FAILED = 13,
    CONNECTION_TLS_NOT_AVAILABLE = 14,  // the server offers no STARTTLS; nothing was sent
    CONNECTION_AUTHENTICATION_FAILED = 16,
    CONNECTION_USER_DISCONNECTED = 17,
    CONNECTION_NOT_CONNECTED = 18,
};
// Details that go with them: the stream error "conflict" (signed in elsewhere) and the
// authentication failure "not authorized" (wrong user name or password).
constexpr int STREAM_ERROR_CONFLICT = 3;
constexpr int AUTH_ERROR_NOT_AUTHORIZED = 6;

using SearchResultFields = std::map<std::string, std::string>;

// What the XMPP session reports to the controller. Calls come on the thread that causes
// them: the receive thread "Jabber" for everything the server sends, the sender thread
// "PacketsSender" for the keep-alive's onConnectionError and the position queries, and
// the queueing thread for onPacketNotSent. JIDs and texts are UTF-8. Pointers are valid
// during the call only. The default reactions do nothing.
class IJabberListener {
public:
    virtual ~IJabberListener() = default;

    virtual void onNewMessage(const std::string& /*bareJid*/, const std::string& /*body*/,
                              int /*subtype*/) {}
    virtual void onConnected(const int* /*presence*/, const std::string& /*bareJid*/) {}
    virtual void onRegistrationFields(int /*fields*/, const std::string& /*instructions*/,
                                      RegistrationValues& /*values*/) {}
    virtual void onRegistrationNotice(int /*flag*/, int /*alreadyRegistered*/,
                                      const std::string& /*text*/) {}
    virtual void onRosterItem(const std::string& /*jid*/, const std::string& /*name*/) {}
    virtual bool onSubscriptionRequest(const std::string& /*bareJid*/,
                                       const std::string& /*sameJid*/,
                                       const std::string& /*message*/) {
        return true;
    }
    virtual void onItemSubscribed(const std::string& /*bareJid*/) {}
    // True: withdraw the user's own subscription to the contact in return.
    virtual bool onUnsubscriptionRequest(const std::string& /*userName*/,
                                         const std::string& /*bareJid*/) {
        return true;
    }
    virtual void onItemUnsubscribed(const std::string& /*bareJid*/) {}
    virtual void onItemRemoved(const std::string& /*bareJid*/) {}
    virtual void onItemUpdated(const std::string& /*bareJid*/) {}
    virtual void onContactPresence(const std::string& /*jid*/, const int* /*presence*/) {}
    // card is null when the contact has no card.
    virtual void onVCard(const ProfileCard* /*card*/, const std::string& /*bareJid*/) {}
    virtual void onOwnVCard(const ProfileCard* /*card*/) {}
    virtual void onSearchResultItem(const std::string& /*text*/,
                                    const SearchResultFields& /*fields*/) {}
    virtual void onSearchFinished(const std::string& /*text*/) {}
    virtual void onDisconnected(int /*error*/, int /*detail*/) {}
    virtual void onAuthenticationFailed(int /*error*/) {}
    virtual void onConnectionError(int /*error*/) {}
    virtual void onPasswordChanged(bool /*success*/) {}
    virtual void onOwnPresence(const int* /*presence*/) {}
    virtual void onVCardStored(bool /*success*/) {}
    virtual void onContactPosition(const std::string& /*jid*/, double /*latitude*/,
                                   double /*longitude*/) {}
    // The device's position in decimal degrees, when it has one.
    virtual bool getCurrentPosition(double* /*latitude*/, double* /*longitude*/) { return false; }
    // The position that may go into the presence (none while the user is invisible).
    virtual bool getPresencePosition(double* /*latitude*/, double* /*longitude*/) { return false; }
    virtual void onPacketNotSent(int /*packetType*/) {}
    // The user's own position node cannot be configured or published to (another account
    // created it first, or the server refuses it): positions for everybody reach no one.
    // Called on the receive thread, once per account and program run.
    virtual void onPositionNotShared() {}
};
