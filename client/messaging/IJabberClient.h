#pragma once

#include <string>

#include "client/messaging/ChatServer.h"
#include "client/messaging/ProfileCard.h"

class UserContactProfile;

// The XMPP session as the controller uses it: opening and closing the session, and the
// packet operations, each of which queues one packet for the sender thread. Nothing here
// names the XMPP library, so the controller, the windows and their tests compile without
// it. Strings are UTF-8. Every operation may be called from any thread.
class IJabberClient {
public:
    virtual ~IJabberClient() = default;

    // Stores the current time (seconds since 1970) as the last activity; the keep-alive
    // measures silence from it.
    virtual void markActivity() = 0;

    // The user's profile, read for the visibility; null detaches it. Not owned.
    virtual void setUserProfile(UserContactProfile* profile) = 0;
    // Signs in as jidText (user@domain). Nothing happens while a session for the same JID
    // is coming up or up.
    virtual void openSession(int presence, const std::string& jidText, const std::string& password,
                             int port = CHAT_PORT) = 0;
    // The same, but first creates the account by in-band registration.
    virtual void openSessionWithNewAccount(int presence, const std::string& jidText,
                                           const std::string& password, int port = CHAT_PORT) = 0;
    // Stops the sender thread and ends the session.
    virtual void shutdown() = 0;
    // True while signed in.
    virtual bool isConnected() const = 0;
    // Finds or opens the chat session with the JID's bare form; false while not signed in.
    virtual bool openMessageSession(const std::string& jid) = 0;

    // Packet operations.
    virtual void sendChatMessage(const std::string& body, const std::string& jid) = 0;
    virtual void answerAuthorization(const std::string& jid, bool accepted) = 0;
    virtual void requestAuthorization(const std::string& jid, const std::string& message) = 0;
    virtual void changeStatus(int presence, const std::string& status) = 0;
    virtual void updatePosition(double latitude, double longitude) = 0;
    virtual void storeOwnCard(const ProfileCard& card) = 0;
    virtual void requestOwnCard() = 0;
    virtual void requestContactCard(const std::string& jid) = 0;
    virtual void removeContact(const std::string& jid) = 0;
    // gender: 0 male, 1 female, other: no criterion. online: 0 online users only, other:
    // no criterion. distance in miles, 0: no criterion.
    virtual void search(const std::string& user, const std::string& first, const std::string& last,
                        const std::string& nick, const std::string& email, int gender,
                        double distance, int online) = 0;
    virtual void setVisibility(int visibility) = 0;
    virtual void changePassword(const std::string& password) = 0;
    virtual void closeConnection() = 0;
    virtual void sendProfileToBot(const std::string& gender) = 0;

    // False for the characters that may not appear in a JID typed by the user.
    static bool isAllowedChar(wchar_t c) {
        static const std::wstring forbidden = L"&<>'\":";
        return forbidden.find(c) == std::wstring::npos;
    }
};
