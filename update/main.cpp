#include "platform/AppFolders.h"
#include "platform/FileSystemSync.h"
#include "update/UpdaterMain.h"

// LumoraUpdate: started by the client, without arguments, when an update package waits.
int main() {
    platform::installFileSync();
    return updater::UpdaterMain(platform::programFolder()).run();
}
