// The chat window and the history window as a user meets them: real widgets offscreen over
// the real history files of a contact in the test's own folder, with a recording controller.

#include <gtest/gtest.h>

#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextBlock>
#include <QTextEdit>
#include <ctime>

#include "WindowsRig.h"
#include "client/app/ApplicationMessages.h"
#include "client/contacts/ChatHistory.h"
#include "client/contacts/UserContactProfile.h"
#include "client/gui/ChatDialog.h"
#include "client/gui/HistoryDialog.h"
#include "client/gui/MainFrame.h"
#include "kestra/Settings.h"

namespace {

// Local calendar time that the test sets.
class SetClock : public kestra::IClock {
public:
    std::int64_t monotonicMs() const override { return 0; }
    std::time_t now() const override { return now_; }
    void sleepMs(unsigned int) override {}
    void set(int year, int month, int day, int hour, int minute) {
        std::tm local{};
        local.tm_year = year - 1900;
        local.tm_mon = month - 1;
        local.tm_mday = day;
        local.tm_hour = hour;
        local.tm_min = minute;
        local.tm_isdst = -1;
        now_ = std::mktime(&local);
    }

private:
    std::time_t now_ = 0;
};

// The log's lines (its blocks), without the empty one after the last line feed.
QStringList lines(const QTextEdit& log) {
    QStringList result;
    for (QTextBlock block = log.document()->begin(); block.isValid(); block = block.next()) {
        if (!block.text().isEmpty()) {
            result << block.text();
        }
    }
    return result;
}

// The colour of the character at the offset of a line that contains the text.
QColor colourAt(const QTextEdit& log, const QString& lineText, int offset) {
    for (QTextBlock block = log.document()->begin(); block.isValid(); block = block.next()) {
        if (block.text().contains(lineText)) {
            QTextCursor cursor(block);
            cursor.setPosition(block.position() + offset + 1);
            return cursor.charFormat().foreground().color();
        }
    }
    return QColor();
}

void press(QWidget* widget, Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QTest::keyClick(widget, key, modifiers);
}

// Every record of the contact's history, as the history files give them back.
std::vector<std::wstring> stored(LumoraContact& contact) {
    std::vector<std::wstring> entries;
    ChatHistory::loadAllDays(contact.getHashContactName(), entries, contact.getLock());
    return entries;
}

class ChatWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        anna = rig.addContact(L"100001", L"Anna", LumoraContact::STATUS_ONLINE);
        profile.setJidFromText(L"100009@localhost");
        profile.setNick(L"Me");
        rig.controller.profile = &profile;
        ASSERT_TRUE(rig.create());
    }

    WindowsRig rig;
    UserContactProfile profile;
    std::shared_ptr<LumoraContact> anna;
    SetClock clock;
};

