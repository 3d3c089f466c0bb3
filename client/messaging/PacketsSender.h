#pragma once

#include <atomic>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>

#include "client/messaging/IPacketSession.h"
#include "client/messaging/JabberPacket.h"
#include "kestra/IRunnable.h"
#include "kestra/Thread.h"

// The queue of outgoing packets and the thread "PacketsSender" that performs them in
// order through the session. States: created -> running (start) -> stopped (stopSender or
// a fatal error; packets queued from then on are dropped).
//
// While no session is connected the front packet is refused by the session and put back,
// so packets wait in order; the thread tries again at every wake-up (a new packet, wake(),
// or the wait timeout, by default 20 s). Of the own position, the position visibility
// and the status only the newest packet of each waits (a newer one replaces the older
// one), so the queue stays small however long the session is down; every other packet,
// every chat message included, is kept.
class PacketsSender : public kestra::IRunnable {
public:
    explicit PacketsSender(IPacketSession& session, int waitTimeoutMs = 20000);
    ~PacketsSender() override;
    PacketsSender(const PacketsSender&) = delete;
    PacketsSender& operator=(const PacketsSender&) = delete;

    void start();
    // Queues a packet on the caller's thread; the sender owns it from then on.
    void addPacket(std::unique_ptr<JabberPacket> packet);
    // Makes the thread try the queue now (a session has just been connected).
    void wake();
    // Deletes every packet still queued.
    void dropAll();
    // Ends the thread and waits for it; queued packets stay until destruction.
    void stopSender();

    size_t queuedCount() const;
    bool isRunning() const { return running_.load(); }

    void run() override;

private:
    // Performs queued packets until the queue is empty or the session refuses one.
    void workOffQueue();
    std::unique_ptr<JabberPacket> takeFront();
    // Under queueLock_.
    void dropQueued(int type);
    bool isQueued(int type) const;

    IPacketSession& session_;
    const int waitTimeoutMs_;
    std::unique_ptr<kestra::Thread> thread_;
    mutable std::mutex queueLock_;
    std::condition_variable wakeEvent_;
    std::deque<std::unique_ptr<JabberPacket>> queue_;
    bool wakeRequested_ = false;  // guarded by queueLock_
    std::atomic<bool> running_{false};
    std::atomic<bool> stopped_{false};
};
