#include "update/LumoraUpdateManager.h"

#include "kestra/Log.h"
#include "platform/ProcessLauncher.h"

namespace updater {

bool LumoraUpdateManager::runExe(const std::wstring& path) {
    if (!platform::startDetached(path)) {
        kestra::Log::error("LumoraUpdateManager::runExe error while ShellExecuteEx.");
        return false;
    }
    return true;
}

}  // namespace updater
