#include "client/app/ApplicationManager.h"

#include <algorithm>

#include "client/app/ApplicationMessages.h"
#include "client/app/UpdateChecker.h"
#include "client/locale/Dictionary.h"
#include "client/maps/CacheManager.h"
#include "client/maps/HTTPLoader.h"
#include "client/maps/MapsLoaderManager.h"
#include "client/messaging/ChatServer.h"
#include "kestra/Exceptions.h"
#include "kestra/Lexical.h"
#include "kestra/Log.h"
#include "kestra/Settings.h"
#include "kestra/TextCodec.h"
#include "platform/AppFolders.h"

using kestra::Log;
using kestra::Settings;

namespace {
constexpr unsigned int POLL_MS = 100;

bool isDecimalId(const std::wstring& text) {
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](wchar_t c) { return c >= L'0' && c <= L'9'; });
}
}  // namespace

ApplicationManager::ApplicationManager(IGuiThread& guiThread, IGuiFactory& guiFactory,
                                       kestra::IClock& clock, const SessionFactory& makeSession)
    : guiThread_(guiThread),
      guiFactory_(guiFactory),
      clock_(clock),
      reactions_(*this),
      session_(makeSession(&reactions_, clock)),
      chatWindows_([this](const std::wstring& jid) { return findContact(jid); }),
      textLoaderCantChange_(tr("Maps loader can't be changed.")),
      textMapTypeCantChange_(tr("Map type can't be changed.")),
      textCachedMaps_(tr("Cached maps")) {
    registerHandlers();
}

// The map's workers and the loaders end first; the view is saved (serialize) before the view
// manager lets its window go; the map's objects go before the maps loader they use.
ApplicationManager::~ApplicationManager() {
    if (userContactProfile_) {
        userContactProfile_->removeListener(&reactions_);
    }
    gps_.reset();
    stopMapWorkers();
    stopHttpLoader();
    if (timer_) {
        timer_->stop();
        timer_.reset();
    }
    session_->shutdown();
    serialize();
    map_.close();
    chatWindows_.closeAll();
    windows_.release();
}

// The message table. Messages of components that are not part of the program yet have no
// handler and are dropped.
void ApplicationManager::registerHandlers() {
    dispatcher_.add(UM_QUIT, [this](kestra::ThreadMessage&) { shutdownOnQuit(); });
    dispatcher_.add(UM_SHOW_MESSAGE, [this](kestra::ThreadMessage& message) {
        if (const std::wstring* text = message.payloadAs<std::wstring>()) {
            showMessage(*text);
        }
    });
    reactions_.registerHandlers(dispatcher_);
    windows_.registerHandlers(
        dispatcher_, [this] { return updateNote(); }, [this] { return getDownloadAddress(); });
    // A place chosen on the map is handled exactly as a GPS reading.
    map_.registerHandlers(dispatcher_,
                          [this](const WorldCoords& position) { onGPSPosition(position, true); });
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
    if (!windows_.mainFrameExists()) {
        return false;
    }
    Log::info("ApplicationManager: another start asked to bring the main window forward.");
    return windows_.mainFrame()->bringToFront();
}

bool ApplicationManager::mainFrameExists() {
    kestra::Mutex::Locker lock(controllerLock_);
    return windows_.mainFrameExists();
}

int ApplicationManager::runApplication() {
    if (!startHttpLoader()) {
        return 1;
    }
    readServerAddress();
    createProfileAndContacts();
    gps_ = std::make_unique<ControllerGps>(*this);
    gps_->readSettings();
    contactsToDelete_ = Settings::getListStringValue(L"user.contactstodelete");

    timer_ = std::make_unique<kestra::ThreadTimer>();
    guiStarted_ = true;
    guiThread_.post([this] { run(); });

    mapTypeNames_ = {tr("Satellite"), tr("Roadmap"), tr("Hybrid")};
    if (!startMapLoader()) {
        return 1;
    }

    if (!waitForWindows()) {
        return 1;
    }
    {
        kestra::Mutex::Locker lock(controllerLock_);
        if (gps_->startWhenSwitchedOn()) {
            windows_.showGpsState(GPS_STATE_SEARCHING);
        }
    }
    prepareMap();
    {
        kestra::Mutex::Locker lock(controllerLock_);
        windows_.addTimerListeners(*timer_);
        timer_->start();
    }
    if (Settings::getIntValue(L"maps.inetMode", 0) == 1) {
        map_.setCachedMapsLabel(true);  // 2 also keeps to the cache, but without the label
    }
    windows_.applyNoSleepSetting();
    reactions_.signInAtStart();
    if (updateChecker_) {
        updateChecker_->startCheck();
    }
    return controllerLoop();
}

