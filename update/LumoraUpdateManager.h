#pragma once

#include <string>

namespace updater {

// Starts the programs that run after an update: the client again, or the package's own
// post-update program.
class LumoraUpdateManager {
public:
    // Starts the program detached, without arguments; logs and returns false on failure.
    bool runExe(const std::wstring& path);
};

}  // namespace updater
