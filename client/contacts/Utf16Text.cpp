#include "client/contacts/Utf16Text.h"

#include "kestra/TextCodec.h"

namespace utf16text {
namespace {

constexpr char16_t REPLACEMENT = 0xFFFD;

bool isHigh(char16_t u) {
    return u >= 0xD800 && u <= 0xDBFF;
}
bool isLow(char16_t u) {
    return u >= 0xDC00 && u <= 0xDFFF;
}

}  // namespace

std::string encode(const std::wstring& text) {
    return kestra::wideToUtf16le(text);
}

std::string encode(const std::string& ascii) {
    std::string bytes;
    bytes.reserve(ascii.size() * 2);
    for (char c : ascii) {
        bytes.push_back(c);
        bytes.push_back('\0');
    }
    return bytes;
}

std::wstring decode(const std::string& bytes) {
    std::wstring text = kestra::utf16leToWide(bytes);
    if (!text.empty() || bytes.size() < 2) {
        return text;
    }
    // The strict codec refused the text: mend the broken units one by one.
    const std::size_t count = unitCount(bytes);
    for (std::size_t i = 0; i < count; ++i) {
        const char16_t u = unitAt(bytes, i);
        if (isHigh(u) && i + 1 < count && isLow(unitAt(bytes, i + 1))) {
            const char16_t low = unitAt(bytes, ++i);
            text.push_back(static_cast<wchar_t>(0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00)));
        } else if (isHigh(u) || isLow(u)) {
            text.push_back(REPLACEMENT);
        } else {
            text.push_back(static_cast<wchar_t>(u));
        }
    }
    return text;
}

char16_t unitAt(const std::string& bytes, std::size_t index) {
    const auto lo = static_cast<unsigned char>(bytes[2 * index]);
    const auto hi = static_cast<unsigned char>(bytes[2 * index + 1]);
    return static_cast<char16_t>(lo | (hi << 8));
}

std::string unit(char16_t value) {
    std::string bytes(2, '\0');
    bytes[0] = static_cast<char>(value & 0xFF);
    bytes[1] = static_cast<char>(value >> 8);
    return bytes;
}

std::string fit(const std::string& bytes, std::size_t width, char16_t fill) {
    std::size_t keep = unitCount(bytes);
    if (keep > width) {
        keep = width;
        if (keep > 0 && isHigh(unitAt(bytes, keep - 1))) {
            --keep;  // do not leave half a character behind
        }
    }
    std::string out = bytes.substr(0, 2 * keep);
    const std::string pad = unit(fill);
    for (std::size_t i = keep; i < width; ++i) {
        out += pad;
    }
    return out;
}

std::string cutBelow(const std::string& bytes, char16_t limit) {
    const std::size_t count = unitCount(bytes);
    for (std::size_t i = 0; i < count; ++i) {
        if (unitAt(bytes, i) < limit) {
            return bytes.substr(0, 2 * i);
        }
    }
    return bytes.substr(0, 2 * count);
}

}  // namespace utf16text
