#include "client/app/ApplicationManager.h"

#include "client/app/ApplicationMessages.h"
#include "client/locale/Dictionary.h"
#include "client/messaging/ChatServer.h"
#include "kestra/Exceptions.h"
#include "kestra/Log.h"
#include "kestra/Settings.h"
#include "kestra/TextCodec.h"

using kestra::Log;
using kestra::Settings;

namespace {
constexpr unsigned int POLL_MS = 100;
const wchar_t* const DEFAULT_COM_PORT = L"COM4:";
}  // namespace

ApplicationManager::ApplicationManager(IGuiThread& guiThread, IGuiFactory& guiFactory,
                                       kestra::IClock& clock)
    : guiThread_(guiThread),
      guiFactory_(guiFactory),
      clock_(clock),
      textLoaderCantChange_(tr("Maps loader can't be changed.")),
      textMapTypeCantChange_(tr("Map type can't be changed.")),
      textCachedMaps_(tr("Cached maps")) {
    jabberClient_ = std::make_unique<JabberClient>(this, clock_);
}

ApplicationManager::~ApplicationManager() {
    if (timer_) {
        timer_->stop();
        timer_.reset();
    }
    jabberClient_->shutdown();
    serialize();
    mainFrame_.reset();
}

void ApplicationManager::quit() {
    postMessage(UM_QUIT);
}

bool ApplicationManager::postMessage(unsigned int id, std::intptr_t wParam, std::intptr_t lParam,
                                     std::unique_ptr<kestra::MessagePayload> payload) {
    return queue_.post(id, wParam, lParam, std::move(payload));
}

void ApplicationManager::setWindowsCreatedCallback(std::function<void()> callback) {
    windowsCreated_ = std::move(callback);
}

void ApplicationManager::onGuiThreadEnded() {
    queue_.wake();
}

bool ApplicationManager::bringMainFrameForward() {
    kestra::Mutex::Locker lock(controllerLock_);
    if (!mainFrame_ || !mainFrame_->isWindow()) {
        return false;
    }
    Log::info("ApplicationManager: another start asked to bring the main window forward.");
    return mainFrame_->bringToFront();
}

bool ApplicationManager::mainFrameExists() {
    kestra::Mutex::Locker lock(controllerLock_);
    return mainFrame_ && mainFrame_->isWindow();
}

int ApplicationManager::runApplication() {
    readServerAddress();
    readGpsSettings();
    contactsToDelete_ = Settings::getListStringValue(L"user.contactstodelete");

    timer_ = std::make_unique<kestra::ThreadTimer>();
    guiStarted_ = true;
    guiThread_.post([this] { run(); });

    mapTypeNames_ = {tr("Satellite"), tr("Roadmap"), tr("Hybrid")};

    if (!waitForWindows()) {
        return 1;
    }
    {
        kestra::Mutex::Locker lock(controllerLock_);
        timer_->start();
    }
    return controllerLoop();
}

void ApplicationManager::readServerAddress() {
    std::wstring host;
    if (!Settings::getStringValue(L"lumoraServer.host", &host)) {
        if (!Settings::setStringValue(L"lumoraServer.host", kestra::utf8ToWide(CHAT_HOST))) {
            Log::error(
                "ApplicationManager:RunApplicationManager ERROR: "
                "kestra::Settings::setStringValue(CHAT_HOST,host)");
        }
        if (!Settings::setIntValue(L"lumoraServer.port", CHAT_PORT)) {
            Log::error(
                "ApplicationManager:RunApplicationManager ERROR: "
                "kestra::Settings::setIntValue(SETTINGS_PORT, CHAT_PORT)");
        }
        return;
    }
    CHAT_HOST = kestra::wideToUtf8(host);
    int port = 0;
    if (Settings::getIntValue(L"lumoraServer.port", &port)) {
        CHAT_PORT = port;
    }
}

void ApplicationManager::readGpsSettings() {
    std::wstring comPortName;
    if (!Settings::getStringValue(L"gps.comPortName", &comPortName)) {
        if (!Settings::setStringValue(L"gps.comPortName", DEFAULT_COM_PORT)) {
            Log::error(
                "ApplicationManager:RunApplicationManager ERROR: "
                "kestra::Settings::setStringValue(DialogSetupGPS::COMPORTNAME,comPortName)");
        }
    }
    int useDriver = 1;
    if (!Settings::getIntValue(L"gps.useDriver", &useDriver) || useDriver != 0) {
        Settings::setIntValue(L"gps.useDriver", 1);
    }
}

// Waits until the GUI thread has created the main window. Gives up when the GUI thread
// ended first (its windows could not be created), instead of waiting forever.
bool ApplicationManager::waitForWindows() {
    for (;;) {
        if (guiFailed_ || !guiThread_.isRunning()) {
            Log::error(
                "ApplicationManager::runApplication: the GUI thread ended before its windows "
                "were created.");
            return false;
        }
        if (mainFrameExists()) {
            return true;
        }
        clock_.sleepMs(POLL_MS);
    }
}

void ApplicationManager::run() {
    try {
        kestra::Mutex::Locker lock(controllerLock_);
        IMainFrame* frame = guiFactory_.createMainFrame(this);
        if (frame == nullptr) {
            Log::error(
                "ApplicationManager::run false == GuiFactory::createWindowInstance(mainFrame).");
            throw kestra::GUICreateException();
        }
        mainFrame_.reset(frame);
    } catch (const kestra::GUICreateException&) {
        Log::error("ApplicationManager::runApplication: catch kestra::GUICreateException.");
        guiFailed_ = true;
        guiThread_.quit();
        return;
    } catch (const kestra::NullPointerException&) {
        Log::error("ApplicationManager::runApplication: catch kestra::NullPointerException.");
        guiFailed_ = true;
        guiThread_.quit();
        return;
    }
    Log::info("ApplicationManager::run: windows created.");
    if (windowsCreated_) {
        windowsCreated_();
    }
}

int ApplicationManager::controllerLoop() {
    for (;;) {
        kestra::ThreadMessage message;
        while (queue_.take(message)) {
            if (handleMessage(message)) {
                return 0;
            }
            clock_.sleepMs(POLL_MS);
        }
        if (!guiThread_.isRunning()) {
            return 0;  // the main frame was closed
        }
        queue_.wait(static_cast<int>(POLL_MS));
    }
}

bool ApplicationManager::handleMessage(const kestra::ThreadMessage& message) {
    try {
        if (message.id == UM_QUIT) {
            shutdownOnQuit();
            return true;
        }
        // Messages of components that are not part of the program yet are dropped.
    } catch (const std::exception& e) {
        Log::error("ApplicationManager::handleMessage: exception \"" + std::string(e.what()) +
                   "\".");
    }
    return false;
}

void ApplicationManager::shutdownOnQuit() {
    if (timer_) {
        timer_->stop();
    }
    if (mainFrameExists() && !mainFrame_->postClose()) {
        Log::error("::PostMessage (mainFrame->getHWND(), WM_CLOSE,0,0).");
        guiThread_.quit();
    }
    waitWhileGuiRuns();
    jabberClient_->shutdown();
    serialize();
}

void ApplicationManager::waitWhileGuiRuns() {
    while (guiThread_.isRunning()) {
        clock_.sleepMs(POLL_MS);
    }
}

void ApplicationManager::serialize() {
    if (serialized_.exchange(true)) {
        return;
    }
    try {
        Settings::shutdown();
    } catch (...) {
        Log::error("ApplicationManager::serialize kestra::Settings::shutdown() exception.");
    }
}
