#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

#include "TestSupport.h"
#include "kestra/Exceptions.h"
#include "kestra/FileSync.h"
#include "kestra/Lexical.h"
#include "kestra/Log.h"
#include "kestra/Settings.h"
#include "kestra/TextCodec.h"
#include "platform/FileSystemSync.h"

using kestra::Settings;
using testsupport::readFile;
using testsupport::TempDir;
using testsupport::writeFile;

namespace fs = std::filesystem;

namespace {

class SettingsTest : public ::testing::Test {
protected:
    void SetUp() override {
        file = dir.path() / "settings.cfg";
        kestra::Log::open((dir.path() / "test.log").wstring(), kestra::LOG_DEBUG, 1000000);
    }
    void TearDown() override {
        Settings::shutdown();
        kestra::Log::close();
    }
    // The file as text, checking on the way that it is UTF-16LE without a byte-order mark.
    std::wstring fileText() const {
        const std::string bytes = readFile(file);
        EXPECT_EQ(bytes.size() % 2, 0u);
        EXPECT_NE(bytes.substr(0, 2), std::string("\xFF\xFE"));
        return kestra::utf16leToWide(bytes);
    }
    void writeText(const std::wstring& text) { writeFile(file, kestra::wideToUtf16le(text)); }
    std::string log() const { return readFile(dir.path() / "test.log"); }

    TempDir dir;
    fs::path file;
};

TEST_F(SettingsTest, FirstStartCreatesTheFileWithAnEmptyRoot) {
    Settings::startup(file.wstring());
    EXPECT_TRUE(Settings::isReady());
    EXPECT_EQ(readFile(file), kestra::wideToUtf16le(L"<settings/>"));
    EXPECT_FALSE(fs::exists(file.string() + "tmp"));
    EXPECT_EQ(fs::status(file).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);
}

TEST_F(SettingsTest, KeysMapToGroupsItemsAndGlobal) {
    Settings::startup(file.wstring());
    EXPECT_TRUE(Settings::setIntValue(L"maps.loaderName", 0));
    EXPECT_TRUE(Settings::setIntValue(L"lastZoom", 5));
    EXPECT_TRUE(Settings::setStringValue(L"userLastViewCoordlat.deg", L"55"));
    EXPECT_TRUE(Settings::setStringValue(L"a.b.c", L"two dots"));
    Settings::flush();
    EXPECT_EQ(fileText(),
              L"<settings><group name=\"maps\"><item name=\"loaderName\" value=\"0\"/></group>"
              L"<global><item name=\"lastZoom\" value=\"5\"/></global>"
              L"<group name=\"userLastViewCoordlat\"><item name=\"deg\" value=\"55\"/></group>"
              L"<group name=\"a\"><item name=\"b.c\" value=\"two dots\"/></group></settings>");
    // Replacing a value changes the item in place.
    EXPECT_TRUE(Settings::setIntValue(L"lastZoom", 7));
    EXPECT_EQ(Settings::getIntValue(L"lastZoom", 0), 7);
    EXPECT_EQ(Settings::getStringValue(L"a.b.c"), L"two dots");
    EXPECT_EQ(Settings::getStringValue(L"a"), L"") << "names are not prefixes";
    EXPECT_FALSE(Settings::getStringValue(L"Maps.loaderName", nullptr)) << "case-sensitive";
}

TEST_F(SettingsTest, TypedValuesAndMissingKeys) {
    Settings::startup(file.wstring());
    Settings::setDoubleValue(L"pos.min", 30.5);
    Settings::setStringValue(L"pos.text", L"abc");
    double d = 0;
    EXPECT_TRUE(Settings::getDoubleValue(L"pos.min", &d));
    EXPECT_DOUBLE_EQ(d, 30.5);
    EXPECT_EQ(Settings::getStringValue(L"pos.min"), L"30.5");
    int n = 3;
    EXPECT_FALSE(Settings::getIntValue(L"missing.key", &n));
    EXPECT_EQ(n, 3);
    EXPECT_EQ(Settings::getIntValue(L"missing.key", 7), 7);
    EXPECT_FALSE(Settings::getIntValue(L"pos.text", &n)) << "not a number";
    EXPECT_EQ(Settings::getIntValue(L"pos.min", 0), 30) << "decimals are rounded (to even)";
    EXPECT_THROW(Settings::getDoubleValue(L"pos.text", &d), boost::bad_lexical_cast);
    Settings::flush();
    EXPECT_EQ(fileText().find(L"missing"), std::wstring::npos) << "reading creates nothing";
}

TEST_F(SettingsTest, ListsAreItemsWithOneName) {
    Settings::startup(file.wstring());
    Settings::addStringValue(L"user.contactstodelete", L"1001@localhost");
    Settings::addStringValue(L"user.contactstodelete", L"1002@localhost");
    Settings::setStringValue(L"user.lumoraid", L"1000");
    Settings::flush();
    EXPECT_NE(fileText().find(L"<item name=\"contactstodelete\" value=\"1001@localhost\"/>"
                              L"<item name=\"contactstodelete\" value=\"1002@localhost\"/>"),
              std::wstring::npos);
    const auto list = Settings::getListStringValue(L"user.contactstodelete");
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[1], L"1002@localhost");
    EXPECT_EQ(Settings::removeListVariant(L"user.contactstodelete"), 2);
    EXPECT_TRUE(Settings::getListStringValue(L"user.contactstodelete").empty());
    EXPECT_EQ(Settings::getStringValue(L"user.lumoraid"), L"1000") << "others untouched";
    EXPECT_EQ(Settings::removeListVariant(L"user.contactstodelete"), 0);
}