TEST_F(ChatWindowTest, LinesTheirColoursTheHistoryAndTheLastDayOnOpening) {
    // Yesterday (the 7th) twelve records; the window shows the latest ten with the day.
    kestra::Settings::setStringValue(L"language", L"English");
    for (int i = 0; i < 12; ++i) {
        wchar_t time[16];
        std::swprintf(time, 16, L"21:%02d:00", i);
        ChatHistory::addMessage(anna->getHashContactName(), L"07.12.2026",
                                time + std::wstring(L"old ") + std::to_wstring(i),
                                i % 2 ? ChatHistory::SENT : ChatHistory::RECEIVED, anna->getLock());
    }
    clock.set(2026, 12, 8, 9, 5);
    ChatDialog chat(rig.controller, anna, &rig.frame(), clock);
    QStringList shown = lines(*chat.log());
    ASSERT_EQ(shown.size(), 10);
    EXPECT_EQ(shown.front(), "Anna (21:02 12/07/26) old 2");
    EXPECT_EQ(shown.back(), "Me (21:11 12/07/26) old 11");
    EXPECT_EQ(chat.windowTitle(), "Anna");

    // A received line at five past nine, a status change at the same moment, a bounce.
    chat.addChatMessage(L"hello", false);
    chat.contactStatusChanged(LumoraContact::STATUS_UNAVAILABLE);
    chat.addChatMessage(L"Message \"x\" isn't delivered.", true);
    shown = lines(*chat.log());
    EXPECT_EQ(shown.at(10), "Anna (09:05) hello");
    EXPECT_EQ(shown.at(11), " (9:05) Anna changed status to offline.");
    EXPECT_EQ(shown.at(12), " (09:05) Message \"x\" isn't delivered.");
    EXPECT_EQ(colourAt(*chat.log(), "hello", 0), ChatDialog::RECEIVED.name);
    EXPECT_EQ(colourAt(*chat.log(), "hello", 6), ChatDialog::RECEIVED.time);
    EXPECT_EQ(colourAt(*chat.log(), "hello", 14), ChatDialog::RECEIVED.text);
    EXPECT_EQ(colourAt(*chat.log(), "changed status", 3), ChatDialog::NOTICE.time);
    EXPECT_EQ(colourAt(*chat.log(), "changed status", 10), ChatDialog::NOTICE.text);

    // Offline: Enter sends, the notice follows with the same time; Shift+Enter is a new
    // line; an empty box sends nothing.
    profile.setStatus(LumoraContact::STATUS_OFFLINE);
    chat.show();
    QTest::keyClicks(chat.input(), "first");
    press(chat.input(), Qt::Key_Return, Qt::ShiftModifier);
    QTest::keyClicks(chat.input(), "second");
    press(chat.input(), Qt::Key_Return);
    EXPECT_TRUE(chat.input()->toPlainText().isEmpty());
    shown = lines(*chat.log());
    EXPECT_EQ(shown.at(13), "Me (09:05) first");
    EXPECT_EQ(shown.at(14), "second");
    EXPECT_EQ(shown.at(15), " (09:05) No connection.");
    EXPECT_EQ(colourAt(*chat.log(), "Me (09:05) first", 0), ChatDialog::SENT.name);
    EXPECT_EQ(rig.controller.count("sendChatMessage(first\nsecond, 100001@localhost)"), 1);
    const int before = static_cast<int>(lines(*chat.log()).size());
    QTest::mouseClick(chat.sendButton(), Qt::LeftButton);
    press(chat.input(), Qt::Key_Return);
    EXPECT_EQ(lines(*chat.log()).size(), before) << "an empty box changes nothing";
    EXPECT_EQ(rig.controller.count("sendChatMessage("), 1);

    // Online: no notice. Bad input: very long, control characters, right-to-left.
    profile.setStatus(LumoraContact::STATUS_ONLINE);
    const std::wstring longText(100000, L'x');
    chat.input()->setPlainText(QString::fromStdWString(longText));
    chat.sendMessage();
    chat.addChatMessage(std::wstring(L"a\x01"
                                     L"b\x03"
                                     L"c\x1b"
                                     L"d"),
                        false);
    chat.addChatMessage(L"\x05E9\x05DC\x05D5\x05DD world", false);
    EXPECT_EQ(lines(*chat.log()).size(), before + 3) << "no notice while online";

    // Everything sent or received is stored, in order; notices and status lines are not.
    const std::vector<std::wstring> entries = stored(*anna);
    ASSERT_EQ(entries.size(), 1 + 12 + 1 + 5u);
    EXPECT_EQ(entries.at(13), L"408.12.2026");
    EXPECT_EQ(entries.at(14), L"009:05:00hello");
    EXPECT_EQ(entries.at(15), L"109:05:00first\nsecond");
    EXPECT_EQ(entries.at(16), L"109:05:00" + longText);
    EXPECT_EQ(entries.at(17),
              L"009:05:00a\xFFFD"
              L"b\xFFFD"
              L"c\xFFFD"
              L"d")
        << "a control character would split the record";
    EXPECT_EQ(entries.at(18), L"009:05:00\x05E9\x05DC\x05D5\x05DD world");

    // Reopened the same day: today's latest records without a date, no notice.
    ChatDialog again(rig.controller, anna, &rig.frame(), clock);
    shown = lines(*again.log());
    ASSERT_EQ(shown.size(), 6) << "five records, the first with two lines";
    EXPECT_EQ(shown.at(0), "Anna (09:05) hello");
    EXPECT_TRUE(shown.at(3).endsWith(QString(100, 'x')));
    EXPECT_FALSE(shown.join('\n').contains("No connection."));
    EXPECT_FALSE(shown.join('\n').contains("changed status"));

    // The buttons ask the controller for the contact's details and history.
    QTest::mouseClick(again.detailsButton(), Qt::LeftButton);
    QTest::mouseClick(again.historyButton(), Qt::LeftButton);
    const kestra::ThreadMessage* details = rig.controller.lastPosted(UM_SHOW_CONTACT_DETAILS);
    const kestra::ThreadMessage* history = rig.controller.lastPosted(UM_SHOW_HISTORY);
    ASSERT_NE(details, nullptr);
    ASSERT_NE(history, nullptr);
    EXPECT_EQ(details->wParam, 0);
    EXPECT_EQ(*history->payloadAs<std::shared_ptr<LumoraContact>>(), anna);
}

