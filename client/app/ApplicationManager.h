#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "client/app/IApplicationManager.h"
#include "client/app/IGuiFactory.h"
#include "client/app/IGuiThread.h"
#include "client/app/IMainFrame.h"
#include "client/contacts/LumoraContact.h"
#include "client/contacts/UserContactProfile.h"
#include "client/maps/IHTTPListener.h"
#include "client/messaging/IJabberListener.h"
#include "client/messaging/JabberClient.h"
#include "kestra/Clock.h"
#include "kestra/IRunnable.h"
#include "kestra/MessageQueue.h"
#include "kestra/Mutex.h"
#include "kestra/ThreadTimer.h"

class GPSDeviceSelector;
class HTTPLoader;
class MapsLoaderManager;
class UpdateChecker;

// The controller. It creates and wires the long-lived components, has the GUI thread
// create the windows, and then runs its message loop on its own thread until the user
// quits or the GUI ends. States: created -> running (runApplication) -> stopping (UM_QUIT
// or the GUI ended) -> stopped (destroyed, after serialize).
class ApplicationManager : public kestra::IRunnable,
                           public IApplicationManager,
                           public IHTTPListener,
                           public IJabberListener {
public:
    ApplicationManager(IGuiThread& guiThread, IGuiFactory& guiFactory,
                       kestra::IClock& clock = kestra::SystemClock::instance());
    ~ApplicationManager() override;

    // Controller thread: start-up of the components, then the controller loop.
    // Returns 0 after an orderly end and 1 when a component cannot be created.
    int runApplication();

    // The GUI thread's body: creates the windows under the controller lock.
    void run() override;

    void quit() override;
    bool postMessage(unsigned int id, std::intptr_t wParam = 0, std::intptr_t lParam = 0,
                     std::unique_ptr<kestra::MessagePayload> payload = nullptr) override;

    // GPS readings, on the GPS worker's thread.
    void onGPSPosition(const WorldCoords& position, bool valid) override;
    void onGPSSpeed(const GPSSpeed& speed, bool valid) override;
    void onGPSDate(const GPSDate& date, bool valid) override;
    void onGPSTime(const GPSTime& time, bool valid) override;
    void onGPSAltitude(double altitude, bool valid) override;
    void onGPSSatellites(const SatelliteList& satellites, bool fix) override;
    GPSDeviceSelector* getGPSDeviceSelector() override { return gpsDeviceSelector_.get(); }
    // True between a lost (or not yet found) fix and the next one.
    bool isSearchingGPSFix() const { return gpsSearching_; }

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
    // The XMPP session, with the controller as its listener.
    JabberClient& getJabberClient() { return *jabberClient_; }

    // The application folder, which holds the update folder; set before runApplication.
    void setApplicationFolder(const std::wstring& folder) { applicationFolder_ = folder; }
    // Queues an HTTP request on the loader; dropped silently when the loader does not run.
    void request(const std::wstring& url, std::int32_t requestId, bool saveToFile,
                 const std::wstring& filePath);
    // Asks the service's "getid/" for a new GID; the reply comes as UM_REGISTRATION_REPLY.
    void requestRegistration();
    // Shows a text to the user (the view manager's message line).
    void showMessage(const std::wstring& text);
    bool isVersionInfoReceived() const;
    std::wstring getDownloadAddress() const;

    // The HTTP loader's reports, on its thread.
    bool isFileToReload(const std::wstring& filePath) override;
    void onHTTPResult(std::unique_ptr<HTTPResult> result, HTTPLoader* loader) override;
    void onHTTPStart() override;
    void onHTTPFinish() override;
    // The session's report that the own position node is refused.
    void onPositionNotShared() override;

    const std::vector<std::wstring>& getContactsToDelete() const { return contactsToDelete_; }
    const std::vector<std::wstring>& getMapTypeNames() const { return mapTypeNames_; }

    // The signed-in user's profile; exists from runApplication on.
    UserContactProfile* getUserContactProfile() const { return userContactProfile_.get(); }
    // The roster's contacts keyed by JID; take getContactsLock() while using the map.
    LumoraContact::ContactMap& getContacts() { return contacts_; }
    kestra::Mutex& getContactsLock() { return contactsLock_; }
    // The contact with that JID, or null when the map has none.
    std::shared_ptr<LumoraContact> findContact(const std::wstring& jid);

private:
    bool startHttpLoader();
    void stopHttpLoader();
    bool startMapLoader();
    void stopMapLoader();
    void readServerAddress();
    void readGpsSettings();
    void createProfileAndContacts();
    void startGpsWhenSwitchedOn();
    void stopGps();
    void changeFixState(bool hasFix);
    bool waitForWindows();
    bool mainFrameExists();
    int controllerLoop();
    // Returns true when the message ends the loop.
    bool handleMessage(const kestra::ThreadMessage& message);
    void onRegistrationReply(const kestra::ThreadMessage& message);
    void shutdownOnQuit();
    void waitWhileGuiRuns();

    IGuiThread& guiThread_;
    IGuiFactory& guiFactory_;
    kestra::IClock& clock_;
    kestra::MessageQueue queue_;

    std::wstring applicationFolder_;
    std::unique_ptr<UpdateChecker> updateChecker_;
    std::unique_ptr<HTTPLoader> httpLoader_;
    std::unique_ptr<MapsLoaderManager> mapLoader_;
    std::unique_ptr<JabberClient> jabberClient_;
    std::unique_ptr<GPSDeviceSelector> gpsDeviceSelector_;
    std::unique_ptr<kestra::ThreadTimer> timer_;
    std::unique_ptr<IMainFrame> mainFrame_;
    std::unique_ptr<UserContactProfile> userContactProfile_;
    LumoraContact::ContactMap contacts_;
    std::function<void()> windowsCreated_;

    std::vector<std::wstring> contactsToDelete_;
    std::vector<std::wstring> mapTypeNames_;
    const std::wstring textLoaderCantChange_;
    const std::wstring textMapTypeCantChange_;
    const std::wstring textCachedMaps_;

    std::atomic<bool> guiStarted_{false};
    std::atomic<bool> guiFailed_{false};
    std::atomic<bool> serialized_{false};
    std::atomic<bool> gpsOn_{false};
    std::atomic<bool> gpsSearching_{true};

    // Taken by the GUI thread while it creates the windows and by the controller while it
    // wires them or looks at them.
    kestra::Mutex controllerLock_;
    // Guards the contact map.
    kestra::Mutex contactsLock_;
};
