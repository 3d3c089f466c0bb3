#include "UpdateSandbox.h"

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

}  // namespace updatetest
