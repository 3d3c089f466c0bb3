#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <thread>

#include "kestra/Clock.h"

// Time that a test moves by hand: advance() moves the steady and the calendar time
// together, setCalendarBack() only the calendar (as a user setting the clock does).
// Sleeps are real.
class ManualClock : public kestra::IClock {
public:
    std::int64_t monotonicMs() const override { return steadyMs_.load(); }
    std::time_t now() const override { return now_.load(); }
    void sleepMs(unsigned int milliseconds) override {
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
    }
    void advance(std::time_t seconds) {
        now_ += seconds;
        steadyMs_ += static_cast<std::int64_t>(seconds) * 1000;
    }
    void setCalendarBack(std::time_t seconds) { now_ -= seconds; }

private:
    std::atomic<std::time_t> now_{1700000000};
    std::atomic<std::int64_t> steadyMs_{5000000};
};
