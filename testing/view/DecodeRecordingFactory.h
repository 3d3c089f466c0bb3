#pragma once

#include <atomic>
#include <mutex>
#include <set>
#include <thread>

#include "client/drawing/QtImageFactory.h"

namespace fixture {

// The real image factory that also notes on which threads it decoded.
class DecodeRecordingFactory : public QtImageFactory {
public:
    std::unique_ptr<ILumoraImage> createImageFromBuffer(const void* bytes,
                                                        std::size_t size) override {
        note();
        return QtImageFactory::createImageFromBuffer(bytes, size);
    }
    std::unique_ptr<ILumoraImage> createImage(const void* bytes, std::size_t size, int width,
                                              int height) override {
        note();
        return QtImageFactory::createImage(bytes, size, width, height);
    }
    std::unique_ptr<ILumoraImage> createImageOnColor(const void* bytes, std::size_t size, int width,
                                                     int height, Rgb colour) override {
        note();
        return QtImageFactory::createImageOnColor(bytes, size, width, height, colour);
    }

    long decodes() const { return decodes_; }
    bool decodedOn(std::thread::id thread) const {
        std::lock_guard<std::mutex> lock(lock_);
        return threads_.count(thread) != 0;
    }

private:
    void note() {
        ++decodes_;
        std::lock_guard<std::mutex> lock(lock_);
        threads_.insert(std::this_thread::get_id());
    }
    std::atomic<long> decodes_{0};
    mutable std::mutex lock_;
    std::set<std::thread::id> threads_;
};

}  // namespace fixture
