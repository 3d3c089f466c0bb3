#include "client/contacts/ChatHistory.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <ctime>
#include <thread>

#include "ContactsFixture.h"
#include "kestra/Exceptions.h"

using testsupport::readFile;
using testsupport::writeFile;

namespace {

// A clock that stands still until the test moves it.
class ManualClock : public kestra::IClock {
public:
    std::int64_t monotonicMs() const override { return 0; }
    std::time_t now() const override { return now_; }
    void sleepMs(unsigned int milliseconds) override { now_ += milliseconds / 1000; }
    void set(int year, int month, int day, int hour, int minute, int second) {
        std::tm t{};
        t.tm_year = year - 1900;
        t.tm_mon = month - 1;
        t.tm_mday = day;
        t.tm_hour = hour;
        t.tm_min = minute;
        t.tm_sec = second;
        t.tm_isdst = -1;
        now_ = std::mktime(&t);
    }
    void advance(int seconds) { now_ += seconds; }

private:
    std::time_t now_ = 0;
};

class ChatHistoryTest : public ContactsFixture {
protected:
    std::wstring index() const { return text(".dateindexfile"); }
    std::wstring messages() const { return text(".messagefile"); }
    std::wstring text(const char* file) const {
        const std::string bytes = readFile(folderOf(JID) / file);
        std::wstring out;
        for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
            out.push_back(static_cast<unsigned char>(bytes[i]) |
                          (static_cast<unsigned char>(bytes[i + 1]) << 8));
        }
        return out;
    }
    void add(const std::wstring& message, ChatHistory::MessageType type) {
        ChatHistory::addMessageNow(name, message, type, lock, clock);
    }
    std::vector<std::wstring> all() {
        std::vector<std::wstring> list;
        ChatHistory::loadAllDays(name, list, lock);
        return list;
    }

    const std::wstring JID = L"77@localhost";
    const std::wstring name = LumoraContact::hashContactName(JID);
    kestra::Mutex lock;
    ManualClock clock;
};

TEST_F(ChatHistoryTest, FirstMessageCreatesTheFilesAndItsDayLine) {
    clock.set(2026, 12, 6, 9, 5, 7);
    add(L"Hello there, how are you?", ChatHistory::RECEIVED);  // 1 + 8 + 25 = 34 characters
    EXPECT_EQ(index(), L"06.12.2026 0-68");
    EXPECT_EQ(messages(), std::wstring(1, L'\0') + L"09:05:07Hello there, how are you?");
}

TEST_F(ChatHistoryTest, SameDayRewritesTheEndAndANewDayStartsWhereTheLastEnded) {
    clock.set(2026, 12, 6, 23, 59, 50);
    add(L"a", ChatHistory::SENT);  // 10 characters, 20 bytes
    add(L"bb", ChatHistory::RECEIVED);
    EXPECT_EQ(index(), L"06.12.2026 0-42");
    for (int i = 0; i < 5; ++i) {
        add(L"ccc", ChatHistory::SENT);  // 12 characters each: the end grows past 99
    }
    EXPECT_EQ(index(), L"06.12.2026 0-162");

    clock.advance(15);  // past midnight
    add(L"next day", ChatHistory::RECEIVED);
    EXPECT_EQ(index(), L"06.12.2026 0-162\n07.12.2026 162-196");

    const std::vector<std::wstring> list = all();
    ASSERT_EQ(list.size(), 10u);
    EXPECT_EQ(list[0], L"406.12.2026");
    EXPECT_EQ(list[1], L"123:59:50a");
    EXPECT_EQ(list[2], L"023:59:50bb");
    EXPECT_EQ(list[8], L"407.12.2026");
    EXPECT_EQ(list[9], L"000:00:05next day");
}

TEST_F(ChatHistoryTest, LastDayKeepsOnlyTheLatestRecords) {
    clock.set(2026, 5, 1, 12, 0, 0);
    add(L"yesterday", ChatHistory::SENT);
    clock.set(2026, 5, 2, 8, 0, 0);
    for (int i = 0; i < 15; ++i) {
        add(L"m" + std::to_wstring(i), i % 2 ? ChatHistory::SENT : ChatHistory::RECEIVED);
        clock.advance(1);
    }
    std::vector<std::wstring> list;
    ChatHistory::loadLastDay(name, list, 10, lock);
    ASSERT_EQ(list.size(), 11u);
    EXPECT_EQ(list[0], L"402.05.2026");
    EXPECT_EQ(list[1], L"108:00:05m5");
    EXPECT_EQ(list[10], L"008:00:14m14");
}