TEST_F(SettingsTest, ValuesWithMarkupAndAnyCharacterSurviveARestart) {
    const std::wstring tricky = L"a&b <c> \"d\" 'e'\nline\ttab \u00E9 \U0001F600";
    Settings::startup(file.wstring());
    Settings::setStringValue(L"user.about", tricky);
    Settings::shutdown();
    Settings::startup(file.wstring());
    EXPECT_EQ(Settings::getStringValue(L"user.about"), tricky);
}

TEST_F(SettingsTest, AllGroupsOfOneNameAreSearched) {
    writeText(
        L"<settings><group name=\"g\"><item name=\"a\" value=\"1\"/></group>"
        L"<group name=\"g\"><item name=\"b\" value=\"2\"/></group></settings>");
    Settings::startup(file.wstring());
    EXPECT_EQ(Settings::getIntValue(L"g.b", 0), 2);
    Settings::setIntValue(L"g.c", 3);  // a new item goes to the first such group
    Settings::flush();
    EXPECT_NE(fileText().find(L"value=\"1\"/><item name=\"c\""), std::wstring::npos);
}

TEST_F(SettingsTest, EmptyKeyIsAnIoError) {
    Settings::startup(file.wstring());
    try {
        Settings::getStringValue(L"");
        FAIL();
    } catch (const kestra::IOStreamException& e) {
        EXPECT_EQ(e.place(), "Settings::getStringValue");
        EXPECT_STREQ(e.what(), "fullName.length() == 0");
    }
    try {
        Settings::setIntValue(L"", 1);
        FAIL();
    } catch (const kestra::IOStreamException& e) {
        EXPECT_EQ(e.place(), "Settings::setVariant");
    }
}

TEST_F(SettingsTest, SettersBeforeStartupAreRefused) {
    EXPECT_THROW(Settings::setIntValue(L"lastZoom", 1), kestra::SettingsException);
    EXPECT_NE(log().find("[ERROR] Settings::setIntValue: Settings is not ready to work. Use "
                         "startup.\n"),
              std::string::npos);
    EXPECT_THROW(Settings::flush(), kestra::SettingsException);
    EXPECT_NE(log().find("Settings::flush: config file not specified"), std::string::npos);
    // Getters have nothing to read, but must not fail.
    EXPECT_EQ(Settings::getStringValue(L"a.b"), L"");
    EXPECT_TRUE(Settings::getListStringValue(L"a.b").empty());
    EXPECT_THROW(Settings::startup(L""), kestra::SettingsException);
}

