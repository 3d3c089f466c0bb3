#include "client/gui/ChatText.h"

#include <cwchar>

#include "client/locale/Dictionary.h"
#include "kestra/Clock.h"
#include "kestra/Settings.h"

namespace ChatText {

namespace {
std::wstring twoDigits(int value) {
    wchar_t buffer[8];
    std::swprintf(buffer, 8, L"%02d", value);
    return buffer;
}
}  // namespace

std::wstring timeLabel(std::time_t time) {
    const std::tm local = kestra::localTime(time);
    return L"(" + twoDigits(local.tm_hour) + L":" + twoDigits(local.tm_min) + L")";
}

std::wstring statusTimeLabel(std::time_t time) {
    const std::tm local = kestra::localTime(time);
    return L"(" + std::to_wstring(local.tm_hour) + L":" + twoDigits(local.tm_min) + L")";
}

std::wstring shortDate(const std::wstring& storedDate, bool english) {
    if (storedDate.size() < 10 || storedDate[2] != L'.' || storedDate[5] != L'.') {
        return storedDate;
    }
    const std::wstring day = storedDate.substr(0, 2);
    const std::wstring month = storedDate.substr(3, 2);
    const std::wstring year = storedDate.substr(8, 2);
    return english ? month + L"/" + day + L"/" + year : day + L"/" + month + L"/" + year;
}

bool englishDates() {
    std::wstring language;
    if (!kestra::Settings::isReady() || !kestra::Settings::getStringValue(L"language", &language)) {
        return true;
    }
    return language == L"English";
}

std::wstring clean(const std::wstring& text) {
    std::wstring result = text;
    for (wchar_t& c : result) {
        const bool control = c < 0x20 && c != L'\t' && c != L'\n' && c != L'\r';
        if (control || c == 0xFFFE || c == 0xFFFF || (c >= 0xD800 && c <= 0xDFFF)) {
            c = 0xFFFD;
        }
    }
    return result;
}

std::wstring statusWord(int status) {
    static const char* const words[] = {"online", "free for chat", "away",
                                        "DND",    "N/A",           "invisible"};
    if (status >= 0 && status <= 5) {
        return Dictionary::translate(words[status]);
    }
    return Dictionary::translate("offline");
}

}  // namespace ChatText
