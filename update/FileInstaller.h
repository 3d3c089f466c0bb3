#pragma once

#include <functional>
#include <string>
#include <vector>

#include "update/InstallJournal.h"

namespace updater {

// Puts the files of a package in place so that every one can be taken back, and so that
// at every moment each destination holds its old file or its new one, complete: the old
// file is kept as a hard link (or, where links cannot be made, a copy) named destination
// + "_tmp" before the new file is renamed over it. The journal records what is about to
// be done before anything is touched, so a run cut short anywhere is undone (or, once
// committed, finished) by the next one (recover).
//
// States: nothing touched -> prepared (stale backups deleted, journal written) -> backups
// made -> files installed -> committed (the journal says so) -> backups and journal
// deleted (done). From a failure or a stop before the commit: rolled back (each backup
// renamed back over its destination, each new file that had no old one deleted, journal
// deleted).
class FileInstaller {
public:
    struct Target {
        std::string source;       // the extracted file
        std::string destination;  // where it goes
    };
    enum class Recovery { Nothing, RolledBack, Finished, Unreadable };

    // stopRequested is asked between two files; true stops the backups or the installation.
    explicit FileInstaller(InstallJournal journal, std::function<bool()> stopRequested = {});

    // Deletes stale backups and writes the journal. Throws kestra::UpdateException after
    // logging when the journal cannot be written (nothing has been touched then).
    void prepare(const std::vector<Target>& targets);
    // Keeps every existing destination as its backup. False when a stop was requested;
    // throws kestra::UpdateException after logging the destination that could not be kept.
    bool makeBackups();
    // Moves every file to its destination; false and throws like makeBackups.
    bool install();
    // Records the installation as complete: from here on it is finished, never undone.
    // False when the record could not be written (a later run would undo it then).
    bool commit();
    // Deletes the backups and the journal (after commit).
    void finish();
    // Puts every old file back and deletes the new ones; logs each failed move and goes on
    // with the next. The journal is deleted only when everything was put back.
    void rollback();

    // Finishes or undoes the installation that an earlier, interrupted run recorded.
    static Recovery recover(const InstallJournal& journal);

private:
    static bool restore(const std::vector<InstallJournal::Entry>& entries);
    static void deleteBackups(const std::vector<InstallJournal::Entry>& entries);
    bool stopped() const { return stopRequested_ && stopRequested_(); }

    InstallJournal journal_;
    std::function<bool()> stopRequested_;
    std::vector<Target> targets_;
    std::vector<InstallJournal::Entry> entries_;
    bool journalWritten_ = false;
};

}  // namespace updater
