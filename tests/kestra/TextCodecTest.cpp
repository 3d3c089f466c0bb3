#include <gtest/gtest.h>

#include "kestra/Lexical.h"
#include "kestra/TextCodec.h"

using namespace kestra;

namespace {

TEST(TextCodec, RoundTripsThroughUtf8AndUtf16le) {
    const std::wstring text = L"Gr\u00FC\u00DFe \u4F60\u597D \U0001F600";
    const std::string utf8 = wideToUtf8(text);
    EXPECT_EQ(utf8,
              "Gr\xC3\xBC\xC3\x9F"
              "e \xE4\xBD\xA0\xE5\xA5\xBD \xF0\x9F\x98\x80");
    EXPECT_EQ(utf8ToWide(utf8), text);
    const std::string utf16 = wideToUtf16le(text);
    EXPECT_EQ(utf16.size(), 2 * utf16Length(text));
    EXPECT_EQ(utf16Length(text), text.size() + 1) << "the emoji takes two units";
    EXPECT_EQ(utf16.substr(utf16.size() - 4), std::string("\x3D\xD8\x00\xDE", 4));
    EXPECT_EQ(utf16leToWide(utf16), text);
}

TEST(TextCodec, InvalidInputGivesEmptyText) {
    EXPECT_EQ(utf8ToWide("abc\xFF"), L"");
    EXPECT_EQ(utf8ToWide("\xC0\xAF"), L"") << "overlong form";
    EXPECT_EQ(utf8ToWide("\xE4\xBD"), L"") << "cut short";
    EXPECT_EQ(utf8ToWide("\xED\xA0\x80"), L"") << "encoded surrogate";
    EXPECT_EQ(wideToUtf8(std::wstring(1, static_cast<wchar_t>(0xD800))), "");
    EXPECT_EQ(wideToUtf16le(std::wstring(1, static_cast<wchar_t>(0x110000))), "");
    EXPECT_EQ(utf16leToWide(std::string("\x00\xD8", 2)), L"") << "lone high surrogate";
    EXPECT_EQ(utf16leToWide(std::string("\x00\xDC"
                                        "a\x00",
                                        4)),
              L"")
        << "lone low surrogate";
    EXPECT_EQ(utf16leToWide(std::string("a\x00"
                                        "b",
                                        3)),
              L"a")
        << "odd byte ignored";
}

TEST(Lexical, NumbersIgnoreTheLocaleAndKeepTheirDigits) {
    EXPECT_EQ(toNarrowText(30.5), "30.5");
    EXPECT_EQ(toNarrowText(1.0 / 3.0), "0.3333333333333333");
    EXPECT_EQ(toNarrowText(1.0f / 3.0f), "0.3333333");
    EXPECT_EQ(toText(-42), L"-42");
    EXPECT_DOUBLE_EQ(fromText<double>(L"55.75"), 55.75);
    EXPECT_EQ(fromText<int>(std::string("17")), 17);
    try {
        fromText<double>(L"12,5");
        FAIL();
    } catch (const boost::bad_lexical_cast& e) {
        EXPECT_STREQ(e.what(),
                     "bad lexical cast: source type value could not be interpreted as target");
    }
    EXPECT_THROW(fromText<int>(L"\u00E9"), boost::bad_lexical_cast);
}

}  // namespace
