#pragma once

#include <functional>
#include <string>

#include "kestra/Clock.h"

namespace platform {
class SingleInstanceLock;
}

namespace updater {

// The updater's program flow: wait until the client has let go of the single-instance
// lock, open the log, install the package (finishing or undoing first what an interrupted
// run left), start the client (or the post-update program), let go of the lock. States:
// waiting -> updating -> done. A termination request while waiting ends the run with no
// change; one while updating is handled by the installation (ApplicationManager).
class UpdaterMain {
public:
    static constexpr int LOCK_ATTEMPTS = 1000;
    static constexpr unsigned int LOCK_POLL_MS = 60;

    // programFolder holds the updater and the client (the running program's folder).
    // stopRequested tells whether the updater was asked to end (SIGTERM, SIGINT).
    UpdaterMain(const std::wstring& programFolder,
                kestra::IClock& clock = kestra::SystemClock::instance(),
                std::function<bool()> stopRequested = {});

    // Returns the exit code: 0 after an update attempt (the client was started again, or
    // the installation was finished on a termination request), 1 when the client kept the
    // lock or a termination request ended the run before anything was installed.
    int run();

private:
    bool waitForLock(platform::SingleInstanceLock& lock);

    std::wstring programFolder_;
    kestra::IClock& clock_;
    std::function<bool()> stopRequested_;
};

}  // namespace updater
