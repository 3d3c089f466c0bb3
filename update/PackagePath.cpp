#include "update/PackagePath.h"

#include <cwctype>

namespace updater {
namespace {

bool isSeparator(wchar_t c) {
    return c == L'\\' || c == L'/';
}

bool stripLeadingDrive(std::wstring& name) {
    if (name.size() >= 2 && name[1] == L':' && std::iswalpha(static_cast<wint_t>(name[0]))) {
        name.erase(0, 2);
        return true;
    }
    return false;
}

bool stripLeadingSeparator(std::wstring& name) {
    if (!name.empty() && isSeparator(name[0])) {
        name.erase(0, 1);
        return true;
    }
    return false;
}

// Removes everything up to and including the last parent step written between separators.
bool stripParentSteps(std::wstring& name) {
    for (std::size_t i = name.size(); i >= 4; --i) {
        const std::size_t at = i - 4;
        if (isSeparator(name[at]) && name[at + 1] == L'.' && name[at + 2] == L'.' &&
            isSeparator(name[at + 3])) {
            name.erase(0, at + 4);
            return true;
        }
    }
    return false;
}

}  // namespace

std::wstring PackagePath::normalize(const std::wstring& storedName) {
    std::wstring name = storedName;
    while (stripLeadingDrive(name) || stripLeadingSeparator(name) || stripParentSteps(name)) {
    }
    std::wstring result;
    std::size_t start = 0;
    while (start <= name.size()) {
        std::size_t end = start;
        while (end < name.size() && !isSeparator(name[end])) {
            ++end;
        }
        const std::wstring part = name.substr(start, end - start);
        if (!part.empty() && part != L"." && part != L"..") {
            result += (result.empty() ? L"" : L"/") + part;
        }
        start = end + 1;
    }
    return result;
}

}  // namespace updater
