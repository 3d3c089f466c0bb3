#include "kestra/Settings.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <pugixml.hpp>

#include "kestra/Exceptions.h"
#include "kestra/FileSync.h"
#include "kestra/Lexical.h"
#include "kestra/Log.h"
#include "kestra/Mutex.h"
#include "kestra/SettingsDocument.h"
#include "kestra/TextCodec.h"

namespace fs = std::filesystem;

namespace kestra {
namespace {

struct Store {
    Mutex mutex;
    std::unique_ptr<pugi::xml_document> document;
    pugi::xml_node root;
    std::wstring fileName;
    bool ready = false;
};

Store& store() {
    static Store s;
    return s;
}

template <class E>
[[noreturn]] void fail(const std::string& message) {
    Log::error(message);
    throw E();
}

std::string narrow(const std::wstring& text) {
    return wideToUtf8(text);
}
std::wstring wide(const char* text) {
    return utf8ToWide(text);
}

struct KeyParts {
    bool global = true;
    std::string group;
    std::string item;
};

KeyParts splitKey(const std::wstring& key, const char* function) {
    if (key.empty()) {
        Log::error(std::string(function) + ": fullName.length() == 0");
        throw IOStreamException(function, "fullName.length() == 0");
    }
    KeyParts parts;
    const std::string full = narrow(key);
    const std::size_t dot = full.find('.');
    if (dot == std::string::npos) {
        parts.item = full;
    } else {
        parts.global = false;
        parts.group = full.substr(0, dot);
        parts.item = full.substr(dot + 1);
    }
    return parts;
}

pugi::xml_node findItemIn(const pugi::xml_node& parent, const std::string& name) {
    for (const pugi::xml_node& item : parent.children("item")) {
        if (name == item.attribute("name").value()) {
            return item;
        }
    }
    return pugi::xml_node();
}

// The first matching item; several groups with the same name are all searched.
pugi::xml_node findItem(const KeyParts& key) {
    Store& s = store();
    if (!s.document) {
        return pugi::xml_node();
    }
    if (key.global) {
        const pugi::xml_node global = s.root.child("global");
        return global ? findItemIn(global, key.item) : pugi::xml_node();
    }
    for (const pugi::xml_node& group : s.root.children("group")) {
        if (key.group == group.attribute("name").value()) {
            if (pugi::xml_node item = findItemIn(group, key.item)) {
                return item;
            }
        }
    }
    return pugi::xml_node();
}

pugi::xml_node findItem(const std::wstring& key, const char* function) {
    return findItem(splitKey(key, function));
}

void requireReady(const char* function) {
    if (!store().ready) {
        fail<SettingsException>(std::string(function) +
                                ": Settings is not ready to work. Use startup.");
    }
}

pugi::xml_node appendChild(pugi::xml_node parent, const char* name, const char* failure) {
    pugi::xml_node child = parent.append_child(name);
    if (!child) {
        fail<SettingsException>(failure);
    }
    return child;
}

// Creates an item with name and value under parent; false when an attribute cannot be set.
bool miniSet(pugi::xml_node parent, const std::string& name, const std::string& value) {
    pugi::xml_node item = appendChild(parent, "item", "Settings::miniSet: Can not modify settings");
    return item.append_attribute("name").set_value(name.c_str()) &&
           item.append_attribute("value").set_value(value.c_str());
}

bool setVariant(const std::wstring& key, const std::string& value, const char* function) {
    Store& s = store();
    Mutex::Locker lock(s.mutex);
    requireReady(function);
    const KeyParts parts = splitKey(key, "Settings::setVariant");
    if (pugi::xml_node item = findItem(parts)) {
        pugi::xml_attribute attribute = item.attribute("value");
        if (!attribute) {
            attribute = item.append_attribute("value");
        }
        return attribute.set_value(value.c_str());
    }
    const char* failure = "Settings::setVariant: Can not modify settings";
    pugi::xml_node parent;
    if (parts.global) {
        parent = s.root.child("global");
        if (!parent) {
            parent = appendChild(s.root, "global", failure);
        }
    } else {
        for (const pugi::xml_node& group : s.root.children("group")) {
            if (parts.group == group.attribute("name").value()) {
                parent = group;
                break;
            }
        }
        if (!parent) {
            parent = appendChild(s.root, "group", failure);
            if (!parent.append_attribute("name").set_value(parts.group.c_str())) {
                fail<SettingsException>(failure);
            }
        }
    }
    return miniSet(parent, parts.item, value);
}

// Reads the whole file as UTF-16LE text; an odd trailing byte is not a whole unit. A file
// that exists but cannot be opened or read to its end is a SettingsReadingException: it
// is not missing, and must not be taken for an empty one.
std::wstring readUtf16File(const std::wstring& fileName, bool& exists) {
    const fs::path path(narrow(fileName));
    std::error_code ec;
    const fs::file_status status = fs::status(path, ec);
    exists = status.type() != fs::file_type::not_found;
    if (!exists) {
        return std::wstring();
    }
    std::ifstream in(path, std::ios::binary);
    std::string bytes;
    if (in.is_open() && !fs::is_directory(status)) {
        bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    if (!in.is_open() || in.bad() || fs::is_directory(status)) {
        const int error = errno;
        fail<SettingsReadingException>("Settings::startup: the settings file " + path.string() +
                                       " exists but cannot be read (" +
                                       (ec ? ec.message() : std::strerror(error)) + ").");
    }
    std::wstring text = utf16leToWide(bytes.data(), bytes.size() & ~static_cast<std::size_t>(1));
    if (!text.empty() && text.front() == 0xFEFF) {
        text.erase(0, 1);  // tolerate a byte-order mark written by another editor
    }
    return text;
}

void loadDocument(const std::wstring& content) {
    Store& s = store();
    if (content.find(L"settings") == std::wstring::npos) {
        fail<SettingsCorruptException>("Settings::startup: -1 == xmlContent.find('settings').");
    }
    if (!parseSingleRootXml(narrow(content), *s.document)) {
        fail<SettingsCorruptException>("Settings::startup: Corrupt config file");
    }
    s.root = s.document->document_element();
    if (!s.root) {
        fail<SettingsCorruptException>("Settings::startup: Can not find root settings tag");
    }
}

// The temporary file is always made anew: a leftover of an interrupted flush, or a link
// planted there, is removed first (a link is removed, never followed), and the file is
// then created exclusively with mode 0600, so the settings go nowhere else.
void writeTemporaryFile(const std::string& path, const std::string& bytes) {
    std::error_code ec;
    const fs::file_status existing = fs::symlink_status(path, ec);
    if (fs::is_regular_file(existing) || fs::is_symlink(existing)) {
        fs::remove(path, ec);
    }
    switch (writeNewPrivateFile(path, bytes)) {
        case NewFileResult::NotCreated:
            fail<SettingsSavingException>("Settings::flush: config file saving error");
        case NewFileResult::NotWritten:
            fail<SettingsSavingException>("Settings::flush: config file content saving error");
        case NewFileResult::Written:
            break;
    }
}

// Integers are read as the DOM converted them: whole numbers, or decimals rounded.
bool parseInt(const std::wstring& text, int& value) {
    const std::string n = narrow(text);
    const char* first = n.data();
    const char* last = n.data() + n.size();
    while (first < last && (*first == ' ' || *first == '\t')) {
        ++first;
    }
    long long whole = 0;
    const auto r = std::from_chars(first, last, whole);
    if (r.ec == std::errc() && r.ptr == last && whole >= INT32_MIN && whole <= INT32_MAX) {
        value = static_cast<int>(whole);
        return true;
    }
    double real = 0;
    const auto d = std::from_chars(first, last, real);
    if (d.ec == std::errc() && d.ptr == last && std::isfinite(real) &&
        std::nearbyint(real) >= INT32_MIN && std::nearbyint(real) <= INT32_MAX) {
        value = static_cast<int>(std::nearbyint(real));
        return true;
    }
    return false;
}

}  // namespace

void Settings::startup(const std::wstring& fileName) {
    Store& s = store();
    Mutex::Locker lock(s.mutex);
    s.ready = false;
    if (fileName.empty()) {
        fail<SettingsException>("Settings::startup: filename is empty");
    }
    s.root = pugi::xml_node();
    s.document = std::make_unique<pugi::xml_document>();
    s.fileName = fileName;
    bool exists = false;
    const std::wstring content = readUtf16File(fileName, exists);
    if (!exists) {
        s.root = s.document->append_child("settings");
        if (!s.root) {
            fail<SettingsException>("Settings::startup: Can not create settings");
        }
        s.ready = true;
        flush();
        return;
    }
    try {
        loadDocument(content);
    } catch (...) {
        s.document->reset();
        s.root = pugi::xml_node();
        throw;
    }
    s.ready = true;
}

bool Settings::shutdown() {
    Store& s = store();
    Mutex::Locker lock(s.mutex);
    if (!s.ready) {
        return true;
    }
    bool saved = false;
    try {
        flush();
        saved = true;
    } catch (const SettingsSavingException&) {
        Log::error("Settings::shutdown: catch SettingsSavingException.");
    } catch (const SettingsException&) {
        Log::error("Settings::shutdown: catch SettingsException.");
    }
    s.root = pugi::xml_node();
    s.document.reset();
    s.ready = false;
    return saved;
}

void Settings::flush() {
    Store& s = store();
    Mutex::Locker lock(s.mutex);
    if (s.fileName.empty() || !s.ready) {
        fail<SettingsException>("Settings::flush: config file not specified");
    }
    const std::string bytes = wideToUtf16le(utf8ToWide(serializeCompactXml(*s.document)));
    if (bytes.empty()) {
        fail<SettingsSavingException>("Settings::flush: S_OK != res) || (xmlContent == NULL)");
    }
    const std::string target = narrow(s.fileName);
    const std::string temporary = target + "tmp";
    writeTemporaryFile(temporary, bytes);
    std::error_code ec;
    fs::rename(temporary, target, ec);
    if (ec) {
        // rename() replaces the old file atomically when it can work at all; deleting the
        // old file first would only lose it, so the previous file stays as it is.
        fs::remove(temporary, ec);
        fail<SettingsSavingException>("Settings::flush: renaming error");
    }
    // The new file is in place; a folder entry that cannot be forced to the disk now is
    // written by the system later (and without the platform's routine nothing is forced).
    if (!syncFileToDisk(fs::path(target).parent_path().string())) {
        Log::debug("Settings::flush: the settings folder was not forced to the disk.");
    }
}

bool Settings::isReady() {
    Mutex::Locker lock(store().mutex);
    return store().ready;
}

std::wstring Settings::fileName() {
    Mutex::Locker lock(store().mutex);
    return store().fileName;
}

bool Settings::getStringValue(const std::wstring& key, std::wstring* value) {
    Mutex::Locker lock(store().mutex);
    const pugi::xml_node item = findItem(key, "Settings::getStringValue");
    if (!item) {
        return false;
    }
    if (value != nullptr) {
        *value = wide(item.attribute("value").value());
    }
    return true;
}

std::wstring Settings::getStringValue(const std::wstring& key) {
    std::wstring value;
    getStringValue(key, &value);
    return value;
}

bool Settings::getIntValue(const std::wstring& key, int* value) {
    std::wstring text;
    if (!getStringValue(key, &text)) {
        return false;
    }
    int parsed = 0;
    if (!parseInt(text, parsed)) {
        Log::warning("Settings::getIntValue: the value of " + narrow(key) + " is not a number.");
        return false;
    }
    if (value != nullptr) {
        *value = parsed;
    }
    return true;
}

int Settings::getIntValue(const std::wstring& key, int defaultValue) {
    int value = 0;
    return getIntValue(key, &value) ? value : defaultValue;
}

bool Settings::getDoubleValue(const std::wstring& key, double* value) {
    std::wstring text;
    if (!getStringValue(key, &text)) {
        return false;
    }
    const double parsed = fromText<double>(text);
    if (value != nullptr) {
        *value = parsed;
    }
    return true;
}

bool Settings::setStringValue(const std::wstring& key, const std::wstring& value) {
    return setVariant(key, narrow(value), "Settings::setStringValue");
}

bool Settings::setIntValue(const std::wstring& key, int value) {
    return setVariant(key, toNarrowText(value), "Settings::setIntValue");
}

bool Settings::setDoubleValue(const std::wstring& key, double value) {
    char buffer[64];
    const auto r =
        std::to_chars(buffer, buffer + sizeof(buffer), value, std::chars_format::general, 15);
    return setVariant(key, std::string(buffer, r.ptr), "Settings::setDoubleValue");
}

bool Settings::addStringValue(const std::wstring& key, const std::wstring& value) {
    Store& s = store();
    Mutex::Locker lock(s.mutex);
    requireReady("Settings::addStringValue");
    const pugi::xml_node existing = findItem(key, "Settings::addVariant");
    if (!existing) {
        return setStringValue(key, value);
    }
    pugi::xml_node parent = existing.parent();
    if (!parent) {
        fail<SettingsException>("Settings::addVariant: res = elementPtr->get_parentNode(&parent);");
    }
    pugi::xml_node item = parent.append_child("item");
    if (!item) {
        fail<SettingsException>("Settings::addVariant: Can not modify settings");
    }
    return item.append_attribute("name").set_value(existing.attribute("name").value()) &&
           item.append_attribute("value").set_value(narrow(value).c_str());
}

std::vector<std::wstring> Settings::getListVariant(const std::wstring& key, bool remove) {
    Mutex::Locker lock(store().mutex);
    std::vector<std::wstring> values;
    const pugi::xml_node first = findItem(key, "Settings::getListVariant");
    if (!first) {
        return values;
    }
    const std::string name = first.attribute("name").value();
    pugi::xml_node parent = first.parent();
    if (!parent) {
        fail<SettingsException>(
            "Settings::getListVariant: res = elementPtr->get_parentNode(&parent);");
    }
    for (pugi::xml_node child = parent.first_child(); child;) {
        pugi::xml_node next = child.next_sibling();
        if (child.type() == pugi::node_element && name == child.attribute("name").value()) {
            values.push_back(wide(child.attribute("value").value()));
            if (remove) {
                parent.remove_child(child);
            }
        }
        child = next;
    }
    return values;
}

std::vector<std::wstring> Settings::getListStringValue(const std::wstring& key) {
    return getListVariant(key, false);
}

int Settings::removeListVariant(const std::wstring& key) {
    return static_cast<int>(getListVariant(key, true).size());
}

}  // namespace kestra
