#pragma once

#include <string>

// Whether this installation of the client may replace its own files, which is what
// installing an update package does. A client in a folder of the user's own (a build, an
// installation into ~/.local or /opt) updates itself; one that the system's package
// manager installed, or whose program folder this user cannot write to, leaves updates to
// the package manager.
class InstallPlace {
public:
    // The package manager's record of the files of the client's package.
    static constexpr const wchar_t* PACKAGE_FILE_LIST = L"/var/lib/dpkg/info/lumora.list";

    // programFolder holds the client and the updater; packageFileList is the package
    // manager's list of the package's files (one absolute path a line).
    explicit InstallPlace(const std::wstring& programFolder,
                          const std::wstring& packageFileList = PACKAGE_FILE_LIST);

    bool canInstallUpdates() const { return problem_.empty(); }
    // Why updates are not installed here (empty when they are), for the log and the user.
    const std::wstring& problem() const { return problem_; }
    const std::wstring& programFolder() const { return programFolder_; }

private:
    std::wstring programFolder_;
    std::wstring problem_;
};
