#pragma once

#include <string>

#include "kestra/Clock.h"

namespace updater {

// The updater's program flow: wait until the client has let go of the single-instance
// lock, open the log, install the package, start the client (or the post-update program),
// let go of the lock. States: waiting -> updating -> done.
class UpdaterMain {
public:
    static constexpr int LOCK_ATTEMPTS = 1000;
    static constexpr unsigned int LOCK_POLL_MS = 60;

    // programFolder holds the updater and the client (the running program's folder).
    UpdaterMain(const std::wstring& programFolder,
                kestra::IClock& clock = kestra::SystemClock::instance());

    // Returns the exit code: 0 after an update attempt (the client was started again),
    // 1 when the client kept the lock (nothing was changed).
    int run();

private:
    std::wstring programFolder_;
    kestra::IClock& clock_;
};

}  // namespace updater
