#pragma once

#include <cstddef>
#include <string>

// Helpers for text kept as raw UTF-16LE bytes, the form of the contact and history files.
// Widths are counted in UTF-16 units, as the files count them.
namespace utf16text {

// The text as UTF-16LE bytes (empty when the text holds no valid characters).
std::string encode(const std::wstring& text);
std::string encode(const std::string& ascii);
// The bytes as text. Unlike the strict codec, a damaged unit (a lone surrogate from a cut
// or a garbled file) becomes U+FFFD instead of emptying the whole text.
std::wstring decode(const std::string& bytes);

inline std::size_t unitCount(const std::string& bytes) {
    return bytes.size() / 2;
}
// The 16-bit unit at index (bytes must hold it).
char16_t unitAt(const std::string& bytes, std::size_t index);
std::string unit(char16_t value);

// Cuts to at most width units, never between the two halves of a surrogate pair, and pads
// the rest up to width with the fill unit.
std::string fit(const std::string& bytes, std::size_t width, char16_t fill);
// The units before the first one below limit (the whole text when there is none).
std::string cutBelow(const std::string& bytes, char16_t limit);

}  // namespace utf16text
