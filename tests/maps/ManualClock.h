#pragma once

#include <atomic>
#include <chrono>
#include <thread>

#include "kestra/Clock.h"

// Calendar time that a test moves by hand; intervals and sleeps are real.
class ManualClock : public kestra::IClock {
public:
    std::int64_t monotonicMs() const override {
        return kestra::SystemClock::instance().monotonicMs();
    }
    std::time_t now() const override { return now_.load(); }
    void sleepMs(unsigned int milliseconds) override {
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
    }
    void advance(std::time_t seconds) { now_ += seconds; }

private:
    std::atomic<std::time_t> now_{1700000000};
};
