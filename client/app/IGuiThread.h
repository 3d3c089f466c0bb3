#pragma once

#include <functional>
#include <string>

// The GUI thread as the rest of the program sees it. The GUI toolkit owns the process's
// main thread: exec() runs its loop there; every other thread hands it work with post().
//
// States: running (from creation, also before exec() starts) -> ended (the loop returned).
// Work runs in the order it was posted, and only while the loop runs: work still queued
// when the loop ends, and work posted after that, is dropped. Nothing may therefore wait
// for posted work to finish; the program talks to its windows by queued calls only.
class IGuiThread {
public:
    virtual ~IGuiThread() = default;

    // Any thread: queues work for the GUI thread. An exception thrown by the work is
    // logged there and goes no further. False when the loop has ended (nothing queued).
    virtual bool post(std::function<void()> work) = 0;
    // True from creation until the loop has ended.
    virtual bool isRunning() const = 0;
    // Main thread only: runs the loop until quit() or until the main frame closes.
    virtual int exec() = 0;
    // Any thread: ends the loop once the work posted before this call has run.
    virtual void quit() = 0;
    // Main thread only: handles the toolkit's own pending events for up to ms milliseconds
    // (used while the main thread waits for another thread after the loop ended).
    virtual void processEvents(int ms) = 0;
    // Main thread only: an error box (or a line on stderr where no screen can show one).
    virtual void showError(const std::wstring& text, const std::wstring& caption) = 0;
};
