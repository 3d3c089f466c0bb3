#pragma once

#include <string>
#include <vector>

namespace updater {

// Puts the files of a package in place so that they can all be taken back. States:
// nothing touched -> backups made (each old file moved aside to its name + "_tmp") ->
// files installed -> backups deleted (done), or, from any failure after the first move,
// rolled back: installed files deleted and every backup moved back.
class FileInstaller {
public:
    struct Target {
        std::string source;       // the extracted file
        std::string destination;  // where it goes
    };

    // Moves every existing destination aside (a stale backup is deleted first). Throws
    // kestra::UpdateException after logging the destination that could not be moved.
    void makeBackups(const std::vector<Target>& targets);
    // Moves every file to its destination; throws like makeBackups.
    void install(const std::vector<Target>& targets);
    void deleteBackups();
    // Deletes what was installed and moves every backup back; logs each failed move and
    // goes on with the next.
    void rollback();

    const std::vector<std::string>& backups() const { return backups_; }
    const std::vector<std::string>& installed() const { return installed_; }

private:
    std::vector<std::string> backups_;
    std::vector<std::string> installed_;
};

}  // namespace updater
