#include "kestra/Mutex.h"

#include <stdexcept>

#include "kestra/Exceptions.h"

namespace kestra {

Mutex::Mutex() : initialised_(true) {}

Mutex::~Mutex() {
    initialised_ = false;
}

void Mutex::lock() {
    if (!initialised_) {
        throw std::runtime_error("thread access error");
    }
    section_.lock();
    locked_ = true;
}

void Mutex::unlock() {
    if (!initialised_) {
        throw std::runtime_error("thread access error");
    }
    locked_ = false;
    section_.unlock();
}

bool Mutex::tryLock() {
    if (!initialised_) {
        throw std::runtime_error("thread access error");
    }
    if (!section_.try_lock()) {
        return false;
    }
    locked_ = true;
    return true;
}

Mutex::Locker::Locker(Mutex* mutex) : mutex_(mutex) {
    if (mutex_ == nullptr) {
        throw NullPointerException("Thread synchronization module", "NullPointerException");
    }
    mutex_->lock();
}

Mutex::Locker::~Locker() {
    mutex_->unlock();
}

}  // namespace kestra
