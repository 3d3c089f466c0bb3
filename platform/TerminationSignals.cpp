#include "platform/TerminationSignals.h"

#include <pthread.h>
#include <signal.h>

#include <ctime>

namespace platform {
namespace {

sigset_t terminationSet() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGINT);
    return set;
}

}  // namespace

void TerminationSignals::block() {
    const sigset_t set = terminationSet();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

bool TerminationSignals::takePending() {
    const sigset_t set = terminationSet();
    const timespec none{0, 0};
    return sigtimedwait(&set, nullptr, &none) > 0;
}

TerminationSignals::~TerminationSignals() {
    stop();
}

void TerminationSignals::start(std::function<void(int)> onSignal) {
    stopping_ = false;
    thread_ = std::thread([this, onSignal] {
        const sigset_t set = terminationSet();
        const timespec period{0, 100 * 1000 * 1000};
        while (!stopping_) {
            const int signal = sigtimedwait(&set, nullptr, &period);
            if (signal > 0 && onSignal) {
                onSignal(signal);
            }
        }
    });
}

void TerminationSignals::stop() {
    stopping_ = true;
    if (thread_.joinable()) {
        thread_.join();
    }
}

}  // namespace platform
