#include "update/FileInstaller.h"

#include <filesystem>
#include <set>

#include "kestra/Exceptions.h"
#include "kestra/Log.h"
#include "kestra/TextCodec.h"
#include "platform/FileMove.h"
#include "platform/FileSystemSync.h"
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

// The old file stays where it is; its backup is a second name for it (or a copy).
bool keepBackup(const std::string& destination) {
    std::error_code ec;
    fs::create_hard_link(destination, backupOf(destination), ec);
    return !ec || platform::copyFile(destination, backupOf(destination));
}

// Renames and links are durable once the folders holding them are on the disk.
void syncFoldersOf(const std::vector<InstallJournal::Entry>& entries) {
    std::set<std::string> folders;
    for (const InstallJournal::Entry& entry : entries) {
        folders.insert(fs::path(entry.destination).parent_path().string());
    }
    for (const std::string& folder : folders) {
        platform::syncToDisk(folder);
    }
}

}  // namespace

FileInstaller::FileInstaller(InstallJournal journal, std::function<bool()> stopRequested)
    : journal_(std::move(journal)), stopRequested_(std::move(stopRequested)) {}

void FileInstaller::prepare(const std::vector<Target>& targets) {
    targets_ = targets;
    entries_.clear();
    for (const Target& target : targets_) {
        const std::string backup = backupOf(target.destination);
        std::error_code ec;
        if (exists(backup)) {
            fs::remove(backup, ec);  // left by an earlier package
        }
        entries_.push_back({target.destination, exists(target.destination)});
    }
    if (!journal_.write(InstallJournal::State::Moving, entries_)) {
        Log::error("Process update: the install journal cannot be written:." + journal_.path());
        throw kestra::UpdateException("Process update", "Journal error.");
    }
    journalWritten_ = true;
}

bool FileInstaller::makeBackups() {
    for (const InstallJournal::Entry& entry : entries_) {
        if (stopped()) {
            return false;
        }
        if (entry.hadOld && !keepBackup(entry.destination)) {
            Log::error("Process update: Move error while rename files:." + entry.destination);
            throw kestra::UpdateException("Process update", "Move error while rename files.");
        }
    }
    syncFoldersOf(entries_);
    return true;
}

bool FileInstaller::install() {
    for (const Target& target : targets_) {
        if (stopped()) {
            return false;
        }
        if (!platform::moveFile(target.source, target.destination)) {
            Log::error("Process update: Move error while update files:." + target.source);
            throw kestra::UpdateException("Process update", "Move error while update files");
        }
    }
    syncFoldersOf(entries_);
    return true;
}

bool FileInstaller::commit() {
    journalWritten_ = false;  // nothing to roll back any more
    if (!journal_.write(InstallJournal::State::Committed, entries_)) {
        Log::error("Process update: the install journal cannot be written:." + journal_.path());
        return false;
    }
    return true;
}

void FileInstaller::finish() {
    deleteBackups(entries_);
    journal_.remove();
}

void FileInstaller::rollback() {
    if (!journalWritten_) {
        return;  // nothing was touched
    }
    if (restore(entries_)) {
        journal_.remove();
        journalWritten_ = false;
    }
}

FileInstaller::Recovery FileInstaller::recover(const InstallJournal& journal) {
    if (!journal.exists()) {
        return Recovery::Nothing;
    }
    InstallJournal::State state = InstallJournal::State::Moving;
    std::vector<InstallJournal::Entry> entries;
    if (!journal.read(state, entries)) {
        Log::error("updater : the install journal cannot be read; the package is installed again.");
        journal.remove();
        return Recovery::Unreadable;
    }
    if (state == InstallJournal::State::Committed) {
        Log::info("updater : an interrupted installation is finished.");
        deleteBackups(entries);
        journal.remove();
        return Recovery::Finished;
    }
    Log::info("updater : an interrupted installation is rolled back.");
    if (restore(entries)) {
        journal.remove();
    }
    return Recovery::RolledBack;
}

// A destination that had an old file gets it back from the backup, in one rename (the new
// file, if any, is replaced by it; when the backup is still a second name of the old file
// the backup name is only dropped). A backup that is missing was never made: the old file
// is still in place. A destination without an old file loses what was installed there.
bool FileInstaller::restore(const std::vector<InstallJournal::Entry>& entries) {
    bool restored = true;
    for (const InstallJournal::Entry& entry : entries) {
        std::error_code ec;
        const std::string backup = backupOf(entry.destination);
        if (entry.hadOld && exists(backup)) {
            // Both names of one file (nothing installed yet): rename() would leave both.
            if (exists(entry.destination) && fs::equivalent(backup, entry.destination, ec)) {
                fs::remove(backup, ec);
            } else {
                fs::rename(backup, entry.destination, ec);
            }
        } else if (!entry.hadOld && exists(entry.destination)) {
            fs::remove(entry.destination, ec);
        }
        if (ec) {
            Log::error("updater : while rollback. MoveFile error.");
            restored = false;
        }
    }
    syncFoldersOf(entries);
    return restored;
}

void FileInstaller::deleteBackups(const std::vector<InstallJournal::Entry>& entries) {
    for (const InstallJournal::Entry& entry : entries) {
        std::error_code ec;
        if (entry.hadOld) {
            fs::remove(backupOf(entry.destination), ec);
        }
    }
    syncFoldersOf(entries);
}

}  // namespace updater
