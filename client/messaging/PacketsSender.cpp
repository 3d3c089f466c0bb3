#include "client/messaging/PacketsSender.h"

#include <chrono>
#include <exception>

#include "kestra/Exceptions.h"
#include "kestra/Log.h"

namespace {

// While offline only the newest of these matters: each replaces the one before it.
bool isLatestOnly(int type) {
    return type == PACKET_UPDATE_POSITION || type == PACKET_UPDATE_POSITION_STATUS ||
           type == PACKET_CHANGE_STATUS;
}

}  // namespace

PacketsSender::PacketsSender(IPacketSession& session, int waitTimeoutMs)
    : session_(session), waitTimeoutMs_(waitTimeoutMs) {}

PacketsSender::~PacketsSender() {
    stopSender();
    std::lock_guard<std::mutex> lock(queueLock_);
    queue_.clear();
}

void PacketsSender::start() {
    if (thread_ || stopped_)
        return;
    running_ = true;
    thread_ = std::make_unique<kestra::Thread>(this, L"PacketsSender");
    thread_->start();
}

void PacketsSender::addPacket(std::unique_ptr<JabberPacket> packet) {
    if (!packet || stopped_)
        return;
    const int type = packet->getType();
    const bool offline = !session_.isSessionOpen();
    if (type != PACKET_CONNECTION_CLOSE && offline) {
        session_.reportPacketNotSent(type);
    }
    std::lock_guard<std::mutex> lock(queueLock_);
    if (offline && isLatestOnly(type)) {
        dropQueued(type);
    }
    queue_.push_back(std::move(packet));
    wakeRequested_ = true;
    wakeEvent_.notify_one();
}

void PacketsSender::wake() {
    std::lock_guard<std::mutex> lock(queueLock_);
    wakeRequested_ = true;
    wakeEvent_.notify_one();
}

void PacketsSender::dropAll() {
    std::lock_guard<std::mutex> lock(queueLock_);
    queue_.clear();
}

size_t PacketsSender::queuedCount() const {
    std::lock_guard<std::mutex> lock(queueLock_);
    return queue_.size();
}

void PacketsSender::stopSender() {
    stopped_ = true;
    if (!thread_)
        return;
    {
        std::lock_guard<std::mutex> lock(queueLock_);
        running_ = false;
        wakeEvent_.notify_one();
    }
    thread_->waitFinished(-1);
    thread_.reset();
}

void PacketsSender::run() {
    try {
        while (running_) {
            bool signalled;
            {
                std::unique_lock<std::mutex> lock(queueLock_);
                wakeEvent_.wait_for(lock, std::chrono::milliseconds(waitTimeoutMs_),
                                    [this] { return wakeRequested_ || !running_; });
                signalled = wakeRequested_;
                wakeRequested_ = false;
            }
            if (!running_)
                break;
            session_.checkKeepAlive();
            if (signalled || queuedCount() > 0)
                workOffQueue();
        }
    } catch (const kestra::IOStreamException&) {
        kestra::Log::error("PacketsSender - IO error.");
    } catch (const kestra::SocketException&) {
        kestra::Log::error("PacketsSender - Connection closed.");
    } catch (const std::exception& e) {
        kestra::Log::error(std::string("PacketsSender - unexpected error: ") + e.what());
    }
    running_ = false;
}

void PacketsSender::dropQueued(int type) {
    for (auto it = queue_.begin(); it != queue_.end();) {
        it = (*it)->getType() == type ? queue_.erase(it) : it + 1;
    }
}

bool PacketsSender::isQueued(int type) const {
    for (const std::unique_ptr<JabberPacket>& queued : queue_) {
        if (queued->getType() == type) {
            return true;
        }
    }
    return false;
}

std::unique_ptr<JabberPacket> PacketsSender::takeFront() {
    std::lock_guard<std::mutex> lock(queueLock_);
    if (queue_.empty())
        return nullptr;
    std::unique_ptr<JabberPacket> packet = std::move(queue_.front());
    queue_.pop_front();
    return packet;
}

void PacketsSender::workOffQueue() {
    while (running_) {
        std::unique_ptr<JabberPacket> packet = takeFront();
        if (!packet)
            return;
        if (!session_.send(packet)) {
            // Not connected: the packet goes back to the front, so order is kept, unless a
            // newer packet of its kind was queued meanwhile and replaces it.
            if (packet) {
                std::lock_guard<std::mutex> lock(queueLock_);
                if (!isLatestOnly(packet->getType()) || !isQueued(packet->getType())) {
                    queue_.push_front(std::move(packet));
                }
            }
            return;
        }
    }
}
