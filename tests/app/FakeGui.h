#pragma once

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "FakeWindows.h"
#include "client/app/GuiJob.h"
#include "client/app/IGuiFactory.h"
#include "client/app/IGuiThread.h"
#include "client/app/IMainFrame.h"
#include "kestra/Clock.h"

// A GUI thread without a toolkit: a thread that runs posted work in order until quit.
// Like the Qt one, it runs the work posted before quit() and drops the rest.
class FakeGuiThread : public IGuiThread {
public:
    FakeGuiThread() : thread_([this] { loop(); }) {}
    ~FakeGuiThread() override {
        quit();
        thread_.join();
    }
    bool post(std::function<void()> work) override {
        std::lock_guard<std::mutex> guard(mutex_);
        if (!running_) {
            return false;
        }
        work_.push_back(std::move(work));
        changed_.notify_all();
        return true;
    }
    bool isRunning() const override { return running_.load(); }
    std::thread::id id() const { return thread_.get_id(); }
    int exec() override { return 0; }
    void quit() override {
        std::lock_guard<std::mutex> guard(mutex_);
        work_.push_back(nullptr);  // the end of the loop, in its place in the queue
        changed_.notify_all();
    }
    void processEvents(int) override {}
    void showError(const std::wstring&, const std::wstring&) override {}

private:
    void loop() {
        std::unique_lock<std::mutex> guard(mutex_);
        for (;;) {
            changed_.wait(guard, [this] { return !work_.empty(); });
            auto work = std::move(work_.front());
            work_.pop_front();
            if (!work) {
                break;
            }
            guard.unlock();
            runGuiJob("FakeGuiThread", work);
            guard.lock();
        }
        work_.clear();
        running_ = false;
    }
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::function<void()>> work_;
    std::atomic<bool> running_{true};
    std::thread thread_;
};

// Makes the fake windows on the GUI thread and records the order it was asked in. The window
// named in fail (its name in the ERROR line, "mainFrame", "mapsView", ...) cannot be made.
class FakeGuiFactory : public IGuiFactory {
public:
    explicit FakeGuiFactory(IGuiThread& gui) : gui_(gui) {}
    std::unique_ptr<IMainFrame> createMainFrame(IApplicationManager&) override {
        onGuiThread = std::this_thread::get_id();
        return make<FakeMainFrame>("mainFrame", mainFrame, gui_);
    }
    std::unique_ptr<IMainSplitter> createMainSplitter(IApplicationManager&) override {
        return make<FakeSplitter>("mainSplitter", splitter);
    }
    std::unique_ptr<IMapViewWindow> createMapView(IApplicationManager&) override {
        return make<FakeMapView>("mapsView", mapView);
    }
    std::unique_ptr<ISatellitesWindow> createSatellitesWindow(IApplicationManager&) override {
        return make<FakeSatellites>("windowGPSSatellites", satellites);
    }
    std::unique_ptr<IAboutWindow> createAboutWindow(IApplicationManager&) override {
        return make<FakeAbout>("aboutWindow", about);
    }
    std::unique_ptr<IGroupListWindow> createGroupListWindow(IApplicationManager&) override {
        return make<FakeGroupList>("_groupListWnd", groupList);
    }
    std::unique_ptr<IContactInfoWindow> createContactInfoWindow(IApplicationManager&,
                                                                bool withPicture) override {
        return withPicture ? make<FakeInfoWindow>("_infoWndWithAvatara", infoWithPicture)
                           : make<FakeInfoWindow>("_infoWndWithOutAvatara", infoWithoutPicture);
    }
    std::unique_ptr<IContactDetailsDialog> createContactDetailsDialog(
        IApplicationManager&) override {
        return make<FakeDetails>("_dialogDetailContactsInfo", details);
    }
    std::unique_ptr<IContactListWindow> createContactListWindow(IApplicationManager&,
                                                                IContactInfoWindow&,
                                                                IContactInfoWindow&) override {
        return make<FakeContactList>("contactsListWindow", contactList);
    }
    std::unique_ptr<IHistoryWindow> createHistoryWindow(IApplicationManager&) override {
        return make<FakeHistory>("historyDialog", history);
    }
    std::unique_ptr<IChatWindow> createChatWindow(IApplicationManager&,
                                                  const std::shared_ptr<LumoraContact>&) override {
        return std::make_unique<RecordingChatWindow>();
    }
    std::vector<std::string> made() const {
        std::lock_guard<std::mutex> guard(mutex_);
        return made_;
    }

    std::string fail;
    std::atomic<FakeMainFrame*> mainFrame{nullptr};
    std::atomic<FakeSplitter*> splitter{nullptr};
    std::atomic<FakeMapView*> mapView{nullptr};
    std::atomic<FakeSatellites*> satellites{nullptr};
    std::atomic<FakeAbout*> about{nullptr};
    std::atomic<FakeGroupList*> groupList{nullptr};
    std::atomic<FakeInfoWindow*> infoWithPicture{nullptr};
    std::atomic<FakeInfoWindow*> infoWithoutPicture{nullptr};
    std::atomic<FakeDetails*> details{nullptr};
    std::atomic<FakeContactList*> contactList{nullptr};
    std::atomic<FakeHistory*> history{nullptr};
    std::thread::id onGuiThread;

private:
    template <class Window, class... Args>
    std::unique_ptr<Window> make(const std::string& name, std::atomic<Window*>& slot,
                                 Args&... args) {
        {
            std::lock_guard<std::mutex> guard(mutex_);
            made_.push_back(name);
        }
        if (name == fail) {
            return nullptr;
        }
        auto window = std::make_unique<Window>(args...);
        slot = window.get();
        return window;
    }

    IGuiThread& gui_;
    mutable std::mutex mutex_;
    std::vector<std::string> made_;
};

// Lets the controller's 100 ms pauses pass quickly.
class FastClock : public kestra::IClock {
public:
    std::int64_t monotonicMs() const override { return 0; }
    std::time_t now() const override { return std::time(nullptr); }
    void sleepMs(unsigned int) override {
        ++sleeps;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    std::atomic<int> sleeps{0};
};
