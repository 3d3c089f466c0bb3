#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "client/app/IApplicationManager.h"
#include "client/app/IChatWindow.h"
#include "client/contacts/UserContactProfile.h"

// A controller for window tests: it records every call the windows make, in order, as text
// such as "switchGPS()" or "sendChatMessage(hi, 5@localhost)", keeps the messages posted to
// it (with their payloads) and the chat windows registered with it, and answers queries
// from the public fields below.
class FakeApplicationManager : public IApplicationManager {
public:
    FakeApplicationManager();
    ~FakeApplicationManager() override;

    std::vector<std::string> calls() const;
    int count(const std::string& prefix) const;
    // The posted messages, oldest first; the fake owns them (and their payloads).
    std::vector<unsigned int> postedIds() const;
    // The last message posted with the id (valid until the next post), or null.
    const kestra::ThreadMessage* lastPosted(unsigned int id) const;
    IChatWindow* chatWindow(const std::wstring& jid) const;

    // Answers.
    int gpsState = GPS_STATE_SEARCHING;
    bool acceptUserId = true;
    LoginData loginData;
    bool unread = false;
    // The JIDs with unread messages; when empty, every JID answers as unread does.
    std::set<std::wstring> unreadFrom;
    std::shared_ptr<LumoraContact> firstUnread;
    UserContactProfile* profile = nullptr;
    bool acceptPosts = true;

    bool postMessage(unsigned int id, std::intptr_t wParam = 0, std::intptr_t lParam = 0,
                     std::unique_ptr<kestra::MessagePayload> payload = nullptr) override;
    void quit() override { record("quit()"); }
    void showMessage(const std::wstring& text) override;

    void onGPSPosition(const WorldCoords&, bool) override { record("onGPSPosition()"); }
    void onGPSSpeed(const GPSSpeed&, bool) override {}
    void onGPSDate(const GPSDate&, bool) override {}
    void onGPSTime(const GPSTime&, bool) override {}
    void onGPSAltitude(double, bool) override {}
    void onGPSSatellites(const SatelliteList&, bool) override { record("onGPSSatellites()"); }
    void onGPSFixState(bool hasFix) override;
    int switchGPS() override;
    GPSDeviceSelector* getGPSDeviceSelector() override { return nullptr; }

    void changeOwnStatus(int newStatus) override;
    void showConnectionState(int status, const std::wstring& text) override;
    bool setNewUserId(const std::wstring& gid) override;
    LoginData getLoginData() override;
    void updateProfileTab() override { record("updateProfileTab()"); }

    bool hasUnreadMessagesFrom(const std::wstring& jid) override;
    bool hasUnreadMessages() override;
    std::shared_ptr<LumoraContact> getFirstContactFromMessageMap() override;
    void bringCurrentChatWindowForward() override { record("bringCurrentChatWindowForward()"); }
    void hideCurrentChatWindow() override { record("hideCurrentChatWindow()"); }
    void hideAllChatWindows() override { record("hideAllChatWindows()"); }
    void registerChatWindow(std::unique_ptr<IChatWindow> window, const std::wstring& jid) override;
    void sendChatMessage(const std::wstring& text, const std::wstring& jid) override;

    std::shared_ptr<LumoraContact> findContact(const std::wstring& jid) override;
    LumoraContact::ContactMap& getContacts() override { return contacts_; }
    kestra::Mutex& getContactsLock() override { return contactsLock_; }
    UserContactProfile* getUserContactProfile() override { return profile; }
    IImageFactory* getImageFactory() override { return nullptr; }
    void startUserSearch(const std::wstring& gid, const std::wstring& email,
                         const std::wstring& nick, const std::wstring& firstName,
                         const std::wstring& lastName, int gender, double distance,
                         int status) override;

private:
    void record(std::string call);

    mutable std::mutex mutex_;
    std::vector<std::string> calls_;
    std::vector<kestra::ThreadMessage> posted_;
    std::map<std::wstring, std::unique_ptr<IChatWindow>> chatWindows_;
    LumoraContact::ContactMap contacts_;
    kestra::Mutex contactsLock_;
};
