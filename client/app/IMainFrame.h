#pragma once

#include <memory>
#include <string>

#include "client/app/IWindow.h"
#include "kestra/ITimerListener.h"

class LumoraContact;

// The top-level window, as the controller uses it. Like every window interface it only
// queues work for the GUI thread (IWindow). The controller's timer ticks it (onTimer, on the
// timer's thread): the messages button blinks while unread messages wait.
class IMainFrame : public IWindow, public kestra::ITimerListener {
public:
    // Asks the window to close, as the user would; false when the request cannot be made.
    virtual bool postClose() = 0;
    // Brings the window (and the windows it owns) to the front; false when there is none.
    virtual bool bringToFront() = 0;
    // The user's connection status (LumoraContact::StatusType) on the status button.
    virtual void showConnectionStatus(int status) = 0;
    // The GPS state (IGpsControl::GpsState) on the GPS button.
    virtual void showGpsState(int state) = 0;
    // Makes the chat window of the contact and registers it with the controller.
    virtual void createChatWindow(const std::shared_ptr<LumoraContact>& contact) = 0;
    // Signs in again after delayMs milliseconds with the given status (an online status; 7
    // or 8 stand for the status the user chose last), unless the user chooses a status
    // first or the frame is no longer offline by then.
    virtual void reconnect(int status, int delayMs) = 0;
    // The user with that JID asks to add the user to their contacts (text: their message):
    // the frame asks the user and posts UM_AUTHORIZATION_ANSWER with the answer.
    virtual void showAuthorizationRequest(const std::wstring& jid, const std::wstring& text) = 0;
    // Keeps the screen on and the computer awake while on.
    virtual void setNoSleep(bool on) = 0;
    // The tile source or map type is being changed: the wait cursor is shown until false.
    virtual void showMapLoading(bool loading) = 0;
};
