#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "client/contacts/LumoraContact.h"
#include "client/view/IInfoWindow.h"
#include "client/view/IViewManagerListener.h"

namespace fixture {

// A floating window of a fixed size that remembers where it was put and whether it shows.
template <class Interface>
class RecordingFloatingWindow : public Interface {
public:
    RecordingFloatingWindow(int width, int height) : width_(width), height_(height) {}
    void getSize(int& width, int& height) override {
        width = width_;
        height = height_;
    }
    void show() override { shown_ = true; }
    void hide() override { shown_ = false; }
    void moveTo(int x, int y) override {
        x_ = x;
        y_ = y;
    }
    void bringToFront() override { ++fronts_; }
    bool isShown() const { return shown_; }
    int x() const { return x_; }
    int y() const { return y_; }

private:
    int width_;
    int height_;
    std::atomic<bool> shown_{false};
    std::atomic<int> x_{-1};
    std::atomic<int> y_{-1};
    std::atomic<int> fronts_{0};
};

class RecordingInfoWindow : public RecordingFloatingWindow<IInfoWindow> {
public:
    using RecordingFloatingWindow<IInfoWindow>::RecordingFloatingWindow;
    void setContact(const std::shared_ptr<LumoraContact>& contact) override {
        std::lock_guard<std::mutex> lock(lock_);
        contact_ = contact;
    }
    std::shared_ptr<LumoraContact> contact() const {
        std::lock_guard<std::mutex> lock(lock_);
        return contact_;
    }

private:
    mutable std::mutex lock_;
    std::shared_ptr<LumoraContact> contact_;
};

class RecordingGroupWindow : public RecordingFloatingWindow<IContactsGroupWindow> {
public:
    using RecordingFloatingWindow<IContactsGroupWindow>::RecordingFloatingWindow;
    void clearContacts() override {
        std::lock_guard<std::mutex> lock(lock_);
        names_.clear();
    }
    void addContact(const std::wstring& name, const std::shared_ptr<LumoraContact>&) override {
        std::lock_guard<std::mutex> lock(lock_);
        names_.push_back(name);
    }
    std::vector<std::wstring> names() const {
        std::lock_guard<std::mutex> lock(lock_);
        return names_;
    }

private:
    mutable std::mutex lock_;
    std::vector<std::wstring> names_;
};

// What the view manager told the controller.
class RecordingViewListener : public IViewManagerListener {
public:
    void onMapLoading() override { ++loading; }
    void onMapLoaded() override { ++loaded; }
    void onOwnPositionChosen(const WorldCoords& position) override {
        std::lock_guard<std::mutex> lock(lock_);
        chosen.push_back(position);
    }
    void onInternetAvailability(bool available) override { internet = available ? 1 : 0; }
    std::vector<WorldCoords> chosenPositions() const {
        std::lock_guard<std::mutex> lock(lock_);
        return chosen;
    }

    std::atomic<int> loading{0};
    std::atomic<int> loaded{0};
    std::atomic<int> internet{-1};

private:
    mutable std::mutex lock_;
    std::vector<WorldCoords> chosen;
};

}  // namespace fixture
