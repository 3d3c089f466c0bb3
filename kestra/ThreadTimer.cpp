#include "kestra/ThreadTimer.h"

#include <algorithm>

namespace kestra {

ThreadTimer::ThreadTimer() : thread_(std::make_unique<Thread>(this, L"")) {}

ThreadTimer::~ThreadTimer() {
    active_ = false;
    thread_.reset();  // waits for a run in progress
}

void ThreadTimer::addListener(ITimerListener* listener) {
    if (listener == nullptr ||
        std::find(listeners_.begin(), listeners_.end(), listener) != listeners_.end()) {
        return;
    }
    listeners_.push_back(listener);
}

void ThreadTimer::start() {
    thread_->start();
}

void ThreadTimer::stop() {
    active_ = false;
    while (thread_->isRunning()) {
        Thread::sleep(PERIOD_MS);
    }
}

void ThreadTimer::run() {
    inRun_ = true;
    while (active_) {
        for (ITimerListener* listener : listeners_) {
            if (!active_) {
                break;
            }
            listener->onTimer();
        }
        Thread::sleep(PERIOD_MS);
    }
    inRun_ = false;
}

}  // namespace kestra
