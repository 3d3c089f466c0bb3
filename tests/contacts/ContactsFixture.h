#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "TestSupport.h"
#include "client/contacts/LumoraContact.h"
#include "kestra/Log.h"

// A private Jabber folder with its contacts folder, the chat host "localhost", and the log
// in the same temporary folder so that tests can read the lines written.
class ContactsFixture : public ::testing::Test {
protected:
    void SetUp() override {
        kestra::Log::open((dir.path() / "test.log").wstring(), kestra::LOG_DEBUG, 1u << 30);
        std::filesystem::create_directories(jabber());
        LumoraContact::setServiceHost(L"localhost");
        LumoraContact::setContactsFolder(jabber().wstring());
    }
    void TearDown() override { kestra::Log::close(); }

    std::filesystem::path jabber() const { return dir.path() / "Jabber"; }
    std::filesystem::path contactsDir() const { return jabber() / "Contacts"; }
    std::filesystem::path folderOf(const std::wstring& jid) const {
        return contactsDir() / std::filesystem::path(LumoraContact::hashContactName(jid));
    }
    std::filesystem::path infoFileOf(const std::wstring& jid) const {
        return folderOf(jid) / ".userinfo";
    }
    std::string log() const { return testsupport::readFile(dir.path() / "test.log"); }
    bool logged(const std::string& line) const { return log().find(line) != std::string::npos; }

    testsupport::TempDir dir;
};

// UTF-16LE bytes of a text, built by hand so that expectations do not use the code under
// test.
inline std::string utf16le(const std::u16string& text) {
    std::string bytes;
    for (char16_t c : text) {
        bytes.push_back(static_cast<char>(c & 0xFF));
        bytes.push_back(static_cast<char>(c >> 8));
    }
    return bytes;
}

// One field of a ".userinfo" line as the layout defines it: the value padded with U+0001
// up to width, then a line feed.
inline std::string paddedLine(std::u16string value, std::size_t width) {
    value.resize(width, u'\x0001');
    return utf16le(value + u"\n");
}
