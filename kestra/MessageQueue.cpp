#include "kestra/MessageQueue.h"

#include <atomic>
#include <chrono>

namespace kestra {

bool MessageQueue::post(ThreadMessage message) {
    {
        std::lock_guard<std::mutex> guard(mutex_);
        if (closed_) {
            return false;
        }
        messages_.push_back(std::move(message));
    }
    changed_.notify_all();
    return true;
}

bool MessageQueue::post(unsigned int id, std::intptr_t wParam, std::intptr_t lParam,
                        std::unique_ptr<MessagePayload> payload) {
    ThreadMessage message;
    message.id = id;
    message.wParam = wParam;
    message.lParam = lParam;
    message.payload = std::move(payload);
    return post(std::move(message));
}

bool MessageQueue::take(ThreadMessage& out) {
    std::lock_guard<std::mutex> guard(mutex_);
    if (messages_.empty()) {
        return false;
    }
    out = std::move(messages_.front());
    messages_.pop_front();
    return true;
}

bool MessageQueue::wait(int timeoutMs) {
    std::unique_lock<std::mutex> guard(mutex_);
    changed_.wait_for(guard, std::chrono::milliseconds(timeoutMs),
                      [this] { return !messages_.empty() || woken_ || closed_; });
    woken_ = false;
    return !messages_.empty();
}

void MessageQueue::wake() {
    {
        std::lock_guard<std::mutex> guard(mutex_);
        woken_ = true;
    }
    changed_.notify_all();
}

void MessageQueue::close() {
    std::deque<ThreadMessage> dropped;
    {
        std::lock_guard<std::mutex> guard(mutex_);
        closed_ = true;
        dropped.swap(messages_);
    }
    changed_.notify_all();
}

bool MessageQueue::isClosed() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return closed_;
}

std::size_t MessageQueue::size() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return messages_.size();
}

unsigned int registerMessageId() {
    static std::atomic<unsigned int> next{0x400};
    return next++;
}

}  // namespace kestra
