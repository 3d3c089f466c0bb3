#pragma once

#include <string>

// A chat window as the controller and the session reactions use it. Every operation may be
// called from any thread: it only queues work for the window, or answers from state that
// the window mirrors, so it never blocks and never calls back into the controller; callers
// may hold the controller's locks.
class IChatWindow {
public:
    virtual ~IChatWindow() = default;

    virtual void destroyChatWindow() = 0;
    // The window exists and is shown.
    virtual bool isChatWindowShown() const = 0;
    // The window is shown and is the active window (the user sees its new lines).
    virtual bool isChatWindowInFront() const = 0;
    // Takes the contact's display name again as the title.
    virtual void refreshChatTitle() = 0;
    // A received line, or a notice (not written to the history).
    virtual void addChatMessage(const std::wstring& text, bool notice) = 0;
    // The contact's new status (LumoraContact::StatusType), shown as a notice.
    virtual void contactStatusChanged(int status) = 0;
    // Enables and shows the window in front; false when it no longer exists.
    virtual bool showChatWindow() = 0;
    // Disables and hides the window.
    virtual void hideChatWindow() = 0;
    virtual void redrawChatWindow() = 0;
};