TEST_F(SettingsTest, DamagedFilesAreReportedCorrupt) {
    struct Case {
        std::string bytes;
        const char* logLine;
    };
    const Case cases[] = {
        {"", "Settings::startup: -1 == xmlContent.find('settings')."},
        {"<settings><global/></settings>", "Settings::startup: -1 == xmlContent.find('settings')."},
        {kestra::wideToUtf16le(L"<settings><group name=\"x\"><item na"),
         "Settings::startup: Corrupt config file"},
        {kestra::wideToUtf16le(L"settings, but no XML at all"),
         "Settings::startup: Corrupt config file"},
        {kestra::wideToUtf16le(L"<settings/><settings/>"),
         "Settings::startup: Corrupt config file"},
    };
    for (const Case& c : cases) {
        writeFile(file, c.bytes);
        EXPECT_THROW(Settings::startup(file.wstring()), kestra::SettingsCorruptException)
            << c.logLine;
        EXPECT_FALSE(Settings::isReady());
        EXPECT_NE(log().find(std::string("[ERROR] ") + c.logLine), std::string::npos) << c.logLine;
        EXPECT_EQ(readFile(file), c.bytes) << "a corrupt file is left for the caller to decide";
    }
}

// The two ways the settings are written: the platform's routine, which the programs
// install at start, and the standard library's, for code that runs without it.
enum class Writer { Platform, StandardLibrary };

class SettingsWriteTest : public SettingsTest, public ::testing::WithParamInterface<Writer> {
protected:
    void SetUp() override {
        SettingsTest::SetUp();
        if (GetParam() == Writer::Platform) {
            platform::installFileSync();
        }
    }
    void TearDown() override {
        SettingsTest::TearDown();
        kestra::setNewPrivateFileFunction(nullptr);
        kestra::setFileSyncFunction(nullptr);
    }
};

INSTANTIATE_TEST_SUITE_P(BothWriters, SettingsWriteTest,
                         ::testing::Values(Writer::Platform, Writer::StandardLibrary),
                         [](const ::testing::TestParamInfo<Writer>& info) {
                             return info.param == Writer::Platform ? "Platform" : "StandardLibrary";
                         });

TEST_P(SettingsWriteTest, AFailedWriteLeavesThePreviousFileByteForByteAndShutdownSaysSo) {
    Settings::startup(file.wstring());
    Settings::setStringValue(L"user.lumoraid", L"1000");
    Settings::flush();
    const std::string before = readFile(file);
    Settings::setStringValue(L"user.lumoraid", L"2000");

    // The temporary file cannot be created (a folder stands in its way).
    fs::create_directory(file.string() + "tmp");
    EXPECT_THROW(Settings::flush(), kestra::SettingsSavingException);
    EXPECT_NE(log().find("Settings::flush: config file saving error"), std::string::npos);
    EXPECT_EQ(readFile(file), before);
    fs::remove(file.string() + "tmp");

    // The disk fills up while the content is written.
    Settings::setStringValue(L"user.about", std::wstring(40000, L'a'));
    {
        testsupport::FileSizeLimit full(20000);
        EXPECT_THROW(Settings::flush(), kestra::SettingsSavingException);
    }
    EXPECT_NE(log().find("[ERROR] Settings::flush: config file content saving error"),
              std::string::npos);
    EXPECT_EQ(readFile(file), before);
    EXPECT_FALSE(fs::exists(fs::symlink_status(file.string() + "tmp")));

    // A failed final save is an ERROR and the caller learns of it.
    {
        testsupport::FileSizeLimit full(20000);
        EXPECT_FALSE(Settings::shutdown());
    }
    EXPECT_NE(log().find("[ERROR] Settings::shutdown: catch SettingsSavingException."),
              std::string::npos);
    EXPECT_EQ(readFile(file), before);
    EXPECT_FALSE(Settings::isReady());

    // The next run saves again.
    Settings::startup(file.wstring());
    Settings::setStringValue(L"user.lumoraid", L"2000");
    EXPECT_TRUE(Settings::shutdown());
    EXPECT_NE(readFile(file), before);
}

