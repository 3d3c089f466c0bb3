#include <gtest/gtest.h>

#include <thread>

#include "kestra/MessageQueue.h"

using kestra::MessageQueue;
using kestra::ThreadMessage;

namespace {

struct Tracked {
    explicit Tracked(int* counter) : destroyed(counter) {}
    Tracked(Tracked&& other) noexcept : destroyed(other.destroyed) { other.destroyed = nullptr; }
    ~Tracked() {
        if (destroyed != nullptr) {
            ++*destroyed;
        }
    }
    int* destroyed;
};

TEST(MessageQueueTest, DeliversInOrderWithParametersAndPayload) {
    MessageQueue queue;
    EXPECT_TRUE(queue.post(1, 10, 20));
    EXPECT_TRUE(queue.post(2, 0, 0, kestra::makePayload(std::wstring(L"text"))));
    ThreadMessage m;
    ASSERT_TRUE(queue.take(m));
    EXPECT_EQ(m.id, 1u);
    EXPECT_EQ(m.wParam, 10);
    EXPECT_EQ(m.lParam, 20);
    EXPECT_EQ(m.payloadAs<std::wstring>(), nullptr);
    ASSERT_TRUE(queue.take(m));
    ASSERT_NE(m.payloadAs<std::wstring>(), nullptr);
    EXPECT_EQ(*m.payloadAs<std::wstring>(), L"text");
    EXPECT_EQ(m.payloadAs<int>(), nullptr) << "a payload of another type is not handed out";
    EXPECT_FALSE(queue.take(m));
}

TEST(MessageQueueTest, PayloadsAreFreedWhenDroppedOrRefused) {
    int destroyed = 0;
    {
        MessageQueue queue;
        queue.post(1, 0, 0, kestra::makePayload(Tracked(&destroyed)));
        queue.post(2, 0, 0, kestra::makePayload(Tracked(&destroyed)));
        queue.close();
        EXPECT_EQ(destroyed, 2) << "close drops what is queued";
        EXPECT_FALSE(queue.post(3, 0, 0, kestra::makePayload(Tracked(&destroyed))));
        EXPECT_EQ(destroyed, 3) << "a refused payload is freed too";
        queue.post(4);
    }
    EXPECT_EQ(destroyed, 3);
}

TEST(MessageQueueTest, WaitReturnsOnPostAndOnWake) {
    MessageQueue queue;
    EXPECT_FALSE(queue.wait(10));
    std::thread poster([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        queue.post(5);
    });
    EXPECT_TRUE(queue.wait(10000));
    poster.join();
    ThreadMessage m;
    ASSERT_TRUE(queue.take(m));
    std::thread waker([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        queue.wake();
    });
    const auto before = std::chrono::steady_clock::now();
    EXPECT_FALSE(queue.wait(10000));
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(5));
    waker.join();
}

TEST(MessageQueueTest, MessageIdsComeFromOneCounterAboveWmUser) {
    const unsigned int a = kestra::registerMessageId();
    const unsigned int b = kestra::registerMessageId();
    EXPECT_GE(a, 0x400u);
    EXPECT_EQ(b, a + 1);
}

}  // namespace
