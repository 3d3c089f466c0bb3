#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "client/app/IAboutWindow.h"
#include "client/app/IChatWindow.h"
#include "client/app/IContactDetailsDialog.h"
#include "client/app/IContactInfoWindow.h"
#include "client/app/IContactListWindow.h"
#include "client/app/IGroupListWindow.h"
#include "client/app/IGuiThread.h"
#include "client/app/IHistoryWindow.h"
#include "client/app/IMainFrame.h"
#include "client/app/IMainSplitter.h"
#include "client/app/IMapViewWindow.h"
#include "client/app/ISatellitesWindow.h"
#include "client/contacts/LumoraContact.h"
#include "kestra/TextCodec.h"

// Windows without a toolkit for the controller tests: each records, as text and in order,
// what the controller asks of it ("show()", "reconnect(0, 1000)", ...).
template <class Interface>
class FakeWindow : public Interface {
public:
    bool isWindow() const override { return alive.load(); }
    bool isShown() const override { return alive.load() && shown.load(); }
    bool show() override {
        ++shows;
        shown = true;
        record("show()");
        return alive.load();
    }
    bool hide() override {
        shown = false;
        record("hide()");
        return alive.load();
    }
    std::vector<std::string> calls() const {
        std::lock_guard<std::mutex> guard(mutex_);
        return calls_;
    }
    int count(const std::string& prefix) const {
        int n = 0;
        for (const auto& call : calls()) {
            n += call.compare(0, prefix.size(), prefix) == 0 ? 1 : 0;
        }
        return n;
    }
    std::atomic<bool> alive{true};
    std::atomic<bool> shown{false};
    std::atomic<int> shows{0};

protected:
    void record(std::string call) {
        std::lock_guard<std::mutex> guard(mutex_);
        calls_.push_back(std::move(call));
    }

private:
    mutable std::mutex mutex_;
    std::vector<std::string> calls_;
};

// Closing it ends the fake GUI, as closing the real main frame ends the GUI loop.
class FakeMainFrame : public FakeWindow<IMainFrame> {
public:
    explicit FakeMainFrame(IGuiThread& gui) : gui_(gui) {}
    bool postClose() override {
        ++closeRequests;
        alive = false;
        gui_.quit();
        return true;
    }
    bool bringToFront() override {
        ++raises;
        return true;
    }
    void showConnectionStatus(int status) override {
        record("showConnectionStatus(" + std::to_string(status) + ")");
    }
    void showGpsState(int state) override { record("showGpsState(" + std::to_string(state) + ")"); }
    void createChatWindow(const std::shared_ptr<LumoraContact>& contact) override {
        record("createChatWindow(" + kestra::wideToUtf8(contact ? contact->getJid() : L"") + ")");
        if (makeChat) {
            gui_.post([this, contact] { makeChat(contact); });
        }
    }
    void reconnect(int status, int delayMs) override {
        record("reconnect(" + std::to_string(status) + ", " + std::to_string(delayMs) + ")");
    }
    void showAuthorizationRequest(const std::wstring& jid, const std::wstring& text) override {
        record("showAuthorizationRequest(" + kestra::wideToUtf8(jid) + ", " +
               kestra::wideToUtf8(text) + ")");
    }
    void setNoSleep(bool on) override { record(on ? "setNoSleep(1)" : "setNoSleep(0)"); }
    void showMapLoading(bool loading) override {
        record(loading ? "showMapLoading(1)" : "showMapLoading(0)");
    }
    void onTimer() override { ++ticks; }
    // When set, makes and registers the chat window on the GUI thread, as the real frame does.
    std::function<void(const std::shared_ptr<LumoraContact>&)> makeChat;
    std::atomic<int> closeRequests{0};
    std::atomic<int> raises{0};
    std::atomic<int> ticks{0};

private:
    IGuiThread& gui_;
};

