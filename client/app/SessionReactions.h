#pragma once

#include <string>

#include "client/messaging/IJabberListener.h"
#include "kestra/MessageQueue.h"

class IControllerCommands;
class MessageDispatcher;

// The controller's reactions to what the XMPP session reports (it is the session's
// listener), to the user's own status changes and to the sign-up reply.
//
// Threads: the session calls the listener side on "Jabber" (under its session lock),
// "PacketsSender" or the thread that queued a packet. A reaction there copies what it
// needs and posts it to the controller's thread as a typed payload; it takes none of the
// controller's locks (the lock order in docs/architecture.md). The message handlers and
// the account operations run on the controller's thread.
//
// The reactions that sign in, show presences, open chats and store cards are not part of
// the program yet; until then the listener side keeps the interface's default reactions.
class SessionReactions : public IJabberListener {
public:
    explicit SessionReactions(IControllerCommands& controller);

    // Adds the handlers of UM_CONNECTION_MESSAGE, UM_CHANGE_STATUS and
    // UM_REGISTRATION_REPLY to the controller's message table.
    void registerHandlers(MessageDispatcher& dispatcher);

    // The user chose a status.
    void changeOwnStatus(int newStatus);
    // A connection state and a text (empty: none) for the user.
    void showConnectionState(int status, const std::wstring& text);

    // The session's report that the own position node is refused (on "Jabber").
    void onPositionNotShared() override;

private:
    void onConnectionMessage(const kestra::ThreadMessage& message);
    void onRegistrationReply(const kestra::ThreadMessage& message);

    IControllerCommands& controller_;
};
