#include "kestra/Clock.h"

#include <chrono>
#include <mutex>
#include <thread>

namespace kestra {

std::int64_t SystemClock::monotonicMs() const {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

std::time_t SystemClock::now() const {
    return std::time(nullptr);
}

void SystemClock::sleepMs(unsigned int milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

SystemClock& SystemClock::instance() {
    static SystemClock clock;
    return clock;
}

std::tm localTime(std::time_t t) {
    // std::localtime shares one buffer; one lock keeps concurrent callers apart.
    static std::mutex mutex;
    std::lock_guard<std::mutex> guard(mutex);
    std::tm result = *std::localtime(&t);
    return result;
}

}  // namespace kestra
