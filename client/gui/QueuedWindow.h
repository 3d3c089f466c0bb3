#pragma once

#include <QPointer>
#include <functional>
#include <memory>
#include <string>
#include <utility>

#include "client/app/GuiJob.h"
#include "client/app/IGuiThread.h"
#include "client/gui/WindowMirror.h"
#include "kestra/Log.h"

// The one way a window proxy hands work to its window. Work goes through IGuiThread::post
// and runs on the GUI thread against the window, or is skipped there when the window has
// gone in the meantime; an exception it throws is logged and goes no further. Queries
// answer from the window's mirrored state and never wait for the GUI thread.
//
// Made on the GUI thread with the window it serves; used from any thread afterwards.
template <class Window>
class QueuedWindow {
public:
    // name appears in the log lines ("MainFrame", "ChatDialog", ...).
    QueuedWindow(IGuiThread& gui, Window* window, std::string name)
        : gui_(gui), target_(std::make_shared<Target>()), state_(std::make_shared<WindowState>()) {
        target_->window = window;
        target_->name = std::move(name);
        if (window != nullptr) {
            new WindowMirror(window, state_);  // owned by the window
        }
    }

    // Queues work for the window. False, with nothing queued, when there is no window any
    // more (or the GUI loop has ended).
    bool post(std::function<void(Window&)> work) const {
        if (!exists()) {
            kestra::Log::debug(target_->name + ": no window, the work is not queued.");
            return false;
        }
        std::shared_ptr<Target> target = target_;
        return gui_.post([target, work = std::move(work)] {
            Window* window = target->window.data();
            if (window == nullptr) {
                kestra::Log::debug(target->name + ": no window, the queued work is skipped.");
                return;
            }
            runGuiJob(target->name, [&] { work(*window); });
        });
    }

    // The window exists (it has not been destroyed).
    bool exists() const { return state_->exists.load(); }
    // GUI thread only: the window itself, or null when it is gone.
    Window* widget() const { return target_->window.data(); }
    // The window exists and is shown.
    bool isShown() const { return state_->exists.load() && state_->shown.load(); }

private:
    // Read on the GUI thread only (written before the first post).
    struct Target {
        QPointer<Window> window;
        std::string name;
    };

    IGuiThread& gui_;
    std::shared_ptr<Target> target_;
    std::shared_ptr<WindowState> state_;
};
