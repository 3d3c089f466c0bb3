#pragma once

#include <cstddef>
#include <string>

namespace kestra {

// Conversions between the program's wide text (one code point per wchar_t), UTF-8 and
// UTF-16 little endian. Every conversion gives an empty string when its input is not valid
// text (bad UTF-8, lone surrogates, code points beyond U+10FFFF).
std::wstring utf8ToWide(const std::string& utf8);
std::string wideToUtf8(const std::wstring& wide);

// UTF-16LE bytes, two or four per character, no byte-order mark.
std::string wideToUtf16le(const std::wstring& wide);
// Decodes size bytes of UTF-16LE. A trailing odd byte is ignored (it is not a whole unit).
std::wstring utf16leToWide(const char* data, std::size_t size);
inline std::wstring utf16leToWide(const std::string& bytes) {
    return utf16leToWide(bytes.data(), bytes.size());
}

// Length of the text in UTF-16 units (characters beyond U+FFFF count twice).
std::size_t utf16Length(const std::wstring& wide);

}  // namespace kestra
