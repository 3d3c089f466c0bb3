#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "client/maps/IHTTPListener.h"

// Records what an HTTPLoader tells its listener, in order.
class RecordingHttpListener : public IHTTPListener {
public:
    bool isFileToReload(const std::wstring&) override {
        std::lock_guard<std::mutex> lock(mutex_);
        events_.push_back("reload?");
        return reload_;
    }
    void onHTTPResult(std::unique_ptr<HTTPResult> result, HTTPLoader*) override {
        std::lock_guard<std::mutex> lock(mutex_);
        events_.push_back("result");
        results_.push_back(*result);
    }
    void onHTTPStart() override {
        std::lock_guard<std::mutex> lock(mutex_);
        events_.push_back("start");
    }
    void onHTTPFinish() override {
        std::lock_guard<std::mutex> lock(mutex_);
        events_.push_back("finish");
    }

    void setReload(bool reload) {
        std::lock_guard<std::mutex> lock(mutex_);
        reload_ = reload;
    }
    std::vector<std::string> events() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return events_;
    }
    std::vector<HTTPResult> results() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return results_;
    }
    std::size_t resultCount() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return results_.size();
    }

private:
    mutable std::mutex mutex_;
    bool reload_ = false;
    std::vector<std::string> events_;
    std::vector<HTTPResult> results_;
};
