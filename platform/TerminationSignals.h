#pragma once

#include <atomic>
#include <functional>
#include <thread>

namespace platform {

// Turns SIGTERM and SIGINT into an orderly request instead of an abrupt end. block() must
// run on the main thread before any other thread starts, so that every thread inherits
// the mask and only the watcher receives the signals.
class TerminationSignals {
public:
    static void block();
    // For a program without a watcher thread (the updater): whether SIGTERM or SIGINT
    // arrived since block(); takes the signal. Never waits.
    static bool takePending();

    TerminationSignals() = default;
    TerminationSignals(const TerminationSignals&) = delete;
    TerminationSignals& operator=(const TerminationSignals&) = delete;
    ~TerminationSignals();

    // onSignal runs on the watcher's thread, once per signal received.
    void start(std::function<void(int)> onSignal);
    void stop();

private:
    std::atomic<bool> stopping_{false};
    std::thread thread_;
};

}  // namespace platform
