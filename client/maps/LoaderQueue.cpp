#include "client/maps/LoaderQueue.h"

bool LoaderQueue::push(std::unique_ptr<MapsDataTypes::ImageBlockProp>& record) {
    kestra::Mutex::Locker lock(lock_);
    if (!record || records_.size() >= CAPACITY) {
        return false;
    }
    records_.push_back(std::move(record));
    return true;
}

std::unique_ptr<MapsDataTypes::ImageBlockProp> LoaderQueue::pop() {
    kestra::Mutex::Locker lock(lock_);
    if (records_.empty()) {
        return nullptr;
    }
    std::unique_ptr<MapsDataTypes::ImageBlockProp> record = std::move(records_.front());
    records_.pop_front();
    return record;
}

void LoaderQueue::clear() {
    kestra::Mutex::Locker lock(lock_);
    records_.clear();
}

std::size_t LoaderQueue::size() const {
    kestra::Mutex::Locker lock(lock_);
    return records_.size();
}
