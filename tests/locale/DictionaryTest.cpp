#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "TestSupport.h"
#include "client/locale/Dictionary.h"
#include "kestra/Exceptions.h"

using testsupport::TempDir;
using testsupport::writeFile;

namespace fs = std::filesystem;

namespace {

const char* const GERMAN =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<language name=\"Deutsch\">\n"
    "  <text name=\"Cancel\" value=\"Abbrechen\"/>\n"
    "  <anything name=\"Error\" value=\"Fehler\"/>\n"
    "  <text name=\"Exit\" value=\"\"/>\n"
    "  <text value=\"no key\"/>\n"
    "  <!-- a comment -->\n"
    "  <text name=\"Cancel\" value=\"Abbruch\"/>\n"
    "  <text name=\"Map\" value=\"Stra\xC3\x9F"
    "enkarte\"/>\n"
    "</language>\n";

class DictionaryTest : public ::testing::Test {
protected:
    void SetUp() override { fs::create_directories(folder()); }
    fs::path folder() const { return dir.path() / "locale"; }
    std::wstring localeFolder() const { return folder().wstring() + L"/"; }
    TempDir dir;
};

TEST_F(DictionaryTest, TranslatesFromTheChosenFile) {
    writeFile(folder() / "Deutsch.xml", GERMAN);
    Dictionary::startup(localeFolder(), L"Deutsch");
    EXPECT_TRUE(Dictionary::isLoaded());
    EXPECT_EQ(tr("Error"), L"Fehler") << "the element's own name is not looked at";
    EXPECT_EQ(tr("Cancel"), L"Abbruch") << "a later entry replaces an earlier one";
    EXPECT_EQ(tr("Exit"), L"Exit") << "an empty value keeps the English text";
    EXPECT_EQ(tr("Map"), L"Stra\u00DFenkarte");
    EXPECT_EQ(tr("Unknown text"), L"Unknown text");
}

TEST_F(DictionaryTest, LanguageNamesAreCaseSensitiveAndCutAtTheFirstDot) {
    writeFile(folder() / "Deutsch.xml", GERMAN);
    writeFile(folder() / "Deutsch.old.xml", GERMAN);
    writeFile(folder() / "Francais.xml", "<language/>");
    Dictionary::startup(localeFolder(), L"deutsch");
    EXPECT_FALSE(Dictionary::isLoaded());
    EXPECT_EQ(tr("Cancel"), L"Cancel");
    auto languages = Dictionary::getLanguages();
    std::sort(languages.begin(), languages.end());
    EXPECT_EQ(languages, (std::vector<std::wstring>{L"Deutsch", L"Deutsch", L"Francais"}));

    Dictionary::startup(localeFolder(), L"");
    EXPECT_FALSE(Dictionary::isLoaded()) << "no language chosen: English";
    EXPECT_EQ(Dictionary::getLanguages().size(), 3u) << "the list is still complete";
}

TEST_F(DictionaryTest, UnreadableFilesLeaveTheEnglishTexts) {
    const std::pair<const char*, std::string> files[] = {
        {"Latin1", "<language><t name=\"Error\" value=\"Fehl\xE9r\"/></language>"},  // not UTF-8
        {"NotXml", "language but not <xml"},
        {"NoWord", "<lang><t name=\"Error\" value=\"x\"/></lang>"},
        {"Utf16", std::string("<\0l\0a\0n\0g\0u\0a\0g\0e\0/\0>\0", 22)},
    };
    for (const auto& [name, bytes] : files) {
        writeFile(folder() / (std::string(name) + ".xml"), bytes);
        Dictionary::startup(localeFolder(),
                            std::wstring(name, name + std::char_traits<char>::length(name)));
        EXPECT_FALSE(Dictionary::isLoaded()) << name;
        EXPECT_EQ(tr("Error"), L"Error") << name;
    }
}

TEST_F(DictionaryTest, AMissingFolderIsCreatedAndAnUncreatableOneThrows) {
    const fs::path fresh = dir.path() / "new" / "locale";
    Dictionary::startup(fresh.wstring() + L"/", L"Deutsch");
    EXPECT_TRUE(fs::is_directory(fresh));
    EXPECT_FALSE(Dictionary::isLoaded());

    writeFile(dir.path() / "file", "x");
    EXPECT_THROW(Dictionary::startup((dir.path() / "file" / "locale").wstring() + L"/", L"x"),
                 kestra::IOStreamException);
}

}  // namespace
