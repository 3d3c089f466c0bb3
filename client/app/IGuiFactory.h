#pragma once

#include <memory>

class IApplicationManager;
class IMainFrame;

// Creates the windows, hidden: whether and when a window is shown is the controller's
// decision. Called on the GUI thread only; a null result means the window could not be
// created.
class IGuiFactory {
public:
    virtual ~IGuiFactory() = default;

    virtual std::unique_ptr<IMainFrame> createMainFrame(IApplicationManager& controller) = 0;
};
