#include "update/UpdatePaths.h"

#include "update/UpdaterConstants.h"

namespace updater {

UpdatePaths UpdatePaths::fromDataFolder(const std::wstring& dataFolder) {
    UpdatePaths paths;
    paths.updateFolder = dataFolder + L"/" + PRODUCT_NAME + L"/" + std::wstring(UPDATE_FOLDER_NAME);
    paths.tempFolder = paths.updateFolder + L"/" + TEMP_FOLDER_NAME + L"/";
    paths.package = paths.updateFolder + L"/" + PACKAGE_NAME;
    paths.logFile = paths.updateFolder + L"/" + LOG_NAME;
    paths.configFile = paths.tempFolder + CONFIG_NAME;
    paths.pendingMarker = paths.updateFolder + L"/" + PENDING_NAME;
    paths.journal = paths.updateFolder + L"/" + JOURNAL_NAME;
    return paths;
}

}  // namespace updater
