#include "update/UpdaterMain.h"

#include "kestra/Exceptions.h"
#include "kestra/Log.h"
#include "platform/AppFolders.h"
#include "platform/SingleInstanceLock.h"
#include "update/ApplicationManager.h"
#include "update/LumoraUpdateManager.h"
#include "update/UpdaterConstants.h"

using kestra::Log;

namespace updater {
namespace {

bool waitForLock(platform::SingleInstanceLock& lock, kestra::IClock& clock) {
    for (int attempt = 0; attempt < UpdaterMain::LOCK_ATTEMPTS; ++attempt) {
        if (lock.tryAcquire()) {
            return true;
        }
        clock.sleepMs(UpdaterMain::LOCK_POLL_MS);
    }
    return false;
}

// Opens the log in the update folder; the folder is made when missing so that even a run
// without a package leaves its trace.
void openLog(const std::wstring& dataFolder) {
    if (dataFolder.empty()) {
        return;
    }
    const UpdatePaths paths = UpdatePaths::fromDataFolder(dataFolder);
    platform::createPrivateFolder(paths.updateFolder);
    Log::open(paths.logFile, kestra::LOG_INFO, LOG_SIZE_LIMIT);
}

}  // namespace

UpdaterMain::UpdaterMain(const std::wstring& programFolder, kestra::IClock& clock)
    : programFolder_(programFolder), clock_(clock) {}

int UpdaterMain::run() {
    platform::SingleInstanceLock lock(MUTEX_NAME);
    const bool locked = waitForLock(lock, clock_);
    std::wstring dataFolder;
    platform::applicationDataFolder(dataFolder);
    openLog(dataFolder);
    if (!locked) {
        Log::error("_tmain: the client still holds KESTRA_LUMORA_APPLICATION_MUTEX; no update.");
        Log::close();
        return 1;
    }
    try {
        const PlaceholderTable table = PlaceholderTable::fromSystem(programFolder_);
        ApplicationManager manager(UpdatePaths::fromDataFolder(dataFolder), table, programFolder_);
        manager.processUpdate();
    } catch (const kestra::UpdateException&) {
        Log::error("_tmain UpdateException.");
        LumoraUpdateManager().runExe(programFolder_ + L"/" + PRODUCT_NAME);
    }
    Log::close();
    lock.release();
    return 0;
}

}  // namespace updater
