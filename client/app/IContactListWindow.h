#pragma once

#include <memory>
#include <string>

#include "client/app/IWindow.h"
#include "kestra/ITimerListener.h"

class LumoraContact;

// The contact pane: a filter box above the list of the contact map's contacts, online ones
// first. The controller's timer ticks it (the entries of contacts with unread messages
// blink).
class IContactListWindow : public IWindow, public kestra::ITimerListener {
public:
    // Adds the contact (in place of an entry with the same JID), in its part of the list.
    virtual void addContact(const std::shared_ptr<LumoraContact>& contact) = 0;
    virtual void removeContact(const std::wstring& jid) = 0;
    // The contact's status or name changed: its entry is drawn again, in its part.
    virtual void contactChanged(const std::wstring& jid) = 0;
    // The number of entries (the contacts listed, whatever the filter shows).
    virtual int contactCount() const = 0;
};
