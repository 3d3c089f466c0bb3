#pragma once

#include <memory>

#include "client/app/IMainFrame.h"

class IApplicationManager;
class IGuiFactory;

// The controller's windows, each behind the proxy the GUI factory made for it. They are made
// on the GUI thread, in their fixed order, and shown as the controller decides; the
// controller's thread reaches them through the proxies. The controller lock guards this
// object: the GUI thread holds it while it makes the windows, the controller while it
// wires or looks at them.
class ControllerWindows {
public:
    ControllerWindows();
    ~ControllerWindows();
    ControllerWindows(const ControllerWindows&) = delete;
    ControllerWindows& operator=(const ControllerWindows&) = delete;

    // GUI thread: makes every window and shows those that start shown. A window that
    // cannot be made writes the ERROR line that names it and throws
    // kestra::GUICreateException; the windows made before it are kept.
    void create(IGuiFactory& factory, IApplicationManager& controller);

    // The main frame, or null before it was made.
    IMainFrame* mainFrame() const { return mainFrame_.get(); }
    // The main frame was made and its window still exists.
    bool mainFrameExists() const { return mainFrame_ && mainFrame_->isWindow(); }

    // Lets go of every proxy (the widgets go with the GUI).
    void release();

private:
    std::unique_ptr<IMainFrame> mainFrame_;
};
