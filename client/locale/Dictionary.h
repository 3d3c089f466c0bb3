#pragma once

#include <map>
#include <string>
#include <vector>

// Translates the program's built-in English texts. The English text is the key; a language
// is an XML file in the locale folder whose name (up to its first ".") names the language:
//   <language><text name="Cancel" value="Abbrechen"/>...</language>
// Every child of the root with a non-empty name and value adds one entry. A language that
// cannot be loaded leaves the built-in texts.
class Dictionary {
public:
    // Creates the locale folder when missing (throws kestra::IOStreamException when it
    // cannot), lists the languages and loads the one named language (case-sensitive).
    static void startup(const std::wstring& localeFolder, const std::wstring& language);
    static std::wstring translate(const std::wstring& text);
    static std::wstring translate(const char* text);
    static std::vector<std::wstring> getLanguages();
    static bool isLoaded();
    static std::wstring getChosenFile();
};

// Short form used by the windows: the translation of a built-in English text.
inline std::wstring tr(const char* text) {
    return Dictionary::translate(text);
}
