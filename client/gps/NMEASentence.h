#pragma once

#include <string>
#include <vector>

// The kinds of NMEA 0183 sentences a serial GPS source acts on.
enum class NMEASentenceType { Other, GGA, RMC, GSV, GSA };

// Reading one NMEA 0183 line: "$" + talker + type, comma-separated fields, "*" and two
// uppercase hexadecimal digits of the checksum, CR LF.
//
// Talkers: besides "GP" (GPS alone) most receivers sold today send "GN" (combined
// constellations), and some "GL" (GLONASS), "GA" (Galileo), "GB" or "BD" (BeiDou); the
// sentences are the same, so all of these are accepted.
class NMEASentence {
public:
    // True when the line starts with '$', holds a '*' followed by two uppercase hexadecimal
    // digits, and those equal the XOR of the bytes between the '$' and the first '*'.
    static bool checksumMatches(const std::string& line);
    // GGA, RMC, GSV or GSA when the line begins with one of those from an accepted talker.
    static NMEASentenceType typeOf(const std::string& line);
    // The talker of the line (the two characters after '$'), "" when too short.
    static std::string talkerOf(const std::string& line);
    // The fields after the sentence name up to the first '*'; fields[0] is the first one.
    // Empty fields keep their place. A field's text ends at the first of ( ) | \ characters.
    static std::vector<std::string> fields(const std::string& line);
    // How many sentence headers such as "$GPGGA," or "$GNRMC," the text holds (counted
    // without overlap): the sign that a port carries NMEA.
    static int countHeaders(const std::string& text);

    // The leading decimal integer of text (sign and leading blanks allowed), 0 without
    // digits; values beyond the int range saturate.
    static int toInt(const std::string& text);
    // The leading decimal real of text, 0 when there is none or it is not finite. Parsing
    // does not depend on the C locale.
    static double toReal(const std::string& text);
};
