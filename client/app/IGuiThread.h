#pragma once

#include <functional>
#include <string>

// The GUI thread as the rest of the program sees it. The GUI toolkit owns the process's
// main thread: exec() runs its loop there; every other thread hands it work with post().
class IGuiThread {
public:
    virtual ~IGuiThread() = default;

    // Runs work on the GUI thread, later and in order. Work posted after the loop ended
    // is dropped.
    virtual void post(std::function<void()> work) = 0;
    // True from creation until the loop has ended.
    virtual bool isRunning() const = 0;
    // Main thread only: runs the loop until quit() or until the main frame closes.
    virtual int exec() = 0;
    // Any thread: ends the loop.
    virtual void quit() = 0;
    // Main thread only: handles pending GUI work for up to ms milliseconds (used while the
    // main thread waits for another thread, so that thread's GUI calls still run).
    virtual void processEvents(int ms) = 0;
    // Main thread only: an error box (or a line on stderr where no screen can show one).
    virtual void showError(const std::wstring& text, const std::wstring& caption) = 0;
};
