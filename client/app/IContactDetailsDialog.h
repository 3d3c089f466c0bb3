#pragma once

#include <memory>
#include <string>

#include "client/app/IWindow.h"

class LumoraContact;

// A contact's profile card, with the nick the user gives the contact.
class IContactDetailsDialog : public IWindow {
public:
    // Shows the dialog for the contact; flag as the caller passed it with the request.
    virtual void showContact(const std::shared_ptr<LumoraContact>& contact, int flag) = 0;
    // The contact's card changed: the fields are filled again when it is the one shown.
    virtual void refreshContact(const std::wstring& jid) = 0;
    // The JID of the contact the dialog holds (empty: none).
    virtual std::wstring contactJid() const = 0;
};
