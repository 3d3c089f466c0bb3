#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <vector>

#include "TestSupport.h"
#include "client/messaging/PacketsSender.h"

namespace {

// The session side of the sender, in memory: it performs packets only while "open".
class QueueSession : public IPacketSession {
public:
    bool send(std::unique_ptr<JabberPacket>& packet) override {
        std::lock_guard<std::mutex> lock(mutex_);
        if (packet->getType() != PACKET_CONNECTION_CLOSE && !open_) {
            ++refusals_;
            return false;
        }
        performed_.push_back(describe(*packet));
        packet.reset();
        return true;
    }
    void checkKeepAlive() override { ++keepAliveChecks_; }
    bool isSessionOpen() const override { return open_; }
    void reportPacketNotSent(int type) override {
        std::lock_guard<std::mutex> lock(mutex_);
        notSent_.push_back(type);
    }

    static std::string describe(const JabberPacket& p) {
        if (p.getType() == PACKET_CHAT_MESSAGE)
            return static_cast<const ChatMessagePacket&>(p).body;
        return "type " + std::to_string(p.getType());
    }
    std::vector<std::string> performed() {
        std::lock_guard<std::mutex> lock(mutex_);
        return performed_;
    }
    std::vector<int> notSent() {
        std::lock_guard<std::mutex> lock(mutex_);
        return notSent_;
    }

    std::atomic<bool> open_{false};
    std::atomic<int> keepAliveChecks_{0};
    std::atomic<int> refusals_{0};

private:
    std::mutex mutex_;
    std::vector<std::string> performed_;
    std::vector<int> notSent_;
};

std::unique_ptr<JabberPacket> chat(int n) {
    return std::make_unique<ChatMessagePacket>("message " + std::to_string(n), "1001@localhost");
}

}  // namespace

TEST(PacketsSender, PacketsQueuedWhileClosedWaitInOrderAndGoOutOnceOpen) {
    QueueSession session;
    PacketsSender sender(session, 60000);
    sender.start();
    for (int i = 0; i < 10; ++i)
        sender.addPacket(chat(i));
    EXPECT_EQ(session.notSent(), std::vector<int>(10, PACKET_CHAT_MESSAGE));
    ASSERT_TRUE(testsupport::waitUntil([&] { return session.refusals_ > 0; }, 5000));
    EXPECT_TRUE(session.performed().empty());
    EXPECT_EQ(sender.queuedCount(), 10u);

    session.open_ = true;
    sender.wake();
    ASSERT_TRUE(testsupport::waitUntil([&] { return session.performed().size() == 10; }, 5000));
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(session.performed()[i], "message " + std::to_string(i));
    EXPECT_EQ(sender.queuedCount(), 0u);
}

TEST(PacketsSender, AClosePacketWhileClosedIsPerformedAndNeverBlocksTheQueue) {
    QueueSession session;
    PacketsSender sender(session, 60000);
    sender.start();
    sender.addPacket(std::make_unique<ConnectionClosePacket>());
    ASSERT_TRUE(testsupport::waitUntil([&] { return session.performed().size() == 1; }, 5000));
    EXPECT_EQ(session.performed()[0], "type 14");
    EXPECT_TRUE(session.notSent().empty());
}

TEST(PacketsSender, PacketsQueuedBeforeTheThreadRunsAreKept) {
    QueueSession session;
    session.open_ = true;
    PacketsSender sender(session, 60000);
    sender.addPacket(chat(1));
    sender.start();
    ASSERT_TRUE(testsupport::waitUntil([&] { return session.performed().size() == 1; }, 5000));
}

TEST(PacketsSender, TheKeepAliveRunsAtEveryWakeUp) {
    QueueSession session;
    PacketsSender sender(session, 20);
    sender.start();
    EXPECT_TRUE(testsupport::waitUntil([&] { return session.keepAliveChecks_ >= 3; }, 5000));
}

TEST(PacketsSender, StoppingEndsAWaitingThreadAndLaterPacketsAreDropped) {
    QueueSession session;
    PacketsSender sender(session, 600000);
    sender.start();
    ASSERT_TRUE(testsupport::waitUntil([&] { return sender.isRunning(); }, 5000));
    sender.stopSender();
    EXPECT_FALSE(sender.isRunning());
    session.open_ = true;
    sender.addPacket(chat(1));
    EXPECT_EQ(sender.queuedCount(), 0u);
    EXPECT_TRUE(session.performed().empty());
}
