#include <gtest/gtest.h>

#include "TestSupport.h"
#include "ZipBuilder.h"
#include "kestra/Exceptions.h"
#include "kestra/Log.h"
#include "update/Config.h"

using testsupport::TempDir;
using updater::Config;

namespace {

class ConfigTest : public ::testing::Test {
protected:
    void SetUp() override {
        kestra::Log::open((dir_.path() / "test.log").wstring(), kestra::LOG_INFO, 250000);
    }
    void TearDown() override { kestra::Log::close(); }

    // Parses the text; returns the exception's log line, or "" when it parsed.
    std::string parse(const std::string& text) {
        testsupport::writeFile(file(), text);
        try {
            config_.parsConfig(file().wstring());
        } catch (const kestra::UpdateException& e) {
            EXPECT_EQ(e.place(), "Process update");
            return e.condition();
        }
        return std::string();
    }
    std::filesystem::path file() const { return dir_.path() / "updateConfig.xml"; }
    std::string log() const { return testsupport::readFile(dir_.path() / "test.log"); }

    TempDir dir_;
    Config config_;
};

}  // namespace

TEST_F(ConfigTest, ReadsNameProgramAndFilesInNameOrder) {
    ASSERT_EQ(parse(updatetest::updateConfig(
                  {{"Lumora", "%CE1%\\%AppName%\\"}, {"locale\\de.xml", "%CE19%\\Lumora"}},
                  "post.sh", "Lumora 2")),
              "");
    EXPECT_EQ(config_.appName(), L"Lumora 2");
    EXPECT_EQ(config_.exeName(), L"post.sh");
    ASSERT_EQ(config_.files().size(), 2U);
    auto it = config_.files().begin();
    EXPECT_EQ(it->first, L"Lumora");
    EXPECT_EQ(it->second, L"%CE1%\\%AppName%\\");
    ++it;
    EXPECT_EQ(it->first, L"locale/de.xml");
    EXPECT_EQ(it->second, L"%CE19%\\Lumora");
}

TEST_F(ConfigTest, AnyChildOfFilesWithAValueCountsAndOthersAreSkipped) {
    ASSERT_EQ(parse("<update><appName>L</appName><files>text<!-- c -->"
                    "<a value=\"x\"><path>/p</path></a><b><path>/q</path></b>"
                    "<c value=\"y\"><path>/r</path></c></files></update>"),
              "");
    ASSERT_EQ(config_.files().size(), 2U);
    EXPECT_EQ(config_.files().at(L"x"), L"/p");
    EXPECT_EQ(config_.files().at(L"y"), L"/r");
    EXPECT_EQ(config_.exeName(), L"");
    EXPECT_NE(log().find("[INFO] Config::parsConfig no exeName."), std::string::npos);
}

TEST_F(ConfigTest, EmptyFileListIsOnlyNoted) {
    ASSERT_EQ(parse("<update><appName>L</appName><files/></update>"), "");
    EXPECT_TRUE(config_.files().empty());
    EXPECT_NE(log().find("[INFO] Config::parsConfig no files to update."), std::string::npos);
}

TEST_F(ConfigTest, BadConfigurationsAreRefusedWithTheirLogLine) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"", "Config::parsConfig: tag update not found."},
        {"<html><body>Not found</body></html>", "Config::parsConfig: tag update not found."},
        {"<update><appName>L</appName>", "Config::parsConfig: loadXML error."},
        {"<!-- update -->", "Config::parsConfig: get_documentElement error."},
        {"<update><files/></update>", "Config::parsConfig no appName."},
        {"<update><appName>L</appName></update>",
         "getListVariant: parent->get_childNodes(&nodelist);"},
        {"<update><appName>L</appName><files><f value=\"a\"/></files></update>",
         "getChildEllementByName: no path for file;"},
        {"<update><appName>L</appName><files><f value=\"a\"><path/></f></files></update>",
         "getChildEllementByName: no path for file; bstrVal == NULL;"},
        {"<update><appName>L</appName><files><f value=\"..\\\"><path>/x</path></f></files>"
         "</update>",
         "Config::parsConfig: no file name in \"..\\\"."},
    };
    for (const auto& [text, line] : cases) {
        EXPECT_EQ(parse(text), line) << text;
        EXPECT_NE(log().find("[ERROR] " + line), std::string::npos) << line;
    }
}

TEST_F(ConfigTest, MissingFileIsRefused) {
    EXPECT_THROW(config_.parsConfig((dir_.path() / "none.xml").wstring()), kestra::UpdateException);
    EXPECT_NE(log().find("[ERROR] Config::parsConfig, 0 == GetFileAttributes(localeFolder)"),
              std::string::npos);
}

TEST_F(ConfigTest, FileNamesThatClimbOutAreKeptInside) {
    ASSERT_EQ(parse(updatetest::updateConfig({{"..\\..\\evil", "/x"}, {"/etc/passwd", "/y"}},
                                             "../../bin/sh")),
              "");
    EXPECT_EQ(config_.files().count(L"evil"), 1U);
    EXPECT_EQ(config_.files().count(L"etc/passwd"), 1U);
    EXPECT_EQ(config_.exeName(), L"bin/sh");
}
