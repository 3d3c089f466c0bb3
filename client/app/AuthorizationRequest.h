#pragma once

#include <string>

// The payload of UM_AUTHORIZATION_REQUEST: ask the user with this JID to let the user add
// them, with a message for them (may be empty).
struct AuthorizationRequest {
    std::wstring jid;
    std::wstring text;
};
