#include "RecordingClock.h"

#include <chrono>
#include <thread>

namespace gpstesting {

std::int64_t RecordingClock::monotonicMs() const {
    return kestra::SystemClock::instance().monotonicMs();
}

std::time_t RecordingClock::now() const {
    return kestra::SystemClock::instance().now();
}

void RecordingClock::sleepMs(unsigned int milliseconds) {
    slept_ += milliseconds;
    std::this_thread::sleep_for(std::chrono::microseconds(milliseconds * 1000ULL / divisor_));
}

}  // namespace gpstesting
