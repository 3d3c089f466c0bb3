#include "client/locale/Dictionary.h"

#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <pugixml.hpp>

#include "kestra/Exceptions.h"
#include "kestra/Log.h"
#include "kestra/Mutex.h"
#include "kestra/TextCodec.h"

namespace fs = std::filesystem;

namespace {

struct DictionaryState {
    kestra::Mutex mutex;
    std::atomic<bool> loaded{false};
    std::wstring chosenFile;
    std::vector<std::wstring> languages;
    std::map<std::wstring, std::wstring> translations;
};

DictionaryState& state() {
    static DictionaryState s;
    return s;
}

// Lists the folder and remembers the file of the chosen language (the last match wins).
void scanFolder(const fs::path& folder, const std::wstring& language) {
    DictionaryState& s = state();
    s.chosenFile.clear();
    s.languages.clear();
    std::error_code ec;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder, ec)) {
        const std::wstring fileName = kestra::utf8ToWide(entry.path().filename().string());
        const std::wstring name = fileName.substr(0, fileName.find(L'.'));
        s.languages.push_back(name);
        if (name == language) {
            s.chosenFile = kestra::utf8ToWide(entry.path().string());
        }
    }
}

void fillTranslations(const pugi::xml_node& root) {
    DictionaryState& s = state();
    for (const pugi::xml_node& child : root.children()) {
        if (child.type() != pugi::node_element) {
            continue;
        }
        const std::wstring key = kestra::utf8ToWide(child.attribute("name").value());
        const std::wstring value = kestra::utf8ToWide(child.attribute("value").value());
        if (!key.empty() && !value.empty()) {
            s.translations[key] = value;
        }
    }
}

}  // namespace

void Dictionary::startup(const std::wstring& localeFolder, const std::wstring& language) {
    DictionaryState& s = state();
    kestra::Mutex::Locker lock(s.mutex);
    s.loaded = false;
    const fs::path folder(kestra::wideToUtf8(localeFolder));
    std::error_code ec;
    if (!fs::is_directory(folder, ec)) {
        if (!fs::create_directories(folder, ec) && !fs::is_directory(folder, ec)) {
            const char* condition = "0 == CreateDirectory(localeFolder.c_str(),NULL)";
            kestra::Log::error(std::string("Dictionary::startup, ") + condition);
            throw kestra::IOStreamException("Dictionary::startup", condition);
        }
        return;  // a new folder holds no language
    }
    scanFolder(folder, language);
    if (s.chosenFile.empty()) {
        return;
    }
    std::ifstream in(fs::path(kestra::wideToUtf8(s.chosenFile)), std::ios::binary);
    if (!in) {
        return;
    }
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    // The file must be UTF-8 (plain ASCII included); anything else leaves English texts.
    const std::wstring text = kestra::utf8ToWide(bytes);
    if (text.find(L"language") == std::wstring::npos) {
        return;
    }
    pugi::xml_document document;
    if (!document.load_buffer(bytes.data(), bytes.size(), pugi::parse_default,
                              pugi::encoding_utf8) ||
        !document.document_element()) {
        kestra::Log::warning("Dictionary::startup: the language file is not XML.");
        return;
    }
    s.translations.clear();
    fillTranslations(document.document_element());
    s.loaded = true;
}

std::wstring Dictionary::translate(const std::wstring& text) {
    DictionaryState& s = state();
    if (!s.loaded) {
        return text;
    }
    kestra::Mutex::Locker lock(s.mutex);
    const auto it = s.translations.find(text);
    return it == s.translations.end() ? text : it->second;
}

std::wstring Dictionary::translate(const char* text) {
    return translate(kestra::utf8ToWide(text == nullptr ? "" : text));
}

std::vector<std::wstring> Dictionary::getLanguages() {
    kestra::Mutex::Locker lock(state().mutex);
    return state().languages;
}

bool Dictionary::isLoaded() {
    return state().loaded.load();
}

std::wstring Dictionary::getChosenFile() {
    kestra::Mutex::Locker lock(state().mutex);
    return state().chosenFile;
}
