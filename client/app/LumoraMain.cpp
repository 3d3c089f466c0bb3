#include "client/app/LumoraMain.h"

#include <atomic>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <filesystem>

#include "client/app/ApplicationManager.h"
#include "client/app/InstallPlace.h"
#include "client/app/UpdateHandOff.h"
#include "client/contacts/LumoraContact.h"
#include "client/locale/Dictionary.h"
#include "client/maps/CacheManager.h"
#include "kestra/Clock.h"
#include "kestra/Exceptions.h"
#include "kestra/Log.h"
#include "kestra/Settings.h"
#include "kestra/TextCodec.h"
#include "kestra/Thread.h"
#include "platform/AppFolders.h"
#include "platform/FileSystemSync.h"
#include "platform/ProcessLauncher.h"
#include "platform/TerminationSignals.h"

using kestra::Log;
using kestra::Settings;

namespace {

constexpr int INSTANCE_ATTEMPTS = 25;
constexpr unsigned int POLL_MS = 100;

std::wstring startLine() {
    const std::tm t = kestra::localTime(std::time(nullptr));
    wchar_t text[64];
    std::swprintf(text, sizeof(text) / sizeof(text[0]), L"%04d/%02d/%02d %02d:%02d",
                  t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min);
    return L"\n\nApplication starting at: " + std::wstring(text);
}

// Runs the controller on its own thread and ends the GUI loop when the controller ends.
class ControllerRunner : public kestra::IRunnable {
public:
    ControllerRunner(ApplicationManager& manager, IGuiThread& gui) : manager_(manager), gui_(gui) {}
    void run() override {
        try {
            result = manager_.runApplication();
        } catch (...) {
            Log::error("ApplicationManager::runApplication: catch(...)");
            result = 1;
        }
        gui_.quit();
    }
    std::atomic<int> result{0};

private:
    ApplicationManager& manager_;
    IGuiThread& gui_;
};

}  // namespace

LumoraMain::LumoraMain(IGuiThread& guiThread, IGuiFactory& guiFactory, IImageFactory* images)
    : guiThread_(guiThread),
      guiFactory_(guiFactory),
      images_(images),
      instanceLock_(MUTEX_NAME),
      instanceChannel_(WINDOW_CLASS) {}

LumoraMain::~LumoraMain() = default;

int LumoraMain::run() {
    if (!becomeSingleInstance()) {
        return 1;
    }
    if (!prepareFolders()) {
        guiThread_.showError(tr("Can't find Application Data folder"), tr("Error"));
        return 1;
    }
    platform::installFileSync();
    openLog();
    const int exitCode = startAndRun();
    finish();
    return exitCode;
}

// Up to 25 tries: hold the lock, or find the running client and bring it forward. Without
// a private folder for the lock there is nothing to try.
bool LumoraMain::becomeSingleInstance() {
    if (instanceLock_.path().empty()) {
        const std::string& problem = instanceLock_.folderProblem();
        std::fprintf(
            stderr, "Lumora: %s\n",
            problem.empty() ? "no private folder for the single-instance lock." : problem.c_str());
        return false;
    }
    for (int attempt = 0; attempt < INSTANCE_ATTEMPTS; ++attempt) {
        if (instanceLock_.tryAcquire()) {
            return true;
        }
        if (instanceChannel_.requestRaise() == platform::InstanceChannel::RaiseResult::Raised) {
            return false;
        }
        // No window yet (the other instance is still starting) or it did not answer:
        // wait and look again rather than run a second instance beside it.
        kestra::Thread::sleep(POLL_MS);
    }
    return false;
}

bool LumoraMain::prepareFolders() {
    std::wstring dataFolder;
    if (!platform::applicationDataFolder(dataFolder)) {
        return false;
    }
    applicationFolder_ = dataFolder + L"/Lumora";
    jabberFolder_ = applicationFolder_ + L"/Jabber";
    platform::createPrivateFolder(applicationFolder_);
    platform::createPrivateFolder(jabberFolder_);
    // Folders made by earlier versions (or by hand) may be open to others.
    platform::makeFolderTreePrivate(applicationFolder_);
    return true;
}

void LumoraMain::openLog() {
    Log::open(applicationFolder_ + L"/lumora.log", kestra::LOG_INFO, LOG_SIZE_LIMIT);
    Log::info(startLine());
    const std::string& problem = instanceLock_.folderProblem();
    if (!problem.empty()) {
        Log::warning("_tWinMain: " + problem);
        std::fprintf(stderr, "Lumora: %s\n", problem.c_str());
    }
}

int LumoraMain::startAndRun() {
    try {
        startSettings();
        if (handOverToUpdater()) {
            return 0;
        }
        Dictionary::startup(applicationFolder_ + L"/locale/",
                            Settings::getStringValue(L"language"));
        startCache();
        int loaderName = 0;
        if (!Settings::getIntValue(L"maps.loaderName", &loaderName)) {
            Settings::setIntValue(L"maps.loaderName", 0);
        }
        // Jabber folder + "/Contacts/"; a folder that cannot be made ends the program.
        LumoraContact::setContactsFolder(jabberFolder_ + L"/");
        return runController();
    } catch (const kestra::SocketException&) {
        Log::error("SocketException");
    } catch (const kestra::SettingsException&) {
        Log::error("SettingsException");
    } catch (const kestra::SettingsCorruptException&) {
        Log::error("SettingsCorruptException");
    } catch (const kestra::SettingsReadingException&) {
        Log::error("SettingsReadingException");
    } catch (const kestra::NotFoundCacheDirectoryException&) {
        Log::error("NotFoundCacheDirectoryException");
    } catch (const kestra::CanNotLoadCacheException&) {
        Log::error("CanNotLoadCacheException");
    } catch (const kestra::CacheIsCorruptException&) {
        Log::error("CacheIsCorruptException");
    } catch (const kestra::CacheSavingException&) {
        Log::error("CacheSavingException");
    } catch (...) {
        Log::error("catch(...)");
    }
    return 1;
}

