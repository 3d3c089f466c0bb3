#pragma once

// The top-level window, as the controller uses it. Every operation may be called from any
// thread: the work is queued to the GUI thread, and the answers come from state that the
// window mirrors, so nothing here waits for the GUI thread.
class IMainFrame {
public:
    virtual ~IMainFrame() = default;

    // The window exists (it was created and has not been destroyed).
    virtual bool isWindow() const = 0;
    // Shows the window; false when there is none.
    virtual bool show() = 0;
    // Asks the window to close, as the user would; false when the request cannot be made.
    virtual bool postClose() = 0;
    // Brings the window (and the windows it owns) to the front; false when there is none.
    virtual bool bringToFront() = 0;
};
