#pragma once

#include <memory>
#include <string>

#include "client/contacts/LumoraContact.h"
#include "kestra/Mutex.h"

class IImageFactory;
class UserContactProfile;

// The contacts, the user's own profile and the user search, as the contact list, the
// search window, the chat windows and the dialogs see them.
class IContactsControl {
public:
    // The contact with that JID, or null when the contact map has none.
    virtual std::shared_ptr<LumoraContact> findContact(const std::wstring& jid) = 0;
    // The roster's contacts keyed by JID; hold getContactsLock() while using the map.
    virtual LumoraContact::ContactMap& getContacts() = 0;
    virtual kestra::Mutex& getContactsLock() = 0;
    // The signed-in user's profile (exists from start-up on; null before).
    virtual UserContactProfile* getUserContactProfile() = 0;
    // Decodes and draws images (null before start-up made it).
    virtual IImageFactory* getImageFactory() = 0;
    // Starts a search for users. gender: 0 male, 1 female, 2 any; distance in miles, 0 any;
    // status: 0 online users only, 7 any.
    virtual void startUserSearch(const std::wstring& gid, const std::wstring& email,
                                 const std::wstring& nick, const std::wstring& firstName,
                                 const std::wstring& lastName, int gender, double distance,
                                 int status) = 0;

protected:
    ~IContactsControl() = default;
};
