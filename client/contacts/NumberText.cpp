#include "client/contacts/NumberText.h"

#include <charconv>
#include <cmath>

#include "kestra/Lexical.h"

namespace numbertext {
namespace {

// The ASCII characters from position from on that can belong to a number.
std::string numberChars(const std::wstring& text, std::size_t from) {
    std::string narrow;
    for (std::size_t i = from; i < text.size(); ++i) {
        const wchar_t c = text[i];
        if (!((c >= L'0' && c <= L'9') || c == L'-' || c == L'+' || c == L'.' || c == L'e' ||
              c == L'E')) {
            break;
        }
        narrow.push_back(static_cast<char>(c));
    }
    // A leading plus is accepted by the classic converters but not by from_chars.
    if (!narrow.empty() && narrow[0] == '+') {
        narrow.erase(0, 1);
    }
    return narrow;
}

void report(bool* ok, bool value) {
    if (ok != nullptr) {
        *ok = value;
    }
}

}  // namespace

std::int64_t leadingInteger(const std::wstring& text, std::size_t from, bool* ok) {
    const std::string narrow = numberChars(text, from);
    std::int64_t value = 0;
    const auto r = std::from_chars(narrow.data(), narrow.data() + narrow.size(), value);
    const bool parsed = r.ec == std::errc() && r.ptr != narrow.data();
    report(ok, parsed);
    return parsed ? value : 0;
}

double leadingNumber(const std::wstring& text, std::size_t from, bool* ok) {
    const std::string narrow = numberChars(text, from);
    double value = 0.0;
    const auto r = std::from_chars(narrow.data(), narrow.data() + narrow.size(), value);
    const bool parsed = r.ec == std::errc() && r.ptr != narrow.data() && std::isfinite(value);
    report(ok, parsed);
    return parsed ? value : 0.0;
}

std::wstring numberText(double value) {
    return std::isfinite(value) ? kestra::toText(value) : std::wstring(L"0");
}

std::wstring cutToTwoDecimals(const std::wstring& text) {
    if (text.find_first_of(L"eE") != std::wstring::npos) {
        return text;  // exponent form: the digits are not plain decimals
    }
    const std::size_t point = text.find(L'.');
    if (point == std::wstring::npos || text.size() <= point + 3) {
        return text;
    }
    return text.substr(0, point + 3);
}

double leadingNumberTwoDecimals(const std::wstring& text, std::size_t from) {
    bool ok = false;
    const double value = leadingNumber(text, from, &ok);
    if (!ok) {
        return 0.0;
    }
    const std::string narrow = numberChars(text, from);
    if (narrow.find_first_of("eE") != std::string::npos) {
        return std::trunc(value * 100.0) / 100.0;
    }
    return leadingNumber(cutToTwoDecimals(std::wstring(narrow.begin(), narrow.end())));
}

}  // namespace numbertext
