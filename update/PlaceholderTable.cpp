#include "update/PlaceholderTable.h"

#include <algorithm>
#include <filesystem>

#include "kestra/Exceptions.h"
#include "kestra/TextCodec.h"
#include "platform/AppFolders.h"
#include "update/UpdaterConstants.h"

namespace updater {
namespace {

std::wstring parentFolder(const std::wstring& folder) {
    const std::filesystem::path path(kestra::wideToUtf8(folder));
    return kestra::utf8ToWide(path.parent_path().string());
}

}  // namespace

PlaceholderTable::PlaceholderTable(std::map<std::wstring, std::wstring> entries)
    : entries_(std::move(entries)) {}

PlaceholderTable PlaceholderTable::fromSystem(const std::wstring& programFolder) {
    std::wstring data;
    const std::wstring config = platform::configFolder();
    const std::wstring home = platform::homeFolder();
    const std::wstring programFiles = parentFolder(programFolder);
    if (!platform::applicationDataFolder(data) || config.empty() || home.empty() ||
        programFiles.empty()) {
        throw kestra::UpdateException("Process update", "getSpecFoldersPath error.");
    }
    return PlaceholderTable({
        {L"%CE1%", programFiles},
        {L"%CE2%", home + L"/.local/lib"},
        {L"%CE4%", config + L"/autostart"},
        {L"%CE15%", data + L"/fonts"},
        {L"%CE17%", data + L"/applications"},
        {L"%CE19%", data},
        {L"%AppName%", PRODUCT_NAME},
    });
}

namespace {

// Replaces every occurrence from left to right; the search goes on after the inserted
// text, so a folder whose own name holds the placeholder cannot make it loop.
void replaceAll(std::wstring& text, const std::wstring& placeholder, const std::wstring& value) {
    std::size_t at = text.find(placeholder);
    while (at != std::wstring::npos) {
        text.replace(at, placeholder.size(), value);
        at = text.find(placeholder, at + value.size());
    }
}

}  // namespace

// Unknown placeholders are looked for in the path itself, not in the folders put in, so a
// folder that happens to contain "%" in its name is still accepted.
bool PlaceholderTable::replaceIdInPath(const std::wstring& path, std::wstring& resolved) const {
    std::wstring skeleton = path;
    std::wstring result = path;
    std::replace(result.begin(), result.end(), L'\\', L'/');
    for (const auto& [placeholder, folder] : entries_) {
        replaceAll(skeleton, placeholder, std::wstring());
        replaceAll(result, placeholder, folder);
    }
    if (skeleton.find(L'%') != std::wstring::npos || result.empty() || result[0] != L'/') {
        return false;
    }
    resolved = result;
    return true;
}

}  // namespace updater