// The loader's results reach the update check (and, through UM_REGISTRATION_REPLY, the
// registration). Without an application folder there is nowhere to put a package, so the
// update check stays off.
bool ApplicationManager::startHttpLoader() {
    if (!applicationFolder_.empty()) {
        updateChecker_ = std::make_unique<UpdateChecker>(
            applicationFolder_, installPlace_.value_or(InstallPlace(platform::programFolder())),
            [this](const std::wstring& url, std::int32_t id, bool toFile,
                   const std::wstring& file) { request(url, id, toFile, file); },
            [this](const std::wstring& text) { showMessage(text); }, clock_);
    }
    httpLoader_ = std::make_unique<HTTPLoader>(this, HTTPLoader::serviceWebRoot(), clock_);
    httpLoader_->start();
    while (!httpLoader_->isStarted()) {
        if (!httpLoader_->isRunning()) {
            Log::error("ApplicationManager::runApplication: new HTTPLoader() == NULL.");
            return false;
        }
        clock_.sleepMs(POLL_MS);
    }
    return true;
}

// The tile source from the settings (0 when missing or unknown), then the thread, online
// unless the settings ask for cached maps only. Its listener, the view manager, is wired
// when the view exists.
bool ApplicationManager::startMapLoader() {
    try {
        mapLoader_ = std::make_unique<MapsLoaderManager>();
    } catch (const std::bad_alloc&) {
        Log::error("ApplicationManager:RunApplicationManager ERROR: mapLoader == NULL.");
        return false;
    }
    int loaderName = 0;
    if (!Settings::getIntValue(L"maps.loaderName", &loaderName) ||
        !mapLoader_->selectLoader(loaderName)) {
        Settings::setIntValue(L"maps.loaderName", 0);
        mapLoader_->selectLoader(0);
    }
    map_.useLoader(*mapLoader_);
    if (imageFactory_ != nullptr) {
        map_.create(*mapLoader_, *imageFactory_);
    }
    mapLoader_->start();
    if (Settings::getIntValue(L"maps.inetMode", 0) == 0) {
        mapLoader_->setOnline();
    } else {
        mapLoader_->setOffline();
    }
    return true;
}

// Its stop waits for the thread; stopped before the tile cache is shut down, so that no
// block is saved into a closed cache. The object stays until the controller goes: the view
// manager still holds it while the window may ask for a zoom.
void ApplicationManager::stopMapLoader() {
    if (mapLoader_) {
        mapLoader_->stop();
    }
}

void ApplicationManager::stopMapWorkers() {
    map_.stopDrawing();
    stopMapLoader();
    map_.stopMatrix();
}

// The block matrix, the contact drawing thread and the view manager's set-up, which loads the
// first picture: on this thread, never the GUI's. The windows' drawing sides were taken when
// they were made.
void ApplicationManager::prepareMap() {
    IMapViewWindow* mapView = nullptr;
    IInfoWindow* withPicture = nullptr;
    IInfoWindow* withoutPicture = nullptr;
    IContactsGroupWindow* groupList = nullptr;
    {
        kestra::Mutex::Locker lock(controllerLock_);
        mapView = windows_.mapView();
        withPicture = windows_.viewInfoWindow(true);
        withoutPicture = windows_.viewInfoWindow(false);
        groupList = windows_.viewGroupList();
    }
    if (mapView != nullptr && userContactProfile_) {
        map_.prepare(*mapView, withPicture, withoutPicture, groupList, *userContactProfile_,
                     contacts_, contactsLock_);
    }
}

// Stopped before anything is saved, so that no result changes the settings afterwards.
void ApplicationManager::stopHttpLoader() {
    if (httpLoader_) {
        httpLoader_->stop();
        httpLoader_.reset();
    }
}

void ApplicationManager::request(const std::wstring& url, std::int32_t requestId, bool saveToFile,
                                 const std::wstring& filePath) {
    if (!httpLoader_ || !httpLoader_->isRunning()) {
        return;
    }
    auto entry = std::make_unique<HTTPRequest>();
    entry->requestId = requestId;
    entry->url = url;
    entry->saveToFile = saveToFile;
    entry->filePath = filePath;
    httpLoader_->addRequest(std::move(entry));
}

