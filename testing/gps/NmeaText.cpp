#include "NmeaText.h"

#include <cstdio>

namespace gpstesting {

std::string checksumOf(const std::string& body) {
    unsigned char sum = 0;
    for (char c : body) {
        sum ^= static_cast<unsigned char>(c);
    }
    char hex[3];
    std::snprintf(hex, sizeof hex, "%02X", sum);
    return hex;
}

std::string sentence(const std::string& body) {
    return "$" + body + "*" + checksumOf(body) + "\r\n";
}

}  // namespace gpstesting
