#pragma once

#include <cstddef>
#include <deque>
#include <memory>

#include "client/maps/MapsDataTypes.h"
#include "kestra/Mutex.h"

// The maps loader's block requests: first in, first out, at most CAPACITY at a time, with
// a lock of its own. The queue owns what it holds; a refused request stays with the
// caller, who asks again later.
class LoaderQueue {
public:
    static constexpr std::size_t CAPACITY = 12;

    // false (and record untouched) when CAPACITY requests wait.
    bool push(std::unique_ptr<MapsDataTypes::ImageBlockProp>& record);
    // The oldest request, or null when none waits.
    std::unique_ptr<MapsDataTypes::ImageBlockProp> pop();
    void clear();
    std::size_t size() const;
    bool isEmpty() const { return size() == 0; }
    bool isFull() const { return size() >= CAPACITY; }

private:
    mutable kestra::Mutex lock_;
    std::deque<std::unique_ptr<MapsDataTypes::ImageBlockProp>> records_;
};
