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
        switch (p.getType()) {
            case PACKET_CHAT_MESSAGE:
                return static_cast<const ChatMessagePacket&>(p).body;
            case PACKET_UPDATE_POSITION:
                return "position " +
                       std::to_string(static_cast<const UpdateContactPositionPacket&>(p).latitude);
            case PACKET_CHANGE_STATUS:
                return "status " + static_cast<const ChangeStatusPacket&>(p).status;
            case PACKET_UPDATE_POSITION_STATUS:
                return "visibility " +
                       std::to_string(
                           static_cast<const UpdateContactPositionStatusPacket&>(p).visibility);
            default:
                return "type " + std::to_string(p.getType());
        }
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
    // The sender may hold the front packet for a moment while it is refused.
    EXPECT_TRUE(testsupport::waitUntil([&] { return sender.queuedCount() == 10u; }, 5000));

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

// A long time offline: the GPS reports a position every second, the user changes status
// and visibility now and then and writes messages. Only the newest position, status and
// visibility wait, every message waits, and the order of what waits is kept.
TEST(PacketsSender, OfflineOnlyTheNewestPositionStatusAndVisibilityWaitButEveryMessage) {
    QueueSession session;
    PacketsSender sender(session, 60000);
    sender.start();
    for (int i = 0; i < 5000; ++i) {
        sender.addPacket(std::make_unique<UpdateContactPositionPacket>(i, 37.5));
        if (i % 1000 == 0) {
            sender.addPacket(chat(i / 1000));
            sender.addPacket(std::make_unique<ChangeStatusPacket>(1, "away " + std::to_string(i)));
            sender.addPacket(std::make_unique<UpdateContactPositionStatusPacket>(i % 3));
        }
    }
    sender.addPacket(chat(5));
    ASSERT_TRUE(testsupport::waitUntil([&] { return sender.queuedCount() == 9u; }, 5000))
        << sender.queuedCount() << " packets wait";

    session.open_ = true;
    sender.wake();
    ASSERT_TRUE(testsupport::waitUntil([&] { return session.performed().size() == 9u; }, 5000));
    const std::vector<std::string> expected = {
        "message 0", "message 1",        "message 2",    "message 3",
        "message 4", "status away 4000", "visibility 1", "position 4999.000000",
        "message 5"};
    EXPECT_EQ(session.performed(), expected);

    // Online, nothing is replaced.
    for (int i = 0; i < 3; ++i)
        sender.addPacket(std::make_unique<UpdateContactPositionPacket>(i, 37.5));
    ASSERT_TRUE(testsupport::waitUntil([&] { return session.performed().size() == 12u; }, 5000));
}
