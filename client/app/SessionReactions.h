#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "client/contacts/IUserContactProfileListener.h"
#include "client/messaging/IJabberListener.h"
#include "kestra/MessageQueue.h"
#include "kestra/Mutex.h"

class ChatWindows;
class ControllerWindows;
class IApplicationManager;
class IJabberClient;
class LumoraContact;
class MessageDispatcher;
class UserContactProfile;
struct HTTPResult;

namespace kestra {
class IClock;
}

// The controller's reactions to what the XMPP session reports (it is the session's
// listener), to the user's own status changes, to the sign-up reply and to the profile's
// changes.
//
// Threads: the session calls the listener side on "Jabber" (under its session lock),
// "PacketsSender" or the thread that queued a packet; the profile calls on the thread that
// changed it. A reaction there copies what it needs and posts the rest of its work to the
// controller's thread (UM_SESSION_EVENT); it takes none of the controller's locks (the lock
// order in docs/architecture.md). The message handlers and the account operations run on
// the controller's thread, which is the only one that changes the contact map's members, the
// chat windows and the list; so they need no lock of their own beyond the controller's.
class SessionReactions : public IJabberListener, public IUserContactProfileListener {
public:
    // What the reactions work on, owned by the controller; given once the profile exists.
    struct Parts {
        IJabberClient* session = nullptr;
        UserContactProfile* profile = nullptr;
        ChatWindows* chats = nullptr;
        // Guarded by the controller lock, which is taken around every use.
        ControllerWindows* windows = nullptr;
        kestra::Mutex* controllerLock = nullptr;
        kestra::IClock* clock = nullptr;
        // JIDs removed while offline (user.contactstodelete); the controller's own list.
        std::vector<std::wstring>* contactsToDelete = nullptr;
        std::function<void()> requestRegistration;
        std::function<bool()> guiRuns;
    };

    explicit SessionReactions(IApplicationManager& controller);

    void attach(Parts parts);
    // Adds the handlers of the session's and the windows' messages (UM_CONNECTION_MESSAGE,
    // UM_CHANGE_STATUS, UM_REGISTRATION_REPLY, UM_OPEN_CHAT, UM_RELOGIN, UM_NEW_ACCOUNT,
    // UM_CHANGE_PASSWORD, UM_AUTHORIZATION_REQUEST, UM_AUTHORIZATION_ANSWER,
    // UM_REMOVE_CONTACT, UM_CHANGE_NICK, UM_SET_VISIBILITY, UM_APPLY_USER_DATA and the
    // internal UM_SESSION_EVENT) to the controller's message table.
    void registerHandlers(MessageDispatcher& dispatcher);
    // Start-up: sign in with the stored id, or ask the service for one when there is none.
    void signInAtStart();

    // The user chose a status.
    void changeOwnStatus(int newStatus);
    // A connection state and a text (empty: none) for the user.
    void showConnectionState(int status, const std::wstring& text);
    // The contact of the JID, added to the contact map and the contact list when missing.
    std::shared_ptr<LumoraContact> ensureContact(const std::wstring& jid);

    // IJabberListener (session threads).
    void onNewMessage(const std::string& bareJid, const std::string& body, int subtype) override;
    void onConnected(const int* presence, const std::string& bareJid) override;
    void onRegistrationFields(int fields, const std::string& instructions,
                              RegistrationValues& values) override;
    void onRegistrationNotice(int flag, int alreadyRegistered, const std::string& text) override;
    void onRosterItem(const std::string& jid, const std::string& name) override;
    bool onSubscriptionRequest(const std::string& bareJid, const std::string& sameJid,
                               const std::string& message) override;
    bool onUnsubscriptionRequest(const std::string& userName, const std::string& bareJid) override;
    void onContactPresence(const std::string& jid, const int* presence) override;
    void onDisconnected(int error, int detail) override;
    void onAuthenticationFailed(int error) override;
    void onConnectionError(int error) override;
    void onPasswordChanged(bool success) override;
    void onOwnPresence(const int* presence) override;
    void onVCard(const ProfileCard* card, const std::string& bareJid) override;
    void onOwnVCard(const ProfileCard* card) override;
    void onVCardStored(bool success) override;
    void onContactPosition(const std::string& jid, double latitude, double longitude) override;
    bool getCurrentPosition(double* latitude, double* longitude) override;
    bool getPresencePosition(double* latitude, double* longitude) override;
    void onPacketNotSent(int packetType) override;
    void onPositionNotShared() override;

    // IUserContactProfileListener (the thread that changed the profile).
    void onUserJidChanged(const std::wstring& jid) override;
    void onUserStatusChanged(int oldStatus, int newStatus) override;

    // Status (LumoraContact::StatusType) and presence (JabberPresence) of each other.
    static int presenceForStatus(int status);
    static int statusForPresence(int presence);
    // The text a chat window shows for a message of the subtype; false: not shown.
    static bool messageText(const std::string& body, int subtype, std::wstring& text, bool& notice);

private:
    // Runs work on the controller's thread, in order with its messages.
    void later(std::function<void()> work);
    void deliverMessage(const std::wstring& jid, const std::wstring& text, bool notice);
    void contactPresence(const std::wstring& jid, int status);
    void connectionEnded(int error, int detail);
    void connectionFailed(int error);
    void openChat(const std::shared_ptr<LumoraContact>& contact);
    std::shared_ptr<class IChatWindow> chatWindowFor(const std::shared_ptr<LumoraContact>& contact);
    void removeContact(const std::shared_ptr<LumoraContact>& contact);
    void publishPosition();
    // What the user changed while offline goes to the server (chekUserDataChanges).
    void sendUserDataChanges();
    void onRegistrationReply(const HTTPResult& reply);
    bool isPendingDeletion(const std::wstring& jid) const;
    bool guiRuns() const;

    IApplicationManager& controller_;
    Parts parts_;
    // Set while a new account's id and password wait for the first sign-in, which creates
    // the account on the server.
    bool newAccount_ = false;
    bool reconnectPending_ = false;
};
