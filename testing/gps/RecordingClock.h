#pragma once

#include <atomic>
#include <cstdint>

#include "kestra/Clock.h"

namespace gpstesting {

// A clock whose sleeps are added up and pass quickly: a sleep of n ms takes n / divisor ms
// of real time, so a worker's five-second pause costs a test 50 ms.
class RecordingClock : public kestra::IClock {
public:
    explicit RecordingClock(unsigned int divisor = 100) : divisor_(divisor) {}

    std::int64_t monotonicMs() const override;
    std::time_t now() const override;
    void sleepMs(unsigned int milliseconds) override;

    std::uint64_t sleptMs() const { return slept_.load(); }
    void reset() { slept_ = 0; }

private:
    unsigned int divisor_;
    std::atomic<std::uint64_t> slept_{0};
};

}  // namespace gpstesting
