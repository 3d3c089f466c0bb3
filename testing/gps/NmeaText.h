#pragma once

#include <string>

namespace gpstesting {

// The checksum of an NMEA body (the text between '$' and '*') as two uppercase hex digits.
std::string checksumOf(const std::string& body);
// "$" + body + "*" + checksum + CR LF.
std::string sentence(const std::string& body);

}  // namespace gpstesting
