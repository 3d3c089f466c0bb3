#pragma once

#include <map>
#include <string>
#include <vector>

#include "update/FileInstaller.h"
#include "update/LumoraUpdateManager.h"
#include "update/PlaceholderTable.h"
#include "update/UpdatePaths.h"

namespace updater {

class Config;

// Installs the downloaded package. States: clearing the temporary folder -> unpacking ->
// configuration parsed -> files checked -> folders resolved and created -> backups made ->
// files installed -> backups deleted -> post-update program started and package deleted
// (success); a failure at any step after unpacking began rolls back what was moved. In
// both cases the temporary folder is cleared and the client started (unless a successful
// update started the package's own post-update program).
class ApplicationManager {
public:
    // programFolder holds the client's program ("Lumora").
    ApplicationManager(const UpdatePaths& paths, const PlaceholderTable& placeholders,
                       const std::wstring& programFolder);

    // Returns whether the update succeeded.
    bool processUpdate();
    // Unpacks the package into the temporary folder; false (after logging why) on failure.
    bool unpackUpdate();

    // Starts the client program from the program folder.
    void startClient();

private:
    void clearTempFolder();
    // Steps after clearing; throws kestra::UpdateException on failure. Returns whether a
    // post-update program was started.
    bool install(FileInstaller& installer);
    std::vector<FileInstaller::Target> resolveTargets(const Config& config) const;
    void checkFilesPresent(const Config& config) const;
    void createFolders(const std::vector<FileInstaller::Target>& targets) const;
    void syncFolders(const std::vector<FileInstaller::Target>& targets) const;

    UpdatePaths paths_;
    PlaceholderTable placeholders_;
    std::wstring programFolder_;
    LumoraUpdateManager launcher_;
    // A post-update program that was started (its name in the package) stays in the
    // temporary folder until the next run: it may still be reading itself.
    std::wstring runningProgram_;
};

}  // namespace updater
