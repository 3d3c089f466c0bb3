#pragma once

#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>

#include "client/app/IChatWindow.h"
#include "kestra/Mutex.h"

class LumoraContact;

// The controller's chat-window bookkeeping: the open chat windows keyed by the contact's
// JID, the current one (the last brought forward), and the unread-message map (the JIDs
// whose messages arrived while their window was not in front, first JID first).
//
// One lock, the message-map lock, guards all three. Calls into the windows only queue work
// (IChatWindow), so they are made under it. Taking the contact of an unread JID takes the
// contact-map lock inside it (the lock order in docs/architecture.md).
class ChatWindows {
public:
    using FindContact = std::function<std::shared_ptr<LumoraContact>(const std::wstring& jid)>;

    explicit ChatWindows(FindContact findContact);
    ~ChatWindows();
    ChatWindows(const ChatWindows&) = delete;
    ChatWindows& operator=(const ChatWindows&) = delete;

    // Keeps the window under the JID (destroying one kept there before) and makes it the
    // current one.
    void add(std::unique_ptr<IChatWindow> window, const std::wstring& jid);
    // The window of the JID, or null.
    std::shared_ptr<IChatWindow> find(const std::wstring& jid) const;
    std::size_t size() const;
    std::wstring currentJid() const;
    // Makes the JID's window the current one and brings it forward; false without one.
    bool bringForward(const std::wstring& jid);
    void bringCurrentForward();
    // Hides the current window; when no other window is shown, none is current any more.
    void hideCurrent();
    void hideAll();
    // Destroys the JID's window and forgets it and its unread mark.
    void remove(const std::wstring& jid);
    // Destroys every window and forgets them. Unread JIDs stay: their messages are in the
    // history and show again when the chat is opened.
    void closeAll();

    void markUnread(const std::wstring& jid);
    // Takes the JID out of the unread map; true when it was there.
    bool takeUnread(const std::wstring& jid);
    bool hasUnreadFrom(const std::wstring& jid) const;
    bool hasUnread() const;
    // The contact of the first unread JID. When it is not in the contact map, the unread
    // map is emptied, an ERROR line written and null returned.
    std::shared_ptr<LumoraContact> firstUnreadContact();

private:
    std::shared_ptr<IChatWindow> currentLocked() const;

    FindContact findContact_;
    mutable kestra::Mutex lock_;
    std::map<std::wstring, std::shared_ptr<IChatWindow>> windows_;
    std::set<std::wstring> unread_;
    std::wstring current_;
};
