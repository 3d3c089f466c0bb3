#pragma once

#include <string>

// The user's id and password as the login tab shows them.
struct LoginData {
    std::wstring gid;
    std::wstring password;
};

// The user's account and connection, as the main frame and the login tab see them.
// Statuses are LumoraContact::StatusType values.
class IAccountControl {
public:
    // The user chose a status: signs in, changes the presence or signs out.
    virtual void changeOwnStatus(int newStatus) = 0;
    // Shows a connection state in the main frame and, when not empty, the text (translated)
    // in the message line.
    virtual void showConnectionState(int status, const std::wstring& text) = 0;
    // A user id typed by the user. Accepted only when it is not empty and all decimal
    // digits: the profile's JID becomes id@chat host, and the stored and pending passwords
    // and the pending e-mail address are cleared.
    virtual bool setNewUserId(const std::wstring& gid) = 0;
    // The profile's user id and password.
    virtual LoginData getLoginData() = 0;
    // Shows the "Profile" tab of the options window only when the user has a user id.
    virtual void updateProfileTab() = 0;

protected:
    ~IAccountControl() = default;
};
