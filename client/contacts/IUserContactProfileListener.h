#pragma once

#include <string>

#include "client/maps/CoordinateUtils.h"

// Told about changes of the user's own profile (UserContactProfile). Calls come on the
// thread that made the change (the session's, a GPS worker's, the controller's) while the
// profile holds its listener lock, so a listener must not wait for another thread that
// could be changing the profile at that moment. Listeners are not owned by the profile.
class IUserContactProfileListener {
public:
    virtual ~IUserContactProfileListener() = default;
    // The user's position changed.
    virtual void onUserPositionChanged(const WorldCoords& /*position*/) {}
    // The user's JID changed (a new user id was assigned or entered).
    virtual void onUserJidChanged(const std::wstring& /*jid*/) {}
    // The user's status (LumoraContact::StatusType) changed from oldStatus to newStatus.
    virtual void onUserStatusChanged(int /*oldStatus*/, int /*newStatus*/) {}
};
