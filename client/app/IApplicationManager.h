#pragma once

#include <cstdint>
#include <memory>

#include "client/gps/IGPSListener.h"
#include "kestra/MessageQueue.h"

class GPSDeviceSelector;

// The controller as the windows see it. Windows call these operations directly or post
// the controller one of its application messages. The GPS sources report to it as their
// listener, on their own threads.
class IApplicationManager : public IGPSListener {
public:
    virtual ~IApplicationManager() = default;

    // Posts UM_QUIT: the orderly end of the program.
    virtual void quit() = 0;
    // Posts an application message to the controller's thread; the controller owns the
    // payload from then on. False when the controller no longer takes messages.
    virtual bool postMessage(unsigned int id, std::intptr_t wParam = 0, std::intptr_t lParam = 0,
                             std::unique_ptr<kestra::MessagePayload> payload = nullptr) = 0;
    // The GPS owner (null before start-up made it).
    virtual GPSDeviceSelector* getGPSDeviceSelector() = 0;
};