// A link at the temporary file's name (planted, or left from elsewhere) is removed, never
// written through; so is a temporary file left by an interrupted flush. The settings
// (with the password) land in a file of mode 0600 and nowhere else.
TEST_P(SettingsWriteTest, APlantedLinkOrALeftoverTemporaryFileIsNeverWrittenThrough) {
    const fs::path victim = dir.path() / "victim";
    writeFile(victim, "not yours");
    fs::permissions(victim, fs::perms(0644), fs::perm_options::replace);
    Settings::startup(file.wstring());
    Settings::setStringValue(L"user.password", L"secret");

    fs::create_symlink(victim, file.string() + "tmp");
    Settings::flush();
    EXPECT_EQ(readFile(victim), "not yours");
    EXPECT_EQ(fs::status(victim).permissions() & fs::perms::all, fs::perms(0644));
    EXPECT_FALSE(fs::is_symlink(fs::symlink_status(file)));
    EXPECT_NE(fileText().find(L"secret"), std::wstring::npos);
    EXPECT_EQ(fs::status(file).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);

    writeFile(file.string() + "tmp", "half a flush");
    Settings::setStringValue(L"user.password", L"other");
    Settings::flush();
    EXPECT_NE(fileText().find(L"other"), std::wstring::npos);
    EXPECT_FALSE(fs::exists(fs::symlink_status(file.string() + "tmp")));
}

// A file that exists but cannot be read is not a missing one: nothing replaces it (it may
// hold the only copy of the GID and password), and startup says why it failed.
TEST_F(SettingsTest, AFileThatCannotBeReadIsReportedAndNeverReplaced) {
    writeText(
        L"<settings><group name=\"user\"><item name=\"lumoraid\" value=\"1000\"/>"
        L"</group></settings>");
    const std::string content = readFile(file);
    fs::permissions(file, fs::perms::none, fs::perm_options::replace);
    {
        testsupport::NoReadOverride asOtherUser;
        EXPECT_THROW(Settings::startup(file.wstring()), kestra::SettingsReadingException);
    }
    EXPECT_FALSE(Settings::isReady());
    EXPECT_TRUE(Settings::shutdown()) << "nothing to save";
    EXPECT_NE(log().find("[ERROR] Settings::startup: the settings file " + file.string() +
                         " exists but cannot be read (Permission denied)."),
              std::string::npos)
        << log();
    fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write,
                    fs::perm_options::replace);
    EXPECT_EQ(readFile(file), content);
    EXPECT_FALSE(fs::exists(file.string() + "tmp"));

    // A folder in its place cannot be read either.
    fs::remove(file);
    fs::create_directory(file);
    EXPECT_THROW(Settings::startup(file.wstring()), kestra::SettingsReadingException);
    EXPECT_TRUE(fs::is_directory(file));
}

TEST_F(SettingsTest, ConcurrentWritersAndReadersSeeWholeValues) {
    Settings::startup(file.wstring());
    std::atomic<bool> stop{false};
    std::thread writer([&] {
        for (int i = 0; i < 2000; ++i) {
            Settings::setStringValue(L"g.k" + std::to_wstring(i % 50), std::wstring(40, L'x'));
            Settings::addStringValue(L"g.list", L"v");
            if (i % 500 == 0) {
                Settings::flush();
            }
        }
        stop = true;
    });
    while (!stop) {
        const std::wstring v = Settings::getStringValue(L"g.k7");
        EXPECT_TRUE(v.empty() || v.size() == 40u);
        Settings::getListStringValue(L"g.list");
    }
    writer.join();
    EXPECT_EQ(Settings::removeListVariant(L"g.list"), 2000);
}

}  // namespace