TEST_F(ChatWindowTest, AnotherLanguageWritesTheDayFirst) {
    kestra::Settings::setStringValue(L"language", L"German");
    ChatHistory::addMessage(anna->getHashContactName(), L"07.12.2026", L"08:01:00guten Morgen",
                            ChatHistory::RECEIVED, anna->getLock());
    clock.set(2026, 12, 8, 10, 0);
    ChatDialog chat(rig.controller, anna, &rig.frame(), clock);
    EXPECT_EQ(lines(*chat.log()), QStringList{"Anna (08:01 07/12/26) guten Morgen"});
    HistoryDialog history(rig.controller, &rig.frame());
    history.setHistory(anna);
    EXPECT_EQ(lines(*history.log()), QStringList{"Anna (08:01 07/12/26) guten Morgen"});
}

TEST_F(ChatWindowTest, HistoryShowsEveryDayAndTheSearchMarksAndCycles) {
    HistoryDialog history(rig.controller, &rig.frame());
    history.setHistory(anna);
    EXPECT_EQ(lines(*history.log()), QStringList{"Me No history."});
    EXPECT_EQ(colourAt(*history.log(), "No history.", 0), HistoryDialog::USER_COLOUR);

    ChatHistory::addMessage(anna->getHashContactName(), L"06.12.2026", L"10:00:00where is the map?",
                            ChatHistory::RECEIVED, anna->getLock());
    ChatHistory::addMessage(anna->getHashContactName(), L"06.12.2026", L"10:01:00the map is here",
                            ChatHistory::SENT, anna->getLock());
    ChatHistory::addMessage(anna->getHashContactName(), L"08.12.2026", L"07:30:00new map, MAP!",
                            ChatHistory::RECEIVED, anna->getLock());
    history.setHistory(anna);
    EXPECT_EQ(lines(*history.log()), (QStringList{"Anna (10:00 12/06/26) where is the map?",
                                                  "Me (10:01 12/06/26) the map is here",
                                                  "Anna (07:30 12/08/26) new map, MAP!"}));
    EXPECT_EQ(colourAt(*history.log(), "where", 1), HistoryDialog::CONTACT_COLOUR);
    EXPECT_EQ(colourAt(*history.log(), "the map is here", 1), HistoryDialog::USER_COLOUR);
    EXPECT_EQ(colourAt(*history.log(), "the map is here", 25), QColor(0, 0, 0));

    // "map" four times (the search ignores case): the first yellow, the others light blue.
    history.searchBox()->setText("map");
    QTest::mouseClick(history.searchButton(), Qt::LeftButton);
    ASSERT_EQ(history.matchCount(), 4);
    auto colours = [&] {
        std::vector<QColor> result;
        for (const auto& mark : history.log()->extraSelections()) {
            result.push_back(mark.format.background().color());
        }
        return result;
    };
    auto yellowAt = [&] {
        for (const auto& mark : history.log()->extraSelections()) {
            if (mark.format.background().color() == HistoryDialog::CURRENT_MATCH_COLOUR) {
                return mark.cursor.selectionStart();
            }
        }
        return -1;
    };
    std::vector<QColor> marks = colours();
    ASSERT_EQ(marks.size(), 4u);
    EXPECT_EQ(std::count(marks.begin(), marks.end(), HistoryDialog::MATCH_COLOUR), 3);
    const int first = yellowAt();
    EXPECT_EQ(first, history.log()->toPlainText().indexOf("map"));
    std::vector<int> visited{first};
    for (int press = 0; press < 4; ++press) {
        QTest::mouseClick(history.searchButton(), Qt::LeftButton);
        visited.push_back(yellowAt());
        EXPECT_EQ(colours().size(), 4u);
    }
    EXPECT_LT(visited[0], visited[1]);
    EXPECT_LT(visited[1], visited[2]);
    EXPECT_LT(visited[2], visited[3]);
    EXPECT_EQ(visited[4], first) << "the fourth press comes back to the first";

    // A new word starts again; an empty box removes every mark.
    history.searchBox()->setText("where");
    QTest::mouseClick(history.searchButton(), Qt::LeftButton);
    EXPECT_EQ(history.matchCount(), 1);
    history.searchBox()->clear();
    QTest::mouseClick(history.searchButton(), Qt::LeftButton);
    EXPECT_TRUE(history.log()->extraSelections().isEmpty());
    EXPECT_EQ(history.currentMatchStart(), -1);
}