void ApplicationManager::requestRegistration() {
    request(HTTPLoader::serviceWebRoot() + L"getid/",
            static_cast<std::int32_t>(REQUEST_REGISTRATION), false, L"");
}

// Every message the user is shown is logged too, whether or not the map can show it yet.
void ApplicationManager::showMessage(const std::wstring& text) {
    Log::info(L"ApplicationManager::showMessage: " + text);
    map_.showMessage(text);
}

bool ApplicationManager::isVersionInfoReceived() const {
    return updateChecker_ && updateChecker_->isVersionInfoReceived();
}

bool ApplicationManager::canInstallUpdates() const {
    return !updateChecker_ || updateChecker_->installPlace().canInstallUpdates();
}

std::wstring ApplicationManager::updateNote() const {
    if (canInstallUpdates()) {
        return std::wstring();
    }
    return tr(
        "Lumora cannot update itself where it is installed. New versions come from "
        "your system's package manager, or from whoever installed it there.");
}

std::wstring ApplicationManager::getDownloadAddress() const {
    return updateChecker_ ? updateChecker_->downloadAddress() : std::wstring();
}

// A complete file from an earlier download is fetched again rather than trusted.
bool ApplicationManager::isFileToReload(const std::wstring&) {
    return true;
}

void ApplicationManager::onHTTPResult(std::unique_ptr<HTTPResult> result, HTTPLoader* loader) {
    try {
        if (result->requestId == static_cast<std::int32_t>(REQUEST_REGISTRATION)) {
            postMessage(UM_REGISTRATION_REPLY, 0, 0, kestra::makePayload(std::move(*result)));
            return;
        }
        if (updateChecker_) {
            updateChecker_->handleResult(*result, [loader] { return loader->isRunning(); });
        }
    } catch (const std::exception& e) {
        Log::error("ApplicationManager::onHTTPResult: exception \"" + std::string(e.what()) +
                   "\".");
    }
}

// The map view's busy indication is not part of the program yet.
void ApplicationManager::onHTTPStart() {}
void ApplicationManager::onHTTPFinish() {}

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

// The user's profile and the contacts stored on the device. This follows the server address,
// so that contacts of the configured chat host are shown by their user ids. The profile's
// own record from the last run (kept apart from the contacts) is taken over by JID. The
// messaging part attaches the profile to the Jabber session here.
void ApplicationManager::createProfileAndContacts() {
    LumoraContact::setServiceHost(kestra::utf8ToWide(CHAT_HOST));
    userContactProfile_ = std::make_unique<UserContactProfile>();
    userContactProfile_->setStatus(LumoraContact::STATUS_OFFLINE);
    session_->setUserProfile(userContactProfile_.get());
    SessionReactions::Parts parts;
    parts.session = session_.get();
    parts.profile = userContactProfile_.get();
    parts.chats = &chatWindows_;
    parts.windows = &windows_;
    parts.controllerLock = &controllerLock_;
    parts.clock = &clock_;
    parts.contactsToDelete = &contactsToDelete_;
    parts.requestRegistration = [this] { requestRegistration(); };
    parts.guiRuns = [this] { return guiThread_.isRunning(); };
    reactions_.attach(std::move(parts));
    userContactProfile_->addListener(&reactions_);
    kestra::Mutex::Locker lock(contactsLock_);
    contacts_.clear();
    const LumoraContact::ContactList ownRecords = LumoraContact::loadContactsListInfo(contacts_);
    const std::wstring ownJid = userContactProfile_->getJid();
    for (const auto& record : ownRecords) {
        if (!ownJid.empty() && record->getJid() == ownJid) {
            userContactProfile_->takeOverContact(*record);
            break;
        }
    }
}

std::shared_ptr<LumoraContact> ApplicationManager::findContact(const std::wstring& jid) {
    kestra::Mutex::Locker lock(contactsLock_);
    const auto it = contacts_.find(jid);
    return it != contacts_.end() ? it->second : nullptr;
}

void ApplicationManager::onGPSPosition(const WorldCoords& position, bool valid) {
    if (gps_) {
        gps_->onPosition(position, valid);
    }
    if (valid && CoordinateUtils::isValid(position)) {
        map_.setOwnPosition(position);
    }
}

void ApplicationManager::onGPSSatellites(const SatelliteList& satellites, bool fix) {
    gps_->onSatellites(satellites, fix);
    onGPSFixState(fix);
    windows_.showSatellites(satellites, fix);
}