TEST_F(ChatHistoryTest, CharactersBeyondTheBmpCountAsTwo) {
    clock.set(2026, 1, 2, 3, 4, 5);
    add(L"\U0001F600", ChatHistory::SENT);  // 1 + 8 + 2 units
    EXPECT_EQ(index(), L"02.01.2026 0-22");
    EXPECT_EQ(all().back(), L"103:04:05\U0001F600");
}

TEST_F(ChatHistoryTest, DamagedIndexLinesAreSkippedAndShortFilesReadWhatTheyHold) {
    clock.set(2026, 3, 3, 10, 0, 0);
    add(L"first", ChatHistory::RECEIVED);  // 14 characters: 0-28
    const std::string good = readFile(folderOf(JID) / ".dateindexfile");
    writeFile(folderOf(JID) / ".dateindexfile",
              good + utf16le(u"\n04.03.2026 no dash\n05.03.2026 28-9999\n06.03.2026 4"));

    const std::vector<std::wstring> list = all();
    ASSERT_EQ(list.size(), 3u) << "the day beyond the file shows empty";
    EXPECT_EQ(list[1], L"010:00:00first");
    EXPECT_EQ(list[2], L"405.03.2026");
    EXPECT_TRUE(logged("unreadable index line \"04.03.2026 no dash\""));
    EXPECT_TRUE(logged("unreadable index line \"06.03.2026 4\""));

    // The damaged last line is not rewritten in place; the new day gets a line of its own.
    clock.set(2026, 3, 6, 11, 0, 0);
    add(L"x", ChatHistory::SENT);
    EXPECT_EQ(index().substr(index().rfind(L'\n') + 1), L"06.03.2026 9999-10019");
}

TEST_F(ChatHistoryTest, MissingFilesGiveEmptyListsAndEmptyNamesAreRefused) {
    EXPECT_TRUE(all().empty());
    std::vector<std::wstring> list;
    ChatHistory::loadLastDay(name, list, 10, lock);
    EXPECT_TRUE(list.empty());
    EXPECT_EQ(ChatHistory::returnStringOffSet(name, 0, 0), L"");
    EXPECT_THROW(ChatHistory::returnStringOffSet(name, 0, 10), kestra::IOStreamException);
    EXPECT_TRUE(logged("[ERROR] ChatHistory::returnStringOffSet : input_file.fail()"));
    try {
        ChatHistory::addMessage(L"", L"01.01.2026", L"00:00:00x", ChatHistory::SENT, lock);
        FAIL() << "an empty folder name is refused";
    } catch (const kestra::IOStreamException& e) {
        EXPECT_EQ(e.condition(), "0 == hashContactName.length()");
    }
}

TEST_F(ChatHistoryTest, AFailedWriteIsReportedAndLeavesBothFilesAsTheyWere) {
    clock.set(2026, 7, 7, 7, 7, 7);
    add(L"kept", ChatHistory::SENT);
    const std::wstring indexBefore = index();
    // The message file now sits on a device that is always full.
    std::filesystem::remove(folderOf(JID) / ".messagefile");
    std::filesystem::create_symlink("/dev/full", folderOf(JID) / ".messagefile");
    EXPECT_THROW(add(L"lost", ChatHistory::SENT), kestra::IOStreamException);
    EXPECT_TRUE(logged("[ERROR] ChatHistory::addMessage : output_file.fail()"));
    EXPECT_EQ(index(), indexBefore) << "the index does not count a record that was not written";
}

TEST_F(ChatHistoryTest, WritersOnTwoThreadsKeepTheIndexInStepWithTheRecords) {
    clock.set(2026, 8, 8, 8, 8, 8);
    const auto writer = [this](ChatHistory::MessageType type) {
        for (int i = 0; i < 200; ++i) {
            ChatHistory::addMessage(name, L"08.08.2026", L"08:08:08abcdef", type, lock);
        }
    };
    std::thread sent(writer, ChatHistory::SENT);
    std::thread received(writer, ChatHistory::RECEIVED);
    sent.join();
    received.join();
    EXPECT_EQ(index(), L"08.08.2026 0-12000");  // 400 records of 15 characters
    const std::vector<std::wstring> list = all();
    ASSERT_EQ(list.size(), 401u);
    EXPECT_EQ(std::count(list.begin(), list.end(), L"108:08:08abcdef"), 200);
}

}  // namespace
