#include "platform/AppFolders.h"
#include "platform/FileSystemSync.h"
#include "platform/TerminationSignals.h"
#include "update/UpdaterMain.h"

// LumoraUpdate: started by the client, without arguments, when an update package waits.
// SIGTERM and SIGINT do not end it abruptly: it finishes or undoes the installation first.
int main() {
    platform::TerminationSignals::block();
    platform::installFileSync();
    return updater::UpdaterMain(platform::programFolder(), kestra::SystemClock::instance(),
                                &platform::TerminationSignals::takePending)
        .run();
}
