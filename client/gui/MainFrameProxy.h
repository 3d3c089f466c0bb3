#pragma once

#include "client/app/IMainFrame.h"
#include "client/gui/MainFrame.h"
#include "client/gui/WindowProxy.h"

// The controller's handle on the main frame: every operation is queued to the window.
class MainFrameProxy : public WindowProxy<IMainFrame, MainFrame> {
public:
    // GUI thread only, with the window just made.
    MainFrameProxy(IGuiThread& gui, MainFrame* frame);

    bool show() override;
    bool postClose() override;
    bool bringToFront() override;
    void showConnectionStatus(int status) override;
    void showGpsState(int state) override;
    void createChatWindow(const std::shared_ptr<LumoraContact>& contact) override;
    void reconnect(int status, int delayMs) override;
    void showAuthorizationRequest(const std::wstring& jid, const std::wstring& text) override;
    void setNoSleep(bool on) override;
    void showMapLoading(bool loading) override;
    // The timer's thread.
    void onTimer() override;
};
