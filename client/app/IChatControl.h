#pragma once

#include <memory>
#include <string>

class IChatWindow;
class LumoraContact;

// The chat windows and unread messages, as the main frame and the chat windows see them.
// JIDs are the contacts' bare JIDs.
class IChatControl {
public:
    // Whether a message from the JID waits unread.
    virtual bool hasUnreadMessagesFrom(const std::wstring& jid) = 0;
    // Whether any message waits unread.
    virtual bool hasUnreadMessages() = 0;
    // The contact of the first JID with unread messages; null (and the unread map emptied)
    // when that contact is gone.
    virtual std::shared_ptr<LumoraContact> getFirstContactFromMessageMap() = 0;
    // Brings the chat window last brought forward to the front again.
    virtual void bringCurrentChatWindowForward() = 0;
    // Hides the current chat window; when no other one is shown, none is current.
    virtual void hideCurrentChatWindow() = 0;
    virtual void hideAllChatWindows() = 0;
    // The main frame made a chat window for the JID: the controller keeps it (in place of
    // one it had for that JID) and makes it the current one.
    virtual void registerChatWindow(std::unique_ptr<IChatWindow> window,
                                    const std::wstring& jid) = 0;
    // Queues a chat message to the JID (it waits in the queue while offline).
    virtual void sendChatMessage(const std::wstring& text, const std::wstring& jid) = 0;

protected:
    ~IChatControl() = default;
};
