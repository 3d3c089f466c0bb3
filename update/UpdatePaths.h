#pragma once

#include <string>

namespace updater {

// The updater's files, all under the client's update folder
// (data folder + "/Lumora/update"). The temporary folder ends in "/".
struct UpdatePaths {
    std::wstring updateFolder;
    std::wstring tempFolder;
    std::wstring package;
    std::wstring logFile;
    std::wstring configFile;
    std::wstring pendingMarker;
    std::wstring journal;

    static UpdatePaths fromDataFolder(const std::wstring& dataFolder);
};

}  // namespace updater