// A corrupt settings file is deleted and the store starts again with an empty one. A file
// that exists but cannot be read (another owner, no permission, a read error) may hold the
// only copy of the GID and password: the program does not start and never replaces it.
void LumoraMain::startSettings() {
    const std::wstring settingsFile = jabberFolder_ + L"/settings.cfg";
    try {
        Settings::startup(settingsFile);
    } catch (const kestra::SettingsCorruptException&) {
        std::error_code ec;
        std::filesystem::remove(kestra::wideToUtf8(settingsFile), ec);
        Settings::startup(settingsFile);
    } catch (const kestra::SettingsReadingException&) {
        guiThread_.showError(tr("The settings file exists but cannot be read. Lumora does not "
                                "start, so that the file is not replaced; check its owner and "
                                "permissions.") +
                                 L"\n" + settingsFile,
                             tr("Error"));
        throw;
    }
}

// The tile cache in the configured folder (else the application folder). A configured
// folder that cannot be made, or that cannot hold the cache (its index cannot be
// written there), is replaced by the application folder. A cache that cannot be loaded is
// deleted and started again, empty, in the application folder.
void LumoraMain::startCache() {
    std::wstring place;
    if (!Settings::getStringValue(L"maps.cachePlace", &place) || place.empty()) {
        place = applicationFolder_;
    }
    std::error_code ec;
    std::filesystem::create_directories(kestra::wideToUtf8(place), ec);
    if (!std::filesystem::is_directory(kestra::wideToUtf8(place), ec)) {
        Log::warning(L"_tWinMain: the cache folder " + place +
                     L" cannot be made; the application folder is used.");
        place = applicationFolder_;
    }
    try {
        CacheManager::setCachePlace(place, applicationFolder_);
        return;
    } catch (const kestra::CacheLoadingException&) {
        Log::error("_tWinMain: the tile cache cannot be loaded; it starts again empty.");
        CacheManager::discard(place);
    } catch (const kestra::CacheSavingException&) {
        Log::error(L"_tWinMain: the tile cache cannot be written in " + place +
                   L"; the application folder is used.");
    } catch (const kestra::NotFoundCacheDirectoryException&) {
        Log::error(L"_tWinMain: the cache folder " + place +
                   L" is gone; the application folder is used.");
    }
    try {
        CacheManager::setCachePlace(applicationFolder_, applicationFolder_);
    } catch (const kestra::CacheLoadingException&) {
        CacheManager::discard(applicationFolder_);
        CacheManager::setCachePlace(applicationFolder_, applicationFolder_);
    }
}

// The updater starts only once the waiting update is safely handed to it (UpdateHandOff);
// otherwise the client starts normally.
bool LumoraMain::handOverToUpdater() {
    UpdateHandOff handOff(applicationFolder_);
    if (!handOff.isPending()) {
        return false;
    }
    const InstallPlace place(platform::programFolder());
    if (!place.canInstallUpdates()) {
        // The updater could not replace the files here; the package waits for a client
        // that can install it (or is replaced by the next download of one).
        Log::warning(L"_tWinMain: an update waits, but " + place.problem() +
                     L"; it is not installed.");
        return false;
    }
    const std::wstring updater = place.programFolder() + L"/" + UPDATER_FILE;
    std::error_code ec;
    if (!std::filesystem::exists(kestra::wideToUtf8(updater), ec)) {
        Log::error("_tWinMain DWORD(-1) == LUMORA_UPPDATE.");
        return false;
    }
    if (!handOff.prepare()) {
        return false;
    }
    if (!platform::startDetached(updater)) {
        Log::error("AboutWindow::OnNotify error while ShellExecuteEx.");
        handOff.cancel();
        return false;
    }
    Settings::shutdown();
    Log::info("_tWinMain: run updater.");
    instanceLock_.release();
    return true;
}

// The controller runs on its own thread; the GUI loop runs here until the main frame
// closes or the controller ends. SIGTERM and SIGINT become an orderly quit.
int LumoraMain::runController() {
    manager_ = std::make_unique<ApplicationManager>(guiThread_, guiFactory_);
    manager_->setApplicationFolder(applicationFolder_);
    manager_->setImageFactory(images_);
    manager_->setWindowsCreatedCallback(
        [this] { instanceChannel_.listen([this] { return manager_->bringMainFrameForward(); }); });
    ControllerRunner runner(*manager_, guiThread_);
    kestra::Thread controller(&runner, L"Controller");
    platform::TerminationSignals signals;
    signals.start([this](int signal) {
        Log::info("_tWinMain: signal " + std::to_string(signal) + " received, quitting.");
        manager_->quit();
    });
    controller.start();
    guiThread_.exec();
    manager_->onGuiThreadEnded();
    // Keep handling Qt's own events while the controller finishes; work it posts to the
    // windows now is dropped (the loop has ended).
    while (controller.isRunning()) {
        guiThread_.processEvents(static_cast<int>(POLL_MS));
    }
    signals.stop();
    instanceChannel_.stop();
    return runner.result.load();
}

// The lock is released last, after everything is saved, so that a client started right
// now cannot read settings that are about to be replaced.
void LumoraMain::finish() {
    instanceChannel_.stop();
    manager_.reset();  // serialises what it has not yet saved
    Settings::shutdown();
    try {
        CacheManager::shutdown();
    } catch (const std::exception&) {
        Log::error("_tWinMain: CacheManager::shutdown() exception.");
    }
    instanceLock_.release();
}
