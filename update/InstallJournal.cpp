#include "update/InstallJournal.h"

#include <filesystem>
#include <fstream>

#include "platform/DurableFile.h"
#include "platform/FileSystemSync.h"

namespace fs = std::filesystem;

namespace updater {
namespace {

const char* const HEADER = "lumora-install-journal 1";
const char* const FILE_ITEM = "file ";

const char* stateName(InstallJournal::State state) {
    return state == InstallJournal::State::Moving ? "moving" : "committed";
}

}  // namespace

bool InstallJournal::exists() const {
    std::error_code ec;
    return fs::symlink_status(path_, ec).type() != fs::file_type::not_found && !ec;
}

bool InstallJournal::write(State state, const std::vector<Entry>& entries) const {
    std::string text = std::string(HEADER) + "\nstate " + stateName(state) + "\n";
    for (const Entry& entry : entries) {
        if (entry.destination.find('\n') != std::string::npos) {
            return false;  // could not be read back
        }
        text += FILE_ITEM + std::string(entry.hadOld ? "1 " : "0 ") + entry.destination + "\n";
    }
    return platform::writeFileDurably(path_, text, 0600);
}

bool InstallJournal::read(State& state, std::vector<Entry>& entries) const {
    entries.clear();
    std::ifstream in(path_, std::ios::binary);
    std::string line;
    if (!in || !std::getline(in, line) || line != HEADER || !std::getline(in, line)) {
        return false;
    }
    if (line == "state moving") {
        state = State::Moving;
    } else if (line == "state committed") {
        state = State::Committed;
    } else {
        return false;
    }
    while (std::getline(in, line)) {
        const std::string prefix = FILE_ITEM;
        if (line.compare(0, prefix.size(), prefix) != 0 || line.size() < prefix.size() + 3 ||
            (line[prefix.size()] != '0' && line[prefix.size()] != '1') ||
            line[prefix.size() + 1] != ' ') {
            return false;
        }
        entries.push_back({line.substr(prefix.size() + 2), line[prefix.size()] == '1'});
    }
    return !in.bad();
}

bool InstallJournal::remove() const {
    std::error_code ec;
    fs::remove(path_, ec);
    platform::syncToDisk(fs::path(path_).parent_path().string());
    return !ec;
}

}  // namespace updater