// The pane's state and the bar's position as the real splitter keeps them.
class FakeSplitter : public FakeWindow<IMainSplitter> {
public:
    bool setPanes(IMapViewWindow&, IContactListWindow&) override {
        record("setPanes()");
        return acceptPanes;
    }
    bool isContactPaneShown() const override { return paneShown.load(); }
    void showContactPane(bool shown) override {
        paneShown = shown;
        record(shown ? "showContactPane(1)" : "showContactPane(0)");
    }
    void toggleContactPane() override {
        paneShown = !paneShown.load();
        record("toggleContactPane()");
    }
    int splitterPosition() const override { return position.load(); }
    void setSplitterPosition(int value) override {
        position = value;
        record("setSplitterPosition(" + std::to_string(value) + ")");
    }
    bool acceptPanes = true;
    std::atomic<bool> paneShown{true};
    std::atomic<int> position{0};
};

class FakeMapView : public FakeWindow<IMapViewWindow> {
public:
    void onTimer() override {}
    IMapsView* mapsView() override { return nullptr; }
    IDrawContactsToMap* contactsDrawer() override { return nullptr; }
};

class FakeSatellites : public FakeWindow<ISatellitesWindow> {
public:
    void setSatellites(const SatelliteList& satellites, bool fix) override {
        record("setSatellites(" + std::to_string(satellites.size()) + ", " +
               (fix ? "fix" : "no fix") + ")");
    }
};

class FakeAbout : public FakeWindow<IAboutWindow> {
public:
    void setDownloadAddress(const std::wstring& address) override {
        record("setDownloadAddress(" + kestra::wideToUtf8(address) + ")");
    }
    void setUpdateNote(const std::wstring& note) override {
        record("setUpdateNote(" + kestra::wideToUtf8(note) + ")");
    }
};

class FakeGroupList : public FakeWindow<IGroupListWindow> {
public:
    IContactsGroupWindow* viewWindow() override { return nullptr; }
};

class FakeInfoWindow : public FakeWindow<IContactInfoWindow> {
public:
    IInfoWindow* viewWindow() override { return nullptr; }
};

class FakeDetails : public FakeWindow<IContactDetailsDialog> {
public:
    void showContact(const std::shared_ptr<LumoraContact>& contact, int flag) override {
        record("showContact(" + kestra::wideToUtf8(contact->getJid()) + ", " +
               std::to_string(flag) + ")");
    }
    void refreshContact(const std::wstring& jid) override {
        record("refreshContact(" + kestra::wideToUtf8(jid) + ")");
    }
    std::wstring contactJid() const override { return std::wstring(); }
};

class FakeContactList : public FakeWindow<IContactListWindow> {
public:
    void addContact(const std::shared_ptr<LumoraContact>& contact) override {
        ++entries;
        record("addContact(" + kestra::wideToUtf8(contact->getJid()) + ")");
    }
    void removeContact(const std::wstring& jid) override {
        --entries;
        record("removeContact(" + kestra::wideToUtf8(jid) + ")");
    }
    void contactChanged(const std::wstring& jid) override {
        record("contactChanged(" + kestra::wideToUtf8(jid) + ")");
    }
    int contactCount() const override { return entries.load(); }
    void onTimer() override { ++ticks; }
    std::atomic<int> entries{0};
    std::atomic<int> ticks{0};
};

class FakeHistory : public FakeWindow<IHistoryWindow> {
public:
    void showHistory(const std::shared_ptr<LumoraContact>& contact) override {
        record("showHistory(" + kestra::wideToUtf8(contact ? contact->getJid() : L"") + ")");
    }
};

// A chat window that records the lines the controller hands it ("line: text", "notice:
// text", "status: 7").
class RecordingChatWindow : public FakeWindow<IWindow>, public IChatWindow {
public:
    void destroyChatWindow() override {
        alive = false;
        record("destroy");
    }
    bool isChatWindowShown() const override { return isShown(); }
    bool isChatWindowInFront() const override { return isShown() && front.load(); }
    void refreshChatTitle() override { record("refreshTitle"); }
    void addChatMessage(const std::wstring& text, bool notice) override {
        record((notice ? "notice: " : "line: ") + kestra::wideToUtf8(text));
    }
    void contactStatusChanged(int status) override { record("status: " + std::to_string(status)); }
    bool showChatWindow() override { return show(); }
    void hideChatWindow() override { hide(); }
    void redrawChatWindow() override {}
    std::atomic<bool> front{false};
};
