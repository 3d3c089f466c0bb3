#include "kestra/TextCodec.h"

#include <cstdint>

namespace kestra {
namespace {

bool isSurrogate(std::uint32_t cp) {
    return cp >= 0xD800 && cp <= 0xDFFF;
}
bool isValidCodePoint(std::uint32_t cp) {
    return cp <= 0x10FFFF && !isSurrogate(cp);
}

// Decodes one UTF-8 sequence starting at i; returns false on any malformed input.
bool decodeUtf8(const std::string& s, std::size_t& i, std::uint32_t& cp) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char lead = byte(i);
    int extra = 0;
    std::uint32_t minimum = 0;
    if (lead < 0x80) {
        cp = lead;
    } else if ((lead & 0xE0) == 0xC0) {
        cp = lead & 0x1F;
        extra = 1;
        minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        cp = lead & 0x0F;
        extra = 2;
        minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        cp = lead & 0x07;
        extra = 3;
        minimum = 0x10000;
    } else {
        return false;
    }
    if (i + static_cast<std::size_t>(extra) >= s.size() && extra > 0) {
        return false;  // sequence cut short
    }
    for (int k = 1; k <= extra; ++k) {
        const unsigned char c = byte(i + k);
        if ((c & 0xC0) != 0x80) {
            return false;
        }
        cp = (cp << 6) | (c & 0x3F);
    }
    if (extra > 0 && cp < minimum) {
        return false;  // overlong form
    }
    i += extra + 1;
    return isValidCodePoint(cp);
}

}  // namespace

std::wstring utf8ToWide(const std::string& utf8) {
    std::wstring out;
    out.reserve(utf8.size());
    std::size_t i = 0;
    while (i < utf8.size()) {
        std::uint32_t cp = 0;
        if (!decodeUtf8(utf8, i, cp)) {
            return std::wstring();
        }
        out.push_back(static_cast<wchar_t>(cp));
    }
    return out;
}

std::string wideToUtf8(const std::wstring& wide) {
    std::string out;
    out.reserve(wide.size());
    for (wchar_t wc : wide) {
        const auto cp = static_cast<std::uint32_t>(wc);
        if (!isValidCodePoint(cp)) {
            return std::string();
        }
        if (cp < 0x80) {
            out.push_back(static_cast<char>(cp));
        } else if (cp < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        }
    }
    return out;
}

std::string wideToUtf16le(const std::wstring& wide) {
    std::string out;
    out.reserve(wide.size() * 2);
    const auto put = [&out](std::uint32_t unit) {
        out.push_back(static_cast<char>(unit & 0xFF));
        out.push_back(static_cast<char>((unit >> 8) & 0xFF));
    };
    for (wchar_t wc : wide) {
        const auto cp = static_cast<std::uint32_t>(wc);
        if (!isValidCodePoint(cp)) {
            return std::string();
        }
        if (cp < 0x10000) {
            put(cp);
        } else {
            const std::uint32_t v = cp - 0x10000;
            put(0xD800 | (v >> 10));
            put(0xDC00 | (v & 0x3FF));
        }
    }
    return out;
}

std::wstring utf16leToWide(const char* data, std::size_t size) {
    std::wstring out;
    const std::size_t units = size / 2;
    out.reserve(units);
    const auto unitAt = [data](std::size_t k) {
        return static_cast<std::uint32_t>(static_cast<unsigned char>(data[2 * k])) |
               (static_cast<std::uint32_t>(static_cast<unsigned char>(data[2 * k + 1])) << 8);
    };
    for (std::size_t k = 0; k < units; ++k) {
        const std::uint32_t u = unitAt(k);
        if (u >= 0xD800 && u <= 0xDBFF) {
            if (k + 1 >= units) {
                return std::wstring();
            }
            const std::uint32_t low = unitAt(k + 1);
            if (low < 0xDC00 || low > 0xDFFF) {
                return std::wstring();
            }
            out.push_back(static_cast<wchar_t>(0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00)));
            ++k;
        } else if (u >= 0xDC00 && u <= 0xDFFF) {
            return std::wstring();
        } else {
            out.push_back(static_cast<wchar_t>(u));
        }
    }
    return out;
}

std::size_t utf16Length(const std::wstring& wide) {
    std::size_t n = 0;
    for (wchar_t wc : wide) {
        n += static_cast<std::uint32_t>(wc) >= 0x10000 ? 2 : 1;
    }
    return n;
}

}  // namespace kestra
