#pragma once

#include <memory>

#include "client/messaging/JabberPacket.h"

// The session as the packet sender sees it.
class IPacketSession {
public:
    virtual ~IPacketSession() = default;
    // Performs the packet and consumes it; returns false, leaving the packet with the
    // caller, when no session is connected. A close packet is always consumed.
    virtual bool send(std::unique_ptr<JabberPacket>& packet) = 0;
    // The keep-alive check, run by the sender thread at every wake-up.
    virtual void checkKeepAlive() = 0;
    // True while a session is being opened or is open.
    virtual bool isSessionOpen() const = 0;
    // A packet was queued while no session was open.
    virtual void reportPacketNotSent(int packetType) = 0;
};
