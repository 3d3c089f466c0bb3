#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "client/app/ChatWindows.h"
#include "client/app/ControllerGps.h"
#include "client/app/ControllerMap.h"
#include "client/app/ControllerWindows.h"
#include "client/app/IApplicationManager.h"
#include "client/app/IGuiFactory.h"
#include "client/app/IGuiThread.h"
#include "client/app/IMainFrame.h"
#include "client/app/InstallPlace.h"
#include "client/app/MessageDispatcher.h"
#include "client/app/SessionReactions.h"
#include "client/contacts/LumoraContact.h"
#include "client/contacts/UserContactProfile.h"
#include "client/maps/IHTTPListener.h"
#include "client/messaging/IJabberClient.h"
#include "client/messaging/JabberClientFactory.h"
#include "kestra/Clock.h"
#include "kestra/IRunnable.h"
#include "kestra/MessageQueue.h"
#include "kestra/Mutex.h"
#include "kestra/ThreadTimer.h"

class HTTPLoader;
class MapsLoaderManager;
class UpdateChecker;

// The controller. It creates and wires the long-lived components, has the GUI thread
// create the windows, and then runs its message loop on its own thread until the user
// quits or the GUI ends. States: created -> running (runApplication) -> stopping (UM_QUIT
// or the GUI ended) -> stopped (destroyed, after serialize).
//
// It keeps the wiring and the message table; the work of its parts lives in collaborators
// it owns: SessionReactions (the session's listener, sign-in and connection state),
// ChatWindows (chat windows and unread messages), ControllerGps (the GPS owner),
// ControllerWindows (the windows behind their proxies) and ControllerMap (the view manager,
// the block matrix and the contact drawing thread).
class ApplicationManager : public kestra::IRunnable,
                           public IApplicationManager,
                           public IHTTPListener {
public:
    // Makes the XMPP session that reports to the listener.
    using SessionFactory = std::function<std::unique_ptr<IJabberClient>(IJabberListener* listener,
                                                                        kestra::IClock& clock)>;

    ApplicationManager(IGuiThread& guiThread, IGuiFactory& guiFactory,
                       kestra::IClock& clock = kestra::SystemClock::instance(),
                       const SessionFactory& makeSession = createJabberClient);
    ~ApplicationManager() override;

    // Controller thread: start-up of the components, then the controller loop.
    // Returns 0 after an orderly end and 1 when a component cannot be created.
    int runApplication();

    // The GUI thread's body: creates the windows under the controller lock.
    void run() override;

    // IControllerCommands.
    bool postMessage(unsigned int id, std::intptr_t wParam = 0, std::intptr_t lParam = 0,
                     std::unique_ptr<kestra::MessagePayload> payload = nullptr) override;
    void quit() override;
    // The message line belongs to the map view; until it exists the text goes to the log.
    void showMessage(const std::wstring& text) override;

    // GPS readings, on the GPS worker's thread.
    void onGPSPosition(const WorldCoords& position, bool valid) override;
    void onGPSSpeed(const GPSSpeed&, bool) override {}
    void onGPSDate(const GPSDate&, bool) override {}
    void onGPSTime(const GPSTime&, bool) override {}
    void onGPSAltitude(double, bool) override {}
    void onGPSSatellites(const SatelliteList& satellites, bool fix) override;

    // IGpsControl.
    void onGPSFixState(bool hasFix) override;
    int switchGPS() override;
    GPSDeviceSelector* getGPSDeviceSelector() override;
    // True between a lost (or not yet found) fix and the next one.
    bool isSearchingGPSFix() const { return gps_ && gps_->isSearching(); }

    // IAccountControl.
    void changeOwnStatus(int newStatus) override { reactions_.changeOwnStatus(newStatus); }
    void showConnectionState(int status, const std::wstring& text) override {
        reactions_.showConnectionState(status, text);
    }
    bool setNewUserId(const std::wstring& gid) override;
    LoginData getLoginData() override;
    // The options window is not part of the program yet.
    void updateProfileTab() override {}

    // IChatControl.
    bool hasUnreadMessagesFrom(const std::wstring& jid) override {
        return chatWindows_.hasUnreadFrom(jid);
    }
    bool hasUnreadMessages() override { return chatWindows_.hasUnread(); }
    std::shared_ptr<LumoraContact> getFirstContactFromMessageMap() override {
        return chatWindows_.firstUnreadContact();
    }
    void bringCurrentChatWindowForward() override { chatWindows_.bringCurrentForward(); }
    void hideCurrentChatWindow() override { chatWindows_.hideCurrent(); }
    void hideAllChatWindows() override { chatWindows_.hideAll(); }
    void registerChatWindow(std::unique_ptr<IChatWindow> window, const std::wstring& jid) override {
        chatWindows_.add(std::move(window), jid);
    }
    void sendChatMessage(const std::wstring& text, const std::wstring& jid) override;

    // IContactsControl.
    std::shared_ptr<LumoraContact> findContact(const std::wstring& jid) override;
    LumoraContact::ContactMap& getContacts() override { return contacts_; }
    kestra::Mutex& getContactsLock() override { return contactsLock_; }
    UserContactProfile* getUserContactProfile() override { return userContactProfile_.get(); }
    // The image factory the map draws with; none: the program runs without a map.
    IImageFactory* getImageFactory() override { return imageFactory_; }
    // Before runApplication; not owned.
    void setImageFactory(IImageFactory* factory) { imageFactory_ = factory; }
    // The map's side (the view manager and its helpers), for tests.
    ControllerMap& map() { return map_; }
    void startUserSearch(const std::wstring& gid, const std::wstring& email,
                         const std::wstring& nick, const std::wstring& firstName,
                         const std::wstring& lastName, int gender, double distance,
                         int status) override;

    // Brings the main frame forward (a second start asked for it); false without a window.
    bool bringMainFrameForward();
    // Called on the GUI thread once every window exists.
    void setWindowsCreatedCallback(std::function<void()> callback);
    // Wakes the controller loop so it notices that the GUI thread ended.
    void onGuiThreadEnded();

    // Saves all state once; later calls do nothing.
    void serialize();

    HTTPLoader* getHTTPLoader() const { return httpLoader_.get(); }
    MapsLoaderManager* getMapLoader() const { return mapLoader_.get(); }
    // The XMPP session, reporting to the session reactions.
    IJabberClient& getJabberClient() { return *session_; }

    // The application folder, which holds the update folder; set before runApplication.
    void setApplicationFolder(const std::wstring& folder) { applicationFolder_ = folder; }
    // Where this client is installed, for the update check; set before runApplication.
    // Without it the running program's folder is used.
    void setInstallPlace(const InstallPlace& place) { installPlace_ = place; }
    // Queues an HTTP request on the loader; dropped silently when the loader does not run.
    void request(const std::wstring& url, std::int32_t requestId, bool saveToFile,
                 const std::wstring& filePath);
    // Asks the service's "getid/" for a new GID; the reply comes as UM_REGISTRATION_REPLY.
    void requestRegistration();
    bool isVersionInfoReceived() const;
    std::wstring getDownloadAddress() const;
    // False when this installation leaves updates to the system's package manager (or
    // to whoever may write its program folder); true before the update check exists.
    bool canInstallUpdates() const;
    // For the about window: why updates are not installed here (empty when they are).
    std::wstring updateNote() const;

    // The HTTP loader's reports, on its thread.
    bool isFileToReload(const std::wstring& filePath) override;
    void onHTTPResult(std::unique_ptr<HTTPResult> result, HTTPLoader* loader) override;
    void onHTTPStart() override;
    void onHTTPFinish() override;

    const std::vector<std::wstring>& getContactsToDelete() const { return contactsToDelete_; }
    const std::vector<std::wstring>& getMapTypeNames() const { return mapTypeNames_; }

private:
    void registerHandlers();
    bool startHttpLoader();
    void stopHttpLoader();
    bool startMapLoader();
    void stopMapLoader();
    void readServerAddress();
    void createProfileAndContacts();
    bool waitForWindows();
    bool mainFrameExists();
    int controllerLoop();
    // Returns true when the message ends the loop.
    bool handleMessage(kestra::ThreadMessage& message);
    void shutdownOnQuit();
    void waitWhileGuiRuns();
    void prepareMap();
    // Ends the map's workers and the maps loader (the objects stay until destruction).
    void stopMapWorkers();

    IGuiThread& guiThread_;
    IGuiFactory& guiFactory_;
    kestra::IClock& clock_;
    kestra::MessageQueue queue_;
    MessageDispatcher dispatcher_;

    std::wstring applicationFolder_;
    std::optional<InstallPlace> installPlace_;
    std::unique_ptr<UpdateChecker> updateChecker_;
    std::unique_ptr<HTTPLoader> httpLoader_;
    IImageFactory* imageFactory_ = nullptr;
    std::unique_ptr<MapsLoaderManager> mapLoader_;
    // Before the session, which reports to it until the session is gone.
    SessionReactions reactions_;
    std::unique_ptr<IJabberClient> session_;
    std::unique_ptr<ControllerGps> gps_;
    std::unique_ptr<kestra::ThreadTimer> timer_;
    // Taken by the GUI thread while it creates the windows and by the controller while it
    // wires them or looks at them.
    kestra::Mutex controllerLock_;
    ControllerWindows windows_{controllerLock_};
    ControllerMap map_{*this, [this](bool loading) { windows_.showMapLoading(loading); }};
    std::unique_ptr<UserContactProfile> userContactProfile_;
    LumoraContact::ContactMap contacts_;
    ChatWindows chatWindows_;
    std::function<void()> windowsCreated_;

    std::vector<std::wstring> contactsToDelete_;
    std::vector<std::wstring> mapTypeNames_;
    const std::wstring textLoaderCantChange_;
    const std::wstring textMapTypeCantChange_;
    const std::wstring textCachedMaps_;

    std::atomic<bool> guiStarted_{false};
    std::atomic<bool> guiFailed_{false};
    std::atomic<bool> serialized_{false};

    // Guards the contact map.
    kestra::Mutex contactsLock_;
};
