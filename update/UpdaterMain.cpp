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

UpdaterMain::UpdaterMain(const std::wstring& programFolder, kestra::IClock& clock,
                         std::function<bool()> stopRequested)
    : programFolder_(programFolder), clock_(clock), stopRequested_(std::move(stopRequested)) {}

bool UpdaterMain::waitForLock(platform::SingleInstanceLock& lock) {
    for (int attempt = 0; attempt < LOCK_ATTEMPTS; ++attempt) {
        if (lock.tryAcquire()) {
            return true;
        }
        if (stopRequested_ && stopRequested_()) {
            return false;
        }
        clock_.sleepMs(LOCK_POLL_MS);
    }
    return false;
}

int UpdaterMain::run() {
    platform::SingleInstanceLock lock(MUTEX_NAME);
    const bool locked = waitForLock(lock);
    std::wstring dataFolder;
    platform::applicationDataFolder(dataFolder);
    openLog(dataFolder);
    if (!locked) {
        Log::error("_tmain: the client still holds KESTRA_LUMORA_APPLICATION_MUTEX; no update.");
        Log::close();
        return 1;
    }
    int exitCode = 0;
    try {
        const PlaceholderTable table = PlaceholderTable::fromSystem(programFolder_);
        ApplicationManager manager(UpdatePaths::fromDataFolder(dataFolder), table, programFolder_,
                                   stopRequested_);
        manager.processUpdate();
        exitCode = manager.wasInterrupted() ? 1 : 0;
    } catch (const kestra::UpdateException&) {
        Log::error("_tmain UpdateException.");
        LumoraUpdateManager().runExe(programFolder_ + L"/" + PRODUCT_NAME);
    }
    Log::close();
    lock.release();
    return exitCode;
}

}  // namespace updater