// The windows as the program makes them: the factory's chat window behind its proxy takes
// queued lines, and the history window comes through the controller's message.
TEST_F(ChatWindowTest, ScreenshotsOfAConversationAndItsHistory) {
    rig.frame().resize(720, 540);
    clock.set(2026, 12, 8, 9, 5);
    ChatHistory::addMessage(anna->getHashContactName(), L"07.12.2026",
                            L"18:40:00Are you coming to the market tomorrow?",
                            ChatHistory::RECEIVED, anna->getLock());
    ChatHistory::addMessage(anna->getHashContactName(), L"07.12.2026",
                            L"18:42:00Yes, I'll meet you at the market gate.", ChatHistory::SENT,
                            anna->getLock());
    ChatDialog chat(rig.controller, anna, &rig.frame(), clock);
    chat.addChatMessage(L"Good morning! I'm at the market now.", false);
    profile.setStatus(LumoraContact::STATUS_OFFLINE);
    chat.input()->setPlainText("On my way, ten minutes.");
    chat.sendMessage();
    chat.contactStatusChanged(LumoraContact::STATUS_AWAY);
    chat.addChatMessage(L"Message \"See you at the gate\" isn't delivered.", true);
    chat.input()->setPlainText("Shall I bring the map?");
    chat.show();
    QTest::qWait(50);
    ASSERT_TRUE(WindowsRig::saveScreenshot(chat.grab().toImage(), "chat-window.png"));

    HistoryDialog history(rig.controller, &rig.frame());
    history.setHistory(anna);
    history.show();
    history.searchBox()->setText("market");
    QTest::mouseClick(history.searchButton(), Qt::LeftButton);
    QTest::mouseClick(history.searchButton(), Qt::LeftButton);
    ASSERT_EQ(history.matchCount(), 3);
    QTest::qWait(50);
    ASSERT_TRUE(WindowsRig::saveScreenshot(history.grab().toImage(), "history-window.png"));
}

}  // namespace
