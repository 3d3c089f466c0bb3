#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Lenient number readers for the fixed-layout files: they read the number that starts at a
// position and ignore whatever follows it (a pad character, a hemisphere letter). Text that
// does not start with a number, or a number that does not fit, reads as 0 and clears *ok.
// They never depend on the C locale.
namespace numbertext {

std::int64_t leadingInteger(const std::wstring& text, std::size_t from = 0, bool* ok = nullptr);
// Infinity and NaN are refused as well.
double leadingNumber(const std::wstring& text, std::size_t from = 0, bool* ok = nullptr);
// The decimal text of a number (16 significant digits, the shortest form); a value that is
// not finite is written as 0.
std::wstring numberText(double value);
// The leading number text cut after two decimals (toward zero, exactly, on the digits).
double leadingNumberTwoDecimals(const std::wstring& text, std::size_t from = 0);
// Cuts the decimal text of a number after two decimals ("12.349" -> "12.34").
std::wstring cutToTwoDecimals(const std::wstring& numberText);

}  // namespace numbertext
