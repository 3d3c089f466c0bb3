#pragma once

#include <boost/lexical_cast.hpp>
#include <charconv>
#include <string>
#include <type_traits>

namespace kestra {

// Numbers to text and back, independent of the C locale (Qt sets it from the user's
// environment). Doubles keep 16 significant digits, floats 7.
template <class T>
std::string toNarrowText(T value) {
    char buffer[64];
    std::to_chars_result r;
    if constexpr (std::is_same_v<T, double>) {
        r = std::to_chars(buffer, buffer + sizeof(buffer), value, std::chars_format::general, 16);
    } else if constexpr (std::is_same_v<T, float>) {
        r = std::to_chars(buffer, buffer + sizeof(buffer), value, std::chars_format::general, 7);
    } else {
        r = std::to_chars(buffer, buffer + sizeof(buffer), value);
    }
    return std::string(buffer, r.ptr);
}

template <class T>
std::wstring toText(T value) {
    const std::string narrow = toNarrowText(value);
    return std::wstring(narrow.begin(), narrow.end());
}

// Parses the whole text as a T; throws boost::bad_lexical_cast ("bad lexical cast: source
// type value could not be interpreted as target") when it is not one.
template <class T>
T fromText(const std::string& text) {
    return boost::lexical_cast<T>(text);
}

template <class T>
T fromText(const std::wstring& text) {
    std::string narrow;
    narrow.reserve(text.size());
    for (wchar_t c : text) {
        if (static_cast<unsigned>(c) >= 0x80) {
            throw boost::bad_lexical_cast();
        }
        narrow.push_back(static_cast<char>(c));
    }
    return boost::lexical_cast<T>(narrow);
}

}  // namespace kestra
