#include "client/app/InstallPlace.h"

#include <fstream>

#include "client/app/LumoraMain.h"
#include "kestra/TextCodec.h"
#include "platform/AppFolders.h"

namespace {

// True when the list names the file (the package manager writes one path a line).
bool listNames(const std::wstring& listFile, const std::string& path) {
    std::ifstream in(kestra::wideToUtf8(listFile));
    std::string line;
    while (std::getline(in, line)) {
        if (line == path) {
            return true;
        }
    }
    return false;
}

}  // namespace

InstallPlace::InstallPlace(const std::wstring& programFolder, const std::wstring& packageFileList)
    : programFolder_(programFolder) {
    const std::string client = kestra::wideToUtf8(programFolder + L"/" + LumoraMain::PROGRAM_FILE);
    // Root may write to the system's folders, but files of a package belong to the
    // package manager: replacing them would leave its records wrong.
    if (!packageFileList.empty() && listNames(packageFileList, client)) {
        problem_ = L"the program folder " + programFolder +
                   L" belongs to the system's package; the package manager updates Lumora";
    } else if (!platform::canCreateFilesIn(programFolder)) {
        problem_ = L"the program folder " + programFolder +
                   L" is not writable; updates are installed by whoever installed Lumora there";
    }
}
