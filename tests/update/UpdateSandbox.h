#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "ReadOnlyFolder.h"
#include "TestSupport.h"
#include "update/UpdatePaths.h"

namespace updatetest {

// A private user for one test: HOME, the XDG folders and the runtime folder point into a
// temporary folder, the update folder exists, and the program folder
// (<root>/programs/Lumora) holds stand-in programs that note their start in a file.
class UpdateSandbox {
public:
    UpdateSandbox();
    ~UpdateSandbox();

    std::filesystem::path root() const { return temp_.path(); }
    std::filesystem::path dataFolder() const;
    std::filesystem::path programFolder() const;
    std::filesystem::path programFiles() const { return programFolder().parent_path(); }
    const updater::UpdatePaths& paths() const { return paths_; }
    std::filesystem::path updateFolder() const;
    std::filesystem::path tempFolder() const;
    std::filesystem::path package() const;

    // Writes a shell script into the program folder that appends its name to started.txt.
    void addStandInProgram(const std::filesystem::path& folder, const std::string& name);
    // The names of the stand-in programs that have started so far.
    std::vector<std::string> startedPrograms() const;
    // Waits until the named program has started (a guard of a few seconds).
    bool waitStarted(const std::string& name, std::size_t times = 1) const;
    // A shell script that notes its start in started.txt under the given name.
    std::string standInScript(const std::string& name) const;

    std::string updaterLog() const;
    void openUpdaterLog() const;

private:
    testsupport::TempDir temp_;
    testsupport::ScopedEnv env_;
    updater::UpdatePaths paths_;
};

// Every regular file below a folder, as paths relative to it.
std::vector<std::string> filesBelow(const std::filesystem::path& folder);

using testsupport::ReadOnlyFolder;

}  // namespace updatetest
