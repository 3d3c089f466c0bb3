#include "update/FileInstaller.h"

#include <filesystem>

#include "kestra/Exceptions.h"
#include "kestra/Log.h"
#include "kestra/TextCodec.h"
#include "platform/FileMove.h"
#include "update/UpdaterConstants.h"

namespace fs = std::filesystem;
using kestra::Log;

namespace updater {
namespace {

std::string backupOf(const std::string& destination) {
    return destination + kestra::wideToUtf8(BACKUP_SUFFIX);
}

bool exists(const std::string& path) {
    std::error_code ec;
    return fs::symlink_status(path, ec).type() != fs::file_type::not_found && !ec;
}

}  // namespace

void FileInstaller::makeBackups(const std::vector<Target>& targets) {
    for (const Target& target : targets) {
        if (!exists(target.destination)) {
            continue;  // nothing to keep
        }
        const std::string backup = backupOf(target.destination);
        std::error_code ec;
        if (exists(backup)) {
            fs::remove(backup, ec);
        }
        fs::rename(target.destination, backup, ec);
        if (ec) {
            Log::error("Process update: Move error while rename files:." + target.destination);
            throw kestra::UpdateException("Process update", "Move error while rename files.");
        }
        backups_.push_back(target.destination);
    }
}

void FileInstaller::install(const std::vector<Target>& targets) {
    for (const Target& target : targets) {
        if (!platform::moveFile(target.source, target.destination)) {
            Log::error("Process update: Move error while update files:." + target.source);
            throw kestra::UpdateException("Process update", "Move error while update files");
        }
        installed_.push_back(target.destination);
    }
}

void FileInstaller::deleteBackups() {
    for (const std::string& destination : backups_) {
        std::error_code ec;
        fs::remove(backupOf(destination), ec);
    }
    backups_.clear();
}

void FileInstaller::rollback() {
    for (const std::string& destination : installed_) {
        std::error_code ec;
        fs::remove(destination, ec);
    }
    installed_.clear();
    for (const std::string& destination : backups_) {
        std::error_code ec;
        fs::rename(backupOf(destination), destination, ec);
        if (ec) {
            Log::error("updater : while rollback. MoveFile error.");
        }
    }
    backups_.clear();
}

}  // namespace updater
