#pragma once

#include <gloox/dataform.h>
#include <gloox/tag.h>

#include <string>
#include <vector>

#include "client/messaging/IJabberListener.h"
#include "client/messaging/JabberPacket.h"

// The two ways of searching for users: a data-form search in the server's directory
// ("vjud." + domain) and an XML query to the service's search bot, with the parsing of
// both kinds of answer into one field map per user.
class UserSearch {
public:
    // True when the criteria need the bot (gender, online state or distance, without a
    // user identifier) and a bot is there to ask.
    static bool wantsBot(const SearchContactsPacket& packet, bool botPresent);

    // The submit form of a directory search: FORM_TYPE and the text criteria (only "user"
    // when a user identifier is given). The caller owns the result.
    static gloox::Tag* directoryFormTag(const SearchContactsPacket& packet);

    // The bot query as XML text. The distance goes with the device position only.
    static std::string botQuery(const SearchContactsPacket& packet, bool hasPosition,
                                double latitude, double longitude);

    // One map per item of a directory result form: lower-case field names, empty values left out.
    static std::vector<SearchResultFields> directoryResults(const gloox::DataForm& form);

    // One map per item of a bot answer. Answers without items (an error, malformed or
    // foreign text) give none and write their log line.
    static std::vector<SearchResultFields> parseBotAnswer(const std::string& body);
};
