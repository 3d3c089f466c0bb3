#include "platform/AppFolders.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "kestra/TextCodec.h"

namespace fs = std::filesystem;

namespace platform {
namespace {

std::string homeFolderPath() {
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] == '/') {
        return home;
    }
    const passwd* entry = getpwuid(getuid());
    return entry != nullptr && entry->pw_dir != nullptr ? entry->pw_dir : std::string();
}

// A folder we may trust with sockets and locks: ours and closed to others.
bool isPrivateFolder(const std::string& path) {
    struct stat st {};
    return lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == getuid() &&
           (st.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

}  // namespace

bool applicationDataFolder(std::wstring& folder) {
    std::string base;
    const char* dataHome = std::getenv("XDG_DATA_HOME");
    if (dataHome != nullptr && dataHome[0] == '/') {
        base = dataHome;
    } else {
        const std::string home = homeFolderPath();
        if (home.empty()) {
            return false;
        }
        base = home + "/.local/share";
    }
    std::error_code ec;
    fs::create_directories(base, ec);
    if (!fs::is_directory(base, ec)) {
        return false;
    }
    folder = kestra::utf8ToWide(base);
    return !folder.empty();
}

bool createPrivateFolder(const std::wstring& folder) {
    const std::string path = kestra::wideToUtf8(folder);
    if (path.empty()) {
        return false;
    }
    std::error_code ec;
    const bool created = fs::create_directories(path, ec);
    if (created) {
        fs::permissions(path, fs::perms::owner_all, fs::perm_options::replace, ec);
    }
    return fs::is_directory(path, ec);
}

std::wstring programPath() {
    std::error_code ec;
    const fs::path self = fs::read_symlink("/proc/self/exe", ec);
    return ec ? std::wstring() : kestra::utf8ToWide(self.string());
}

std::wstring programFolder() {
    const std::string path = kestra::wideToUtf8(programPath());
    return kestra::utf8ToWide(fs::path(path).parent_path().string());
}

std::wstring runtimeFolder() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime != nullptr && runtime[0] == '/' && isPrivateFolder(runtime)) {
        return kestra::utf8ToWide(runtime);
    }
    std::error_code ec;
    const fs::path fallback =
        fs::temp_directory_path(ec) / ("lumora-" + std::to_string(static_cast<long>(getuid())));
    if (ec) {
        return std::wstring();
    }
    if (mkdir(fallback.c_str(), 0700) != 0 && errno != EEXIST) {
        return std::wstring();
    }
    return isPrivateFolder(fallback.string()) ? kestra::utf8ToWide(fallback.string())
                                              : std::wstring();
}

std::wstring homeFolder() {
    return kestra::utf8ToWide(homeFolderPath());
}

std::wstring configFolder() {
    const char* configHome = std::getenv("XDG_CONFIG_HOME");
    if (configHome != nullptr && configHome[0] == '/') {
        return kestra::utf8ToWide(configHome);
    }
    const std::string home = homeFolderPath();
    return home.empty() ? std::wstring() : kestra::utf8ToWide(home + "/.config");
}

}  // namespace platform
