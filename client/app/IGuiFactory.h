#pragma once

class IApplicationManager;
class IMainFrame;

// Creates the windows. Called on the GUI thread only; a null result means the window
// could not be created. The controller owns what it returns.
class IGuiFactory {
public:
    virtual ~IGuiFactory() = default;

    virtual IMainFrame* createMainFrame(IApplicationManager* controller) = 0;
};
