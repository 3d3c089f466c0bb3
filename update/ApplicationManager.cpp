#include "update/ApplicationManager.h"

#include <filesystem>

#include "kestra/Exceptions.h"
#include "kestra/Log.h"
#include "kestra/TextCodec.h"
#include "platform/FileSystemSync.h"
#include "update/Config.h"
#include "update/UpdaterConstants.h"
#include "update/ZipArchive.h"

namespace fs = std::filesystem;
using kestra::Log;

namespace updater {
namespace {

std::string narrow(const std::wstring& text) {
    return kestra::wideToUtf8(text);
}

[[noreturn]] void fail(const char* message) {
    throw kestra::UpdateException("Process update", message);
}

bool pathExists(const std::string& path) {
    std::error_code ec;
    return fs::symlink_status(path, ec).type() != fs::file_type::not_found && !ec;
}

// Closes the archive and reports failure after logging the line.
bool unpackFailed(ZipArchive& zip, const char* line) {
    Log::error(line);
    zip.close();
    return false;
}

}  // namespace

ApplicationManager::ApplicationManager(const UpdatePaths& paths,
                                       const PlaceholderTable& placeholders,
                                       const std::wstring& programFolder,
                                       std::function<bool()> stopRequested)
    : paths_(paths),
      placeholders_(placeholders),
      programFolder_(programFolder),
      stopRequested_(std::move(stopRequested)) {}

// The request is remembered: the signal behind it is taken only once.
bool ApplicationManager::stopRequested() {
    if (!stopSeen_ && stopRequested_ && stopRequested_()) {
        Log::info("updater : termination requested.");
        stopSeen_ = true;
    }
    return stopSeen_;
}

bool ApplicationManager::processUpdate() {
    interrupted_ = false;
    const InstallJournal journal(narrow(paths_.journal));
    if (FileInstaller::recover(journal) == FileInstaller::Recovery::Finished) {
        finishRecovered();
        return true;
    }
    clearTempFolder();
    FileInstaller installer(journal, [this] { return stopRequested(); });
    bool started = false;
    bool succeeded = false;
    try {
        succeeded = install(installer, started);
    } catch (const kestra::UpdateException&) {
        Log::error("updater : catch UpdateException - rollback.");
        installer.rollback();
    } catch (const std::exception& e) {
        Log::error("updater : catch exception \"" + std::string(e.what()) + "\" - rollback.");
        installer.rollback();
    }
    clearTempFolder();
    if (interrupted_) {
        Log::info("updater : stopped; the package waits for the next start.");
        return false;
    }
    removeFile(paths_.pendingMarker);
    // Without a running program the client starts again, so the user is never left
    // without one; a termination request that came after the installation starts nothing.
    if (!started && !stopSeen_) {
        startClient();
    }
    return succeeded;
}

void ApplicationManager::finishRecovered() {
    removeFile(paths_.package);
    clearTempFolder();
    removeFile(paths_.pendingMarker);
    if (!stopRequested()) {
        startClient();
    }
}

bool ApplicationManager::install(FileInstaller& installer, bool& started) {
    if (!pathExists(narrow(paths_.package))) {
        fail("no update file.");
    }
    if (!unpackUpdate()) {
        fail("unpack error.");
    }
    // What is renamed into place later must be on the disk first: a power cut after a
    // rename must not leave an empty program behind.
    platform::syncFileSystem(narrow(paths_.tempFolder));
    Config config;
    config.parsConfig(paths_.configFile);
    checkFilesPresent(config);
    markPrograms(config);
    const std::vector<FileInstaller::Target> targets = resolveTargets(config);
    createFolders(targets);
    if (stopRequested()) {
        interrupted_ = true;  // nothing was touched
        return false;
    }
    installer.prepare(targets);
    if (!installer.makeBackups() || !installer.install()) {
        installer.rollback();
        interrupted_ = true;
        return false;
    }
    if (!stopRequested()) {
        started = startAfterInstall(config);
        if (!started) {
            Log::error("updater : the installed client cannot be started.");
            fail("client cannot be started.");
        }
    }
    // The package goes only once no later run can undo the installation any more: after
    // the commit, or (when the commit could not be recorded) after the journal is gone.
    const bool committed = installer.commit();
    if (!committed) {
        installer.finish();
    }
    removeFile(paths_.package);
    removeFile(paths_.pendingMarker);
    installer.finish();
    return true;
}

bool ApplicationManager::startAfterInstall(const Config& config) {
    if (!config.exeName().empty()) {
        Log::info("updater :run postupdate exe.");
        if (launcher_.runExe(paths_.tempFolder + config.exeName())) {
            runningProgram_ = config.exeName();
            return true;
        }
    }
    return startClient();
}

bool ApplicationManager::unpackUpdate() {
    if (!pathExists(narrow(paths_.package))) {
        Log::error("ApplicationManager::unpackUpdate DWORD(-1) ==  GetFileAttributes.");
        return false;
    }
    std::error_code ec;
    fs::create_directories(narrow(paths_.tempFolder), ec);
    std::unique_ptr<ZipArchive> zip = ZipArchive::open(paths_.package);
    if (!zip) {
        Log::error("ApplicationManager::unpackUpdate hz == NULL.");
        return false;
    }
    ZipEntry entry;
    if (zip->setBaseFolder(paths_.tempFolder) != ZR_OK || zip->getItem(-1, entry) != ZR_OK) {
        return unpackFailed(*zip, "ApplicationManager::unpackUpdate GetZipItem != ZR_OK.");
    }
    const int count = entry.index;
    for (int i = 0; i < count; ++i) {
        if (zip->getItem(i, entry) != ZR_OK) {
            return unpackFailed(*zip, "ApplicationManager::unpackUpdate GetZipItem != ZR_OK.");
        }
        if (zip->unzipItem(i, entry.name) != ZR_OK) {
            return unpackFailed(*zip, "ApplicationManager::unpackUpdate UnzipItem != ZR_OK.");
        }
    }
    zip->close();
    return true;
}

void ApplicationManager::checkFilesPresent(const Config& config) const {
    for (const auto& file : config.files()) {
        std::error_code ec;
        if (!fs::is_regular_file(fs::symlink_status(narrow(paths_.tempFolder + file.first), ec))) {
            fail("missing file to update.");
        }
    }
}

std::vector<FileInstaller::Target> ApplicationManager::resolveTargets(const Config& config) const {
    std::vector<FileInstaller::Target> targets;
    for (const auto& [name, destination] : config.files()) {
        std::wstring folder;
        if (!placeholders_.replaceIdInPath(destination, folder)) {
            fail("replaceIdInPath error.");
        }
        if (folder.back() != L'/') {
            folder += L'/';
        }
        targets.push_back({narrow(paths_.tempFolder + name), narrow(folder + name)});
    }
    return targets;
}

// Creates each destination's folder level by level (a file name may hold sub-folders).
void ApplicationManager::createFolders(const std::vector<FileInstaller::Target>& targets) const {
    for (const FileInstaller::Target& target : targets) {
        const fs::path folder = fs::path(target.destination).parent_path();
        std::error_code ec;
        fs::create_directories(folder, ec);
        if (!fs::is_directory(folder, ec)) {
            fail("can't create dir.");
        }
    }
}

// Programs must be executable whatever mode the package gave them (a package made on a
// system without file modes gives none): the client and the updater, the post-update
// program and every file the configuration marks as a program.
void ApplicationManager::markPrograms(const Config& config) const {
    std::vector<std::wstring> programs(config.programs().begin(), config.programs().end());
    for (const auto& file : config.files()) {
        const std::wstring name = fs::path(file.first).filename().wstring();
        if (name == PRODUCT_NAME || name == UPDATER_NAME) {
            programs.push_back(file.first);
        }
    }
    if (!config.exeName().empty()) {
        programs.push_back(config.exeName());
    }
    for (const std::wstring& program : programs) {
        const std::string path = narrow(paths_.tempFolder + program);
        std::error_code ec;
        if (fs::is_regular_file(fs::symlink_status(path, ec))) {
            fs::permissions(path, fs::perms(0755), fs::perm_options::replace, ec);
        }
    }
}

void ApplicationManager::removeFile(const std::wstring& path) const {
    std::error_code ec;
    fs::remove(narrow(path), ec);
}

// Everything in the temporary folder goes, sub-folders included, so no file of an earlier
// package can stand in for a missing one (links are removed, never followed). Only a
// post-update program that was just started stays (with its folder) until the next run.
void ApplicationManager::clearTempFolder() {
    const std::string folder = narrow(paths_.tempFolder);
    const std::string running = narrow(runningProgram_);
    const std::string keep = running.substr(0, running.find('/'));
    std::error_code ec;
    if (!fs::is_directory(fs::symlink_status(folder, ec))) {
        return;
    }
    std::vector<fs::path> entries;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        if (keep.empty() || it->path().filename().string() != keep) {
            entries.push_back(it->path());
        }
    }
    for (const fs::path& entry : entries) {
        std::error_code removeError;
        fs::remove_all(entry, removeError);
    }
}

bool ApplicationManager::startClient() {
    return launcher_.runExe(programFolder_ + L"/" + PRODUCT_NAME);
}

}  // namespace updater
