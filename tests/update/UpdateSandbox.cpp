#include "UpdateSandbox.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <sstream>

#include "kestra/Log.h"

namespace fs = std::filesystem;

namespace updatetest {

UpdateSandbox::UpdateSandbox() {
    const fs::path home = root() / "home";
    fs::create_directories(home / ".local/share");
    fs::create_directories(home / ".config");
    fs::create_directories(root() / "run");
    fs::permissions(root() / "run", fs::perms::owner_all, fs::perm_options::replace);
    env_.set("HOME", home.string());
    env_.set("XDG_DATA_HOME", (home / ".local/share").string());
    env_.set("XDG_CONFIG_HOME", (home / ".config").string());
    env_.set("XDG_RUNTIME_DIR", (root() / "run").string());
    paths_ = updater::UpdatePaths::fromDataFolder(dataFolder().wstring());
    fs::create_directories(updateFolder());
    fs::create_directories(programFolder());
    addStandInProgram(programFolder(), "Lumora");
}

UpdateSandbox::~UpdateSandbox() {
    kestra::Log::close();
}

fs::path UpdateSandbox::dataFolder() const {
    return root() / "home/.local/share";
}
fs::path UpdateSandbox::programFolder() const {
    return root() / "programs/Lumora";
}
fs::path UpdateSandbox::updateFolder() const {
    return fs::path(paths_.updateFolder);
}
fs::path UpdateSandbox::tempFolder() const {
    return fs::path(paths_.tempFolder);
}
fs::path UpdateSandbox::package() const {
    return fs::path(paths_.package);
}

std::string UpdateSandbox::standInScript(const std::string& name) const {
    return "#!/bin/sh\necho " + name + " >> '" + (root() / "started.txt").string() + "'\n";
}

void UpdateSandbox::addStandInProgram(const fs::path& folder, const std::string& name) {
    fs::create_directories(folder);
    testsupport::writeFile(folder / name, standInScript(name));
    fs::permissions(folder / name, fs::perms(0755), fs::perm_options::replace);
}

std::vector<std::string> UpdateSandbox::startedPrograms() const {
    std::vector<std::string> names;
    std::ifstream in(root() / "started.txt");
    for (std::string line; std::getline(in, line);) {
        names.push_back(line);
    }
    return names;
}

bool UpdateSandbox::waitStarted(const std::string& name, std::size_t times) const {
    return testsupport::waitUntil(
        [&] {
            const auto started = startedPrograms();
            return static_cast<std::size_t>(std::count(started.begin(), started.end(), name)) >=
                   times;
        },
        10000);
}

std::string UpdateSandbox::updaterLog() const {
    return testsupport::readFile(fs::path(paths_.logFile));
}

void UpdateSandbox::openUpdaterLog() const {
    kestra::Log::open(paths_.logFile, kestra::LOG_INFO, 250000);
}

std::vector<std::string> filesBelow(const fs::path& folder) {
    std::vector<std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        if (!entry.is_directory()) {
            files.push_back(fs::relative(entry.path(), folder).string());
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

namespace {

bool setImmutable(const fs::path& folder, bool on) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    int flags = 0;
    bool ok = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    if (ok) {
        flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
        ok = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    }
    ::close(fd);
    return ok;
}

}  // namespace

// Permission bits do not stop root, so as root the folder is made immutable instead.
ReadOnlyFolder::ReadOnlyFolder(const fs::path& folder) : folder_(folder) {
    if (::geteuid() == 0) {
        immutable_ = setImmutable(folder_, true);
        ok_ = immutable_;
    } else {
        std::error_code ec;
        fs::permissions(folder_, fs::perms(0555), fs::perm_options::replace, ec);
        ok_ = !ec;
    }
}

ReadOnlyFolder::~ReadOnlyFolder() {
    if (immutable_) {
        setImmutable(folder_, false);
    } else {
        std::error_code ec;
        fs::permissions(folder_, fs::perms(0755), fs::perm_options::replace, ec);
    }
}

}  // namespace updatetest
