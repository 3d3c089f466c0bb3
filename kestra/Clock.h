#pragma once

#include <cstdint>
#include <ctime>

namespace kestra {

// Time as the program sees it. Components take an IClock so that tests can cross
// midnight or let a minute of silence pass without waiting.
class IClock {
public:
    virtual ~IClock() = default;
    // Milliseconds on a monotonic scale, for intervals and time-outs.
    virtual std::int64_t monotonicMs() const = 0;
    // Calendar time (seconds since the epoch); local dates come from it.
    virtual std::time_t now() const = 0;
    virtual void sleepMs(unsigned int milliseconds) = 0;
};

class SystemClock : public IClock {
public:
    std::int64_t monotonicMs() const override;
    std::time_t now() const override;
    void sleepMs(unsigned int milliseconds) override;

    static SystemClock& instance();
};

// Local broken-down time of t (thread-safe).
std::tm localTime(std::time_t t);

}  // namespace kestra
