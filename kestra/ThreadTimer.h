#pragma once

#include <atomic>
#include <memory>
#include <vector>

#include "kestra/IRunnable.h"
#include "kestra/ITimerListener.h"
#include "kestra/Thread.h"

namespace kestra {

// Calls its listeners from its own thread every 125 ms until stopped. Listeners are all
// added before start(); the timer is not restarted after stop().
class ThreadTimer : public IRunnable {
public:
    static constexpr unsigned int PERIOD_MS = 125;

    ThreadTimer();
    ~ThreadTimer() override;

    void addListener(ITimerListener* listener);
    void start();
    // Asks the thread to end and polls every 125 ms until it has.
    void stop();
    bool isInRun() const { return inRun_.load(); }
    bool isActive() const { return active_.load(); }

    void run() override;

private:
    std::atomic<bool> active_{true};
    std::atomic<bool> inRun_{false};
    std::vector<ITimerListener*> listeners_;
    std::unique_ptr<Thread> thread_;
};

}  // namespace kestra
