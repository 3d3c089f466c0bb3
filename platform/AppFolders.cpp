#include "platform/AppFolders.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
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

bool isDirectory(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Mode 0700 for a folder of ours that others may enter; another user's is left alone.
bool closeToOthers(const std::string& path, const struct stat& st) {
    if (st.st_uid != getuid() || (st.st_mode & (S_IRWXG | S_IRWXO)) == 0) {
        return true;
    }
    return ::chmod(path.c_str(), S_IRWXU) == 0;
}

// Why the temporary folder's lumora-<uid> cannot be trusted.
std::string describeForeignFolder(const std::string& path) {
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0) {
        return path + " cannot be made";
    }
    if (!S_ISDIR(st.st_mode)) {
        return path + " is not a folder";
    }
    char mode[8];
    std::snprintf(mode, sizeof(mode), "%04o", static_cast<unsigned>(st.st_mode & 07777));
    return path + " belongs to user " + std::to_string(static_cast<long>(st.st_uid)) +
           " with mode " + mode;
}

// The user's own replacement for a lock folder in the temporary folder that someone else
// holds: one fixed name per user and machine in the cache folder, so that every instance
// still finds the same lock.
std::string ownRuntimeFolder() {
    std::string base;
    const char* cacheHome = std::getenv("XDG_CACHE_HOME");
    if (cacheHome != nullptr && cacheHome[0] == '/') {
        base = cacheHome;
    } else {
        const std::string home = homeFolderPath();
        if (home.empty()) {
            return std::string();
        }
        base = home + "/.cache";
    }
    char host[256] = {};
    if (gethostname(host, sizeof(host) - 1) != 0) {
        host[0] = '\0';
    }
    const std::string folder = base + "/lumora-runtime-" + host;
    if (!createPrivateFolder(kestra::utf8ToWide(folder)) || !isPrivateFolder(folder)) {
        return std::string();
    }
    return folder;
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
    const fs::path path = fs::path(kestra::wideToUtf8(folder)).lexically_normal();
    if (path.empty()) {
        return false;
    }
    fs::path current;
    for (const fs::path& part : path) {
        current /= part;
        if (part.empty() || isDirectory(current.string())) {
            continue;
        }
        if (::mkdir(current.c_str(), S_IRWXU) != 0 && !isDirectory(current.string())) {
            return false;
        }
    }
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) &&
           closeToOthers(path.string(), st);
}

bool makeFolderTreePrivate(const std::wstring& folder) {
    const std::string root = kestra::wideToUtf8(folder);
    struct stat st {};
    if (root.empty() || ::stat(root.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        return false;
    }
    bool ok = closeToOthers(root, st);
    std::error_code ec;
    // The iterator does not follow links: a link to a folder elsewhere is not changed.
    for (fs::recursive_directory_iterator
             it(root, fs::directory_options::skip_permission_denied, ec),
         end;
         !ec && it != end; it.increment(ec)) {
        if (lstat(it->path().c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
            ok = closeToOthers(it->path().string(), st) && ok;
        }
    }
    return ok && !ec;
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

bool canCreateFilesIn(const std::wstring& folder) {
    const std::string base = kestra::wideToUtf8(folder);
    if (base.empty() || !isDirectory(base)) {
        return false;
    }
    std::string name = base + "/.lumora-write-test-XXXXXX";
    const int fd = ::mkstemp(name.data());
    if (fd < 0) {
        return false;
    }
    ::close(fd);
    ::unlink(name.c_str());
    return true;
}

std::wstring runtimeFolder(std::string* problem) {
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
    if (mkdir(fallback.c_str(), S_IRWXU) == 0 || isPrivateFolder(fallback.string())) {
        return kestra::utf8ToWide(fallback.string());
    }
    const std::string own = ownRuntimeFolder();
    if (problem != nullptr) {
        *problem = "the lock folder " + describeForeignFolder(fallback.string()) + "; " +
                   (own.empty() ? "no private folder can be used instead."
                                : "the private folder " + own + " is used instead.");
    }
    return kestra::utf8ToWide(own);
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