// A fix found while searching, or lost while not: the GPS button shows it.
void ApplicationManager::onGPSFixState(bool hasFix) {
    if (gps_ && gps_->changeFixState(hasFix)) {
        windows_.showGpsState(hasFix ? GPS_STATE_FIX : GPS_STATE_SEARCHING);
    }
}

int ApplicationManager::switchGPS() {
    return gps_ ? gps_->switchGPS() : GPS_STATE_OFF;
}

GPSDeviceSelector* ApplicationManager::getGPSDeviceSelector() {
    return gps_ ? gps_->selector() : nullptr;
}

bool ApplicationManager::setNewUserId(const std::wstring& gid) {
    if (!isDecimalId(gid) || !userContactProfile_) {
        return false;
    }
    userContactProfile_->setNewUserJid(gid + L"@" + kestra::utf8ToWide(CHAT_HOST));
    return true;
}

LoginData ApplicationManager::getLoginData() {
    if (!userContactProfile_) {
        return LoginData();
    }
    return {userContactProfile_->getGid(), userContactProfile_->getPassword()};
}

void ApplicationManager::sendChatMessage(const std::wstring& text, const std::wstring& jid) {
    session_->sendChatMessage(kestra::wideToUtf8(text), kestra::wideToUtf8(jid));
}

void ApplicationManager::startUserSearch(const std::wstring& gid, const std::wstring& email,
                                         const std::wstring& nick, const std::wstring& firstName,
                                         const std::wstring& lastName, int gender, double distance,
                                         int status) {
    using kestra::wideToUtf8;
    session_->search(wideToUtf8(gid), wideToUtf8(firstName), wideToUtf8(lastName), wideToUtf8(nick),
                     wideToUtf8(email), gender, distance, status);
}

// Waits until the GUI thread has created every window. Gives up when the GUI thread ended
// first (a window could not be created), instead of waiting forever.
bool ApplicationManager::waitForWindows() {
    for (;;) {
        // Once every window exists the start goes on even when the user has already
        // closed the main frame: the loop then sees the GUI gone and ends normally.
        if (windows_.isComplete()) {
            return true;
        }
        if (guiFailed_ || !guiThread_.isRunning()) {
            Log::error(
                "ApplicationManager::runApplication: the GUI thread ended before its windows "
                "were created.");
            return false;
        }
        clock_.sleepMs(POLL_MS);
    }
}

void ApplicationManager::run() {
    try {
        kestra::Mutex::Locker lock(controllerLock_);
        windows_.create(guiFactory_, *this);
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
            chatWindows_.closeAll();
            return 0;  // the main frame was closed
        }
        queue_.wait(static_cast<int>(POLL_MS));
    }
}

bool ApplicationManager::handleMessage(kestra::ThreadMessage& message) {
    dispatcher_.dispatch(message);
    return message.id == UM_QUIT;
}

void ApplicationManager::shutdownOnQuit() {
    if (timer_) {
        timer_->stop();
    }
    stopMapWorkers();
    stopHttpLoader();
    chatWindows_.closeAll();
    if (mainFrameExists() && !windows_.mainFrame()->postClose()) {
        Log::error("::PostMessage (mainFrame->getHWND(), WM_CLOSE,0,0).");
        guiThread_.quit();
    }
    waitWhileGuiRuns();
    session_->shutdown();
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
        kestra::Mutex::Locker lock(contactsLock_);
        LumoraContact::saveContactsListInfo(contacts_);
    } catch (...) {
        Log::error("ApplicationManager::serialize LumoraContact::saveContactsListInfo exception.");
    }
    try {
        if (userContactProfile_) {
            userContactProfile_->saveContactsInfo();
        }
    } catch (...) {
        Log::error("ApplicationManager::serialize userContactProfile->serialize() exception.");
    }
    try {
        windows_.saveLayout();
    } catch (...) {
        Log::error("ApplicationManager::serialize splitter state exception.");
    }
    try {
        map_.save();
    } catch (...) {
        Log::error("ApplicationManager::serialize viewManager->save() exception.");
    }
    try {
        Settings::shutdown();
    } catch (...) {
        Log::error("ApplicationManager::serialize kestra::Settings::shutdown() exception.");
    }
    try {
        CacheManager::shutdown();
    } catch (...) {
        Log::error("ApplicationManager::serialize CacheManager::shutdown() exception");
    }
}
