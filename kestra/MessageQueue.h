#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>

namespace kestra {

// Base of a payload handed to a thread with a message. The queue owns it until the
// message is taken; the receiver then owns it, so nothing leaks when a message is dropped.
class MessagePayload {
public:
    virtual ~MessagePayload() = default;
};

template <class T>
class Payload : public MessagePayload {
public:
    explicit Payload(T v) : value(std::move(v)) {}
    T value;
};

template <class T>
std::unique_ptr<MessagePayload> makePayload(T value) {
    return std::make_unique<Payload<T>>(std::move(value));
}

struct ThreadMessage {
    unsigned int id = 0;
    std::intptr_t wParam = 0;
    std::intptr_t lParam = 0;
    std::unique_ptr<MessagePayload> payload;

    // The payload as a T, or nullptr when there is none or it holds another type.
    template <class T>
    T* payloadAs() const {
        auto* p = dynamic_cast<Payload<T>*>(payload.get());
        return p == nullptr ? nullptr : &p->value;
    }
};

// A thread's message queue: any thread posts, the owning thread takes in order.
class MessageQueue {
public:
    // Returns false (and frees the payload) once the queue is closed.
    bool post(ThreadMessage message);
    bool post(unsigned int id, std::intptr_t wParam = 0, std::intptr_t lParam = 0,
              std::unique_ptr<MessagePayload> payload = nullptr);
    // Takes the oldest message; false when the queue is empty.
    bool take(ThreadMessage& out);
    // Waits up to timeoutMs for a message or a wake-up; true when a message is queued.
    bool wait(int timeoutMs);
    // Wakes a waiter without a message (for example when another thread ended).
    void wake();
    // Refuses later posts and drops what is queued.
    void close();
    bool isClosed() const;
    std::size_t size() const;

private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<ThreadMessage> messages_;
    bool closed_ = false;
    bool woken_ = false;
};

// Application message numbers come from one counter that starts at 0x400, one per
// identifier, so every component's messages are distinct.
unsigned int registerMessageId();

}  // namespace kestra
