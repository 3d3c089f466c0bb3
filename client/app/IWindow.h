#pragma once

// What the controller may do with any of its windows. Every operation may be called from any
// thread: the work is queued to the GUI thread and the answers come from state the window
// mirrors, so nothing here waits for the GUI thread and callers may hold the controller's
// locks.
class IWindow {
public:
    virtual ~IWindow() = default;

    // The window exists (it was made and has not been destroyed).
    virtual bool isWindow() const = 0;
    // The window exists and is shown.
    virtual bool isShown() const = 0;
    // Shows the window (in front); false when there is none.
    virtual bool show() = 0;
    // Hides the window; false when there is none.
    virtual bool hide() = 0;
};
