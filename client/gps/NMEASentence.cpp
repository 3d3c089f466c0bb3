#include "client/gps/NMEASentence.h"

#include <cctype>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstring>

namespace {

const char* const TALKERS[] = {"GP", "GN", "GL", "GA", "GB", "BD"};

bool isAcceptedTalker(const char* text) {
    for (const char* talker : TALKERS) {
        if (text[0] == talker[0] && text[1] == talker[1]) {
            return true;
        }
    }
    return false;
}

// Value of an uppercase hexadecimal digit, -1 for anything else.
int hexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

bool endsField(char c) {
    return c == ',' || c == '*' || c == '(' || c == ')' || c == '|' || c == '\\';
}

std::size_t skipBlanks(const std::string& text) {
    std::size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) {
        ++i;
    }
    return i;
}

// "$" + accepted talker + one of G/R, one of G/S/M, one of A/C/V, ","
bool headerAt(const std::string& text, std::size_t i) {
    if (i + 7 > text.size() || text[i] != '$' || !isAcceptedTalker(text.c_str() + i + 1)) {
        return false;
    }
    return std::strchr("GR", text[i + 3]) != nullptr &&
           std::strchr("GSM", text[i + 4]) != nullptr &&
           std::strchr("ACV", text[i + 5]) != nullptr && text[i + 3] != '\0' &&
           text[i + 4] != '\0' && text[i + 5] != '\0' && text[i + 6] == ',';
}

}  // namespace

bool NMEASentence::checksumMatches(const std::string& line) {
    if (line.empty() || line[0] != '$') {
        return false;
    }
    const std::size_t star = line.find('*');
    if (star == std::string::npos || star + 2 >= line.size()) {
        return false;
    }
    const int high = hexValue(line[star + 1]);
    const int low = hexValue(line[star + 2]);
    if (high < 0 || low < 0) {
        return false;
    }
    unsigned char sum = 0;
    for (std::size_t i = 1; i < star; ++i) {
        sum ^= static_cast<unsigned char>(line[i]);
    }
    return sum == high * 16 + low;
}

NMEASentenceType NMEASentence::typeOf(const std::string& line) {
    if (line.size() < 6 || line[0] != '$' || !isAcceptedTalker(line.c_str() + 1)) {
        return NMEASentenceType::Other;
    }
    const std::string type = line.substr(3, 3);
    if (type == "GGA") {
        return NMEASentenceType::GGA;
    }
    if (type == "RMC") {
        return NMEASentenceType::RMC;
    }
    if (type == "GSV") {
        return NMEASentenceType::GSV;
    }
    if (type == "GSA") {
        return NMEASentenceType::GSA;
    }
    return NMEASentenceType::Other;
}

std::string NMEASentence::talkerOf(const std::string& line) {
    return line.size() >= 3 ? line.substr(1, 2) : std::string();
}

std::vector<std::string> NMEASentence::fields(const std::string& line) {
    std::vector<std::string> result;
    const std::size_t star = line.find('*');
    const std::size_t end = star == std::string::npos ? line.size() : star;
    std::size_t position = line.find(',');
    while (position < end) {
        std::size_t stop = position + 1;
        while (stop < line.size() && !endsField(line[stop])) {
            ++stop;
        }
        result.push_back(line.substr(position + 1, stop - position - 1));
        position = line.find(',', stop);
    }
    return result;
}

int NMEASentence::countHeaders(const std::string& text) {
    int count = 0;
    for (std::size_t i = text.find('$'); i != std::string::npos; i = text.find('$', i)) {
        if (headerAt(text, i)) {
            ++count;
            i += 7;
        } else {
            ++i;
        }
    }
    return count;
}

int NMEASentence::toInt(const std::string& text) {
    std::size_t i = skipBlanks(text);
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    long long value = 0;
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > static_cast<long long>(INT_MAX) + 1) {
            value = static_cast<long long>(INT_MAX) + 1;
        }
    }
    if (negative) {
        return static_cast<int>(-value);
    }
    return value > INT_MAX ? INT_MAX : static_cast<int>(value);
}

double NMEASentence::toReal(const std::string& text) {
    std::size_t i = skipBlanks(text);
    if (i < text.size() && text[i] == '+') {
        ++i;
    }
    double value = 0.0;
    const auto result = std::from_chars(text.data() + i, text.data() + text.size(), value);
    if (result.ec != std::errc() || !std::isfinite(value)) {
        return 0.0;
    }
    return value;
}
