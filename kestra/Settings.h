#pragma once

#include <string>
#include <vector>

namespace kestra {

// The process-wide key-value store, kept as one XML document in memory and written as
// UTF-16LE text (no byte-order mark, no declaration) to one file.
//
// A key is split at its first ".": "group.item" is item "item" of <group name="group">; a
// key without "." is an item of the <global> element. Several items with one name under one
// parent form a list. Every operation takes the store's lock, so no reader ever sees a
// half-modified document. Failures are logged at ERROR level and thrown as
// SettingsException, SettingsCorruptException or SettingsSavingException.
class Settings {
public:
    // Loads the file, or creates it when it does not exist. A damaged file is a
    // SettingsCorruptException; a file that exists but cannot be read is a
    // SettingsReadingException (nothing is written then).
    static void startup(const std::wstring& fileName);
    // Flushes and releases the document. A failed flush is logged at ERROR level, not
    // thrown; the result says whether the settings were saved (true when not started).
    static bool shutdown();
    // Writes the file through fileName + "tmp" and a rename, so a failed or interrupted
    // write never damages the previous file.
    static void flush();
    static bool isReady();
    static std::wstring fileName();

    // The out-forms return whether the item exists and store its value through the pointer
    // (which may be null to only ask whether it exists). Note that getIntValue(key, n) with
    // an int n is the default-value form; the out-form takes &n.
    static bool getStringValue(const std::wstring& key, std::wstring* value);
    static std::wstring getStringValue(const std::wstring& key);
    static bool getIntValue(const std::wstring& key, int* value);
    static int getIntValue(const std::wstring& key, int defaultValue);
    // Throws boost::bad_lexical_cast when the stored text is not a decimal number.
    static bool getDoubleValue(const std::wstring& key, double* value);

    static bool setStringValue(const std::wstring& key, const std::wstring& value);
    static bool setIntValue(const std::wstring& key, int value);
    static bool setDoubleValue(const std::wstring& key, double value);
    // Appends one more item with the key's name (a list); like set when the key is new.
    static bool addStringValue(const std::wstring& key, const std::wstring& value);

    static std::vector<std::wstring> getListVariant(const std::wstring& key, bool remove);
    static std::vector<std::wstring> getListStringValue(const std::wstring& key);
    static int removeListVariant(const std::wstring& key);
};

}  // namespace kestra
