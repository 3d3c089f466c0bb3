#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "update/FileInstaller.h"
#include "update/LumoraUpdateManager.h"
#include "update/PlaceholderTable.h"
#include "update/UpdatePaths.h"

namespace updater {

class Config;

// Installs the downloaded package. States: an interrupted earlier run recovered (rolled
// back, or finished when it had been committed) -> clearing the temporary folder ->
// unpacking -> configuration parsed -> files checked and programs made executable ->
// folders resolved and created -> journal written -> backups made -> files installed ->
// the new client (or the post-update program) started -> committed, package deleted
// (success). A failure at any step, or a new client that cannot be started, rolls back
// what was moved and starts the old client. A termination request (SIGTERM) before the
// files are all installed rolls back and ends without starting anything, the package
// still waiting for the next start; one after that finishes the installation.
class ApplicationManager {
public:
    // programFolder holds the client's program ("Lumora"). stopRequested tells whether the
    // updater was asked to end (asked between steps and between two files).
    ApplicationManager(const UpdatePaths& paths, const PlaceholderTable& placeholders,
                       const std::wstring& programFolder, std::function<bool()> stopRequested = {});

    // Returns whether the package is installed.
    bool processUpdate();
    // Whether the last processUpdate ended on a termination request with the package
    // still waiting (nothing installed, nothing started).
    bool wasInterrupted() const { return interrupted_; }
    // Unpacks the package into the temporary folder; false (after logging why) on failure.
    bool unpackUpdate();

    // Starts the client program from the program folder; false when it cannot be started.
    bool startClient();

private:
    bool stopRequested();
    void clearTempFolder();
    // After a finished recovery: what the interrupted run had left to do.
    void finishRecovered();
    // Steps after clearing; throws kestra::UpdateException on failure. Returns whether the
    // package was installed; started tells whether a program was started.
    bool install(FileInstaller& installer, bool& started);
    // The post-update program, else the client; false when neither could be started.
    bool startAfterInstall(const Config& config);
    std::vector<FileInstaller::Target> resolveTargets(const Config& config) const;
    void checkFilesPresent(const Config& config) const;
    void markPrograms(const Config& config) const;
    void createFolders(const std::vector<FileInstaller::Target>& targets) const;
    void removeFile(const std::wstring& path) const;

    UpdatePaths paths_;
    PlaceholderTable placeholders_;
    std::wstring programFolder_;
    std::function<bool()> stopRequested_;
    bool stopSeen_ = false;
    bool interrupted_ = false;
    LumoraUpdateManager launcher_;
    // A post-update program that was started (its name in the package) stays in the
    // temporary folder until the next run: it may still be reading itself.
    std::wstring runningProgram_;
};

}  // namespace updater
