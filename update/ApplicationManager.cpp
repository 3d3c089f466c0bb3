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
                                       const std::wstring& programFolder)
    : paths_(paths), placeholders_(placeholders), programFolder_(programFolder) {}

bool ApplicationManager::processUpdate() {
    clearTempFolder();
    FileInstaller installer;
    bool postUpdateStarted = false;
    bool succeeded = false;
    try {
        postUpdateStarted = install(installer);
        succeeded = true;
    } catch (const kestra::UpdateException&) {
        Log::error("updater : catch UpdateException - rollback.");
        installer.rollback();
    } catch (const std::exception& e) {
        Log::error("updater : catch exception \"" + std::string(e.what()) + "\" - rollback.");
        installer.rollback();
    }
    clearTempFolder();
    // Without a running post-update program the client starts again, so the user is never
    // left without one.
    if (!postUpdateStarted) {
        startClient();
    }
    return succeeded;
}

bool ApplicationManager::install(FileInstaller& installer) {
    if (!pathExists(narrow(paths_.package))) {
        fail("no update file.");
    }
    if (!unpackUpdate()) {
        fail("unpack error.");
    }
    Config config;
    config.parsConfig(paths_.configFile);
    checkFilesPresent(config);
    const std::vector<FileInstaller::Target> targets = resolveTargets(config);
    createFolders(targets);
    installer.makeBackups(targets);
    installer.install(targets);
    syncFolders(targets);
    installer.deleteBackups();
    bool postUpdateStarted = false;
    if (!config.exeName().empty()) {
        Log::info("updater :run postupdate exe.");
        postUpdateStarted = launcher_.runExe(paths_.tempFolder + config.exeName());
        if (postUpdateStarted) {
            runningProgram_ = config.exeName();
        }
    }
    std::error_code ec;
    fs::remove(narrow(paths_.package), ec);
    return postUpdateStarted;
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

// The renames are only durable once the folders that hold them are on the disk.
void ApplicationManager::syncFolders(const std::vector<FileInstaller::Target>& targets) const {
    for (const FileInstaller::Target& target : targets) {
        platform::syncToDisk(fs::path(target.destination).parent_path().string());
    }
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

void ApplicationManager::startClient() {
    launcher_.runExe(programFolder_ + L"/" + PRODUCT_NAME);
}

}  // namespace updater
