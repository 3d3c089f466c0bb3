#pragma once

#include "client/app/IMainFrame.h"
#include "client/gui/MainFrame.h"
#include "client/gui/QueuedWindow.h"

// The controller's handle on the main frame: every operation is queued to the window.
class MainFrameProxy : public IMainFrame {
public:
    // GUI thread only, with the window just made.
    MainFrameProxy(IGuiThread& gui, MainFrame* frame);

    bool isWindow() const override { return window_.exists(); }
    bool show() override;
    bool postClose() override;
    bool bringToFront() override;

private:
    QueuedWindow<MainFrame> window_;
};
