#pragma once

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

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

// Records what the controller asks of the main frame; closing it ends the fake GUI.
class FakeMainFrame : public IMainFrame {
public:
    explicit FakeMainFrame(IGuiThread& gui) : gui_(gui) {}
    bool isWindow() const override { return alive.load(); }
    bool show() override {
        ++shows;
        return alive.load();
    }
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
    std::atomic<bool> alive{true};
    std::atomic<int> closeRequests{0};
    std::atomic<int> raises{0};
    std::atomic<int> shows{0};

private:
    IGuiThread& gui_;
};

class FakeGuiFactory : public IGuiFactory {
public:
    explicit FakeGuiFactory(IGuiThread& gui) : gui_(gui) {}
    std::unique_ptr<IMainFrame> createMainFrame(IApplicationManager&) override {
        if (failMainFrame) {
            return nullptr;
        }
        onGuiThread = std::this_thread::get_id();
        auto frame = std::make_unique<FakeMainFrame>(gui_);
        mainFrame = frame.get();
        return frame;
    }
    bool failMainFrame = false;
    std::atomic<FakeMainFrame*> mainFrame{nullptr};
    std::thread::id onGuiThread;

private:
    IGuiThread& gui_;
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
