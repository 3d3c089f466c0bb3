#pragma once

#include <gloox/vcard.h>

#include <memory>
#include <string>

#include "client/messaging/ProfileCard.h"

// Turns profile cards into the library's vCards and back. The nick travels as NICKNAME,
// the birthday as BDAY, the "about" text as DESC and the gender in ROLE (the library keeps
// no elements of its own), the same way for writing and reading.
class ProfileCardCodec {
public:
    static std::unique_ptr<gloox::VCard> toVCard(const ProfileCard& card);
    static ProfileCard fromVCard(const gloox::VCard& vcard);
    // The bot's service message: <serviceMessage xmlns='jabberBot:updateInfo' version='1'>
    // with a field "gender".
    static std::string updateInfoMessage(const std::string& gender);
};
