#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "kestra/MessageQueue.h"

// What every window may ask of the controller. A message that names a contact carries it
// as a std::shared_ptr<LumoraContact> payload, a text as a std::wstring payload.
class IControllerCommands {
public:
    // Posts an application message (ApplicationMessages.h) to the controller's thread; the
    // controller owns the payload from then on. False when it no longer takes messages.
    virtual bool postMessage(unsigned int id, std::intptr_t wParam = 0, std::intptr_t lParam = 0,
                             std::unique_ptr<kestra::MessagePayload> payload = nullptr) = 0;
    // Posts UM_QUIT: the orderly end of the program.
    virtual void quit() = 0;
    // Shows a text to the user in the message line of the map.
    virtual void showMessage(const std::wstring& text) = 0;

protected:
    ~IControllerCommands() = default;
};
