#pragma once

#include <QString>

class LumoraContact;

// How a contact and a presence status are shown everywhere in the windows: the contact's
// name, and each status's word and picture (Artwork names).
class ContactLook {
public:
    // The contact's nick, else its user id (the whole JID for other servers' users).
    static QString displayName(const LumoraContact& contact);
    // "Online", "Free for chat", "Away", "DND", "N/A", "Invisible" (5 and 6), "Offline",
    // "Connecting..." (8), translated; empty for any other number.
    static QString statusText(int status);
    static QString statusPicture(int status);
    // 6 and 7: the contact belongs to the offline part of the list.
    static bool isOffline(int status) { return status == 6 || status == 7; }
};
