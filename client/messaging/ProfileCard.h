#pragma once

#include <string>

// A profile card (vCard) as the rest of the client sees it, free of the XMPP library's
// types. Texts are UTF-8; the photo holds the raw image bytes.
struct ProfileCard {
    std::string nick;
    std::string givenName;
    std::string familyName;
    std::string email;
    std::string telephone;
    // "Male", "Female" or empty when unknown.
    std::string gender;
    std::string about;
    // "YYYY-MM-DD" or empty.
    std::string birthday;
    std::string photoType;
    std::string photo;
};
