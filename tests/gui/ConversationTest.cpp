// Conversations end to end with real parts: the private ejabberd, the service's "getid/"
// endpoint, the program's real controller, session and windows (offscreen) in this process,
// a second real client program beside it, and an independent XMPP user (slixmpp) so that a
// wire format that both of our sides got wrong the same way cannot pass.

#include <gtest/gtest.h>

#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTextBlock>
#include <QTextEdit>
#include <filesystem>
#include <fstream>
#include <future>
#include <sstream>

#include "ClientProcess.h"
#include "LumoraService.h"
#include "XmppTestServer.h"
#include "client/app/ApplicationManager.h"
#include "client/app/ApplicationMessages.h"
#include "client/app/AuthorizationRequest.h"
#include "client/contacts/ChatHistory.h"
#include "client/gui/ChatDialog.h"
#include "client/gui/GuiFactory.h"
#include "client/gui/HistoryDialog.h"
#include "client/gui/MainFrame.h"
#include "client/gui/QtGuiThread.h"
#include "client/messaging/ChatServer.h"
#include "kestra/Log.h"
#include "kestra/Settings.h"
#include "kestra/TextCodec.h"

namespace fs = std::filesystem;
using kestra::Settings;

namespace {

constexpr int WAIT_MS = 60000;  // only so that a broken test cannot hang

bool eventually(const std::function<bool()>& condition) {
    return QTest::qWaitFor(condition, WAIT_MS);
}

QString logText(const QTextEdit& log) {
    return log.toPlainText();
}

// A JSON string literal written as Python's json module writes one (ensure_ascii off), so that
// the peer's lines can be searched for it; the peer also reads its commands as JSON lines.
std::string json(const std::wstring& text) {
    std::string result = "\"";
    for (const wchar_t c : text) {
        if (c == L'"' || c == L'\\') {
            result += '\\';
            result += static_cast<char>(c);
        } else if (c == L'\n') {
            result += "\\n";
        } else if (c == L'\r') {
            result += "\\r";
        } else if (c == L'\t') {
            result += "\\t";
        } else if (c == L'\b') {
            result += "\\b";
        } else if (c == L'\f') {
            result += "\\f";
        } else if (c < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
            result += escaped;
        } else {
            result += kestra::wideToUtf8(std::wstring(1, c));
        }
    }
    return result + "\"";
}

// The independent user: tests/gui/chat_peer.py, steered through a command file and heard
// through the lines it writes.
class Peer {
public:
    Peer() : user(XmppTestServer::newUserName()), jid(user + "@localhost") {
        const fs::path script = testsupport::sourceDir() / "tests/gui/chat_peer.py";
        const auto& server = XmppTestServer::instance();
        started_ = process_.start("/usr/bin/python3",
                                  {script.string(), std::to_string(server.port()), server.caFile(),
                                   jid, "peer-secret", out().string(), commands().string()},
                                  {{"PYTHONDONTWRITEBYTECODE", "1"}});
    }
    ~Peer() {
        command("{\"quit\": true}");
        int code = 0;
        process_.waitExit(10000, code);
    }
    bool ready() {
        return started_ &&
               eventually([&] { return heard().find("\"ready\"") != std::string::npos; });
    }
    void send(const std::string& to, const std::wstring& body, const std::string& type = "chat") {
        command("{\"send\": \"" + to + "\", \"body\": " + json(body) + ", \"type\": \"" + type +
                "\"}");
    }
    void sendWithoutBody(const std::string& to) {
        command("{\"bare\": \"" + to +
                "\", \"xml\": \"<active xmlns='http://jabber.org/protocol/chatstates'/>\"}");
    }
    // Everything the peer wrote so far.
    std::string heard() const { return testsupport::readFile(out()); }
    bool heardBody(const std::wstring& body) const {
        return heard().find("\"body\": " + json(body) + "}") != std::string::npos;
    }

    std::string user;
    std::string jid;

private:
    fs::path out() const { return dir_.path() / "out.jsonl"; }
    fs::path commands() const { return dir_.path() / "commands.jsonl"; }
    void command(const std::string& line) {
        std::ofstream file(commands(), std::ios::app);
        file << line << "\n";
    }

    testsupport::TempDir dir_;
    testsupport::ChildProcess process_;
    bool started_ = false;
};

// One run of the program in this process: the real controller with the real session on a
// thread of its own, the GUI loop here.
class ProgramRun {
public:
    ProgramRun() : manager_(gui_, factory_) {
        result_ = std::async(std::launch::async, [this] { return manager_.runApplication(); });
    }
    ~ProgramRun() {
        if (result_.valid()) {
            quit();
        }
    }
    bool online() {
        return eventually([&] {
            return frame() != nullptr && frame()->shownStatus() == LumoraContact::STATUS_ONLINE;
        });
    }
    int quit() {
        manager_.quit();
        gui_.exec();
        manager_.onGuiThreadEnded();
        return result_.get();
    }
    MainFrame* frame() const { return factory_.mainFrame(); }
    ApplicationManager& manager() { return manager_; }
    std::wstring ownJid() { return manager_.getUserContactProfile()->getJid(); }

    // Opens the chat with the JID as the contact list does, and waits for its window.
    ChatDialog* openChat(const std::string& jid) {
        const std::wstring wide = kestra::utf8ToWide(jid);
        auto contact = manager_.findContact(wide);
        if (!contact) {
            contact =
                std::make_shared<LumoraContact>(wide, L"", L"", L"", L"", 2, 0, 0, 0, 0, false);
        }
        manager_.postMessage(UM_OPEN_CHAT, 0, 0, kestra::makePayload(contact));
        ChatDialog* found = nullptr;
        eventually([&] {
            found = chatOf(wide);
            return found != nullptr && found->isVisible();
        });
        return found;
    }
    ChatDialog* chatOf(const std::wstring& jid) const {
        if (frame() == nullptr) {
            return nullptr;
        }
        for (ChatDialog* chat : frame()->findChildren<ChatDialog*>()) {
            if (chat->contact() && chat->contact()->getJid() == jid) {
                return chat;
            }
        }
        return nullptr;
    }
    void type(ChatDialog& chat, const QString& text) {
        chat.input()->setPlainText(text);
        QTest::keyClick(chat.input(), Qt::Key_Return);
    }

private:
    QtGuiThread gui_{*qApp};
    GuiFactory factory_{gui_};
    ApplicationManager manager_;
    std::future<int> result_;
};

class ConversationTest : public ::testing::Test {
protected:
    void SetUp() override {
        service.setNextGid(std::stoll(XmppTestServer::newUserName()) * 10);
        kestra::Log::open((dir.path() / "lumora.log").wstring(), kestra::LOG_DEBUG, 10000000);
        startSettings();
        LumoraContact::setContactsFolder((dir.path() / "Jabber").wstring() + L"/");
    }
    void TearDown() override {
        if (Settings::isReady()) {
            Settings::shutdown();
        }
        kestra::Log::close();
        CHAT_HOST = DEFAULT_CHAT_HOST;
        CHAT_PORT = DEFAULT_CHAT_PORT;
    }
    void startSettings() {
        Settings::startup((dir.path() / "settings.cfg").wstring());
        const auto& server = XmppTestServer::instance();
        Settings::setStringValue(L"lumoraServer.host", L"localhost");
        Settings::setIntValue(L"lumoraServer.port", server.port());
        Settings::setStringValue(L"lumoraServer.cafile", kestra::utf8ToWide(server.caFile()));
        Settings::setStringValue(L"lumoraServer.webRoot", kestra::utf8ToWide(service.root()));
    }
    std::string log() const { return testsupport::readFile(dir.path() / "lumora.log"); }
    std::vector<std::wstring> history(ProgramRun& run, const std::string& jid) {
        std::vector<std::wstring> entries;
        auto contact = run.manager().findContact(kestra::utf8ToWide(jid));
        if (contact) {
            ChatHistory::loadAllDays(contact->getHashContactName(), entries, contact->getLock());
        }
        return entries;
    }
    static int count(const std::vector<std::wstring>& entries, const std::wstring& record) {
        int n = 0;
        for (const auto& entry : entries) {
            n += entry.size() > 9 && entry.substr(9) == record ? 1 : 0;
        }
        return n;
    }

    fixture::LumoraService service;
    testsupport::TempDir dir;
};

TEST_F(ConversationTest, SignUpChatBothWaysPresenceOfflineMessagesAndHistoryAfterRestart) {
    Peer peer;
    ASSERT_TRUE(peer.ready()) << peer.heard();
    const std::wstring hello = L"Hello from Lumora \x2713 \x05E9\x05DC\x05D5\x05DD\nsecond line";
    const std::wstring longText(100000, L'z');
    std::wstring ownJid;
    {
        // First start without a user id: "getid/" gives one, the account is made and used.
        ProgramRun run;
        ASSERT_TRUE(run.online()) << log();
        EXPECT_EQ(service.count("GET", "/getid/"), 1u);
        ownJid = run.ownJid();
        EXPECT_EQ(ownJid.find(L"@localhost"), ownJid.size() - 10);
        EXPECT_NE(log().find("Connected!"), std::string::npos);

        // Authorisation both ways: our request is granted, the peer's request comes to the
        // dialog, which the user allows.
        run.manager().postMessage(
            UM_AUTHORIZATION_REQUEST, 0, 0,
            kestra::makePayload(AuthorizationRequest{kestra::utf8ToWide(peer.jid), L"Hi!"}));
        QMessageBox* question = nullptr;
        ASSERT_TRUE(eventually([&] {
            question = run.frame()->findChild<QMessageBox*>(QStringLiteral("authorizationAnswer"));
            return question != nullptr && question->isVisible();
        })) << log();
        EXPECT_TRUE(question->text().contains(QString::fromStdString(peer.jid)));
        QTest::mouseClick(question->findChild<QPushButton*>(QStringLiteral("allowButton")),
                          Qt::LeftButton);

        ChatDialog* chat = run.openChat(peer.jid);
        ASSERT_NE(chat, nullptr);
        // The peer's presence reaches the contact and the chat window.
        ASSERT_TRUE(eventually([&] {
            auto contact = run.manager().findContact(kestra::utf8ToWide(peer.jid));
            return contact && contact->getStatus() == LumoraContact::STATUS_ONLINE;
        })) << log();

        // Ours to the peer, read by an independent client.
        run.type(*chat, QString::fromStdWString(hello));
        ASSERT_TRUE(eventually([&] { return peer.heardBody(hello); })) << peer.heard();

        // The peer's to us, odd ones among them.
        peer.send(kestra::wideToUtf8(ownJid), L"echo \x2713");
        peer.sendWithoutBody(kestra::wideToUtf8(ownJid));
        peer.send(kestra::wideToUtf8(ownJid), L"\x0645\x0631\x062D\x0628\x0627 (RTL)", "normal");
        peer.send(kestra::wideToUtf8(ownJid), longText);
        ASSERT_TRUE(eventually([&] { return logText(*chat->log()).contains(QString(200, 'z')); }))
            << log();
        const QString shown = logText(*chat->log());
        EXPECT_TRUE(shown.contains(QString::fromStdWString(L") echo \x2713")));
        EXPECT_TRUE(
            shown.contains(QString::fromStdWString(L"\x0645\x0631\x062D\x0628\x0627 (RTL)")));

        // A message to nobody comes back: the notice, and nothing of it in the history.
        ChatDialog* nobody = run.openChat("nobody-here@localhost");
        ASSERT_NE(nobody, nullptr);
        run.type(*nobody, QStringLiteral("anyone?"));
        ASSERT_TRUE(eventually([&] {
            return logText(*nobody->log())
                .contains(QStringLiteral("Message \"anyone?\" isn't delivered."));
        })) << log();

        // Offline: our line waits in the queue, the peer's waits on the server.
        run.manager().postMessage(UM_CHANGE_STATUS, LumoraContact::STATUS_OFFLINE);
        ASSERT_TRUE(eventually(
            [&] { return run.frame()->shownStatus() == LumoraContact::STATUS_OFFLINE; }));
        QTest::qWait(500);
        run.type(*chat, QStringLiteral("written while offline"));
        EXPECT_TRUE(logText(*chat->log()).contains(QStringLiteral("No connection.")));
        peer.send(kestra::wideToUtf8(ownJid), L"sent while you were away");
        QTest::qWait(1000);
        EXPECT_FALSE(peer.heardBody(L"written while offline"));
        run.manager().postMessage(UM_CHANGE_STATUS, LumoraContact::STATUS_ONLINE);
        ASSERT_TRUE(run.online());
        ASSERT_TRUE(eventually([&] { return peer.heardBody(L"written while offline"); }));
        ASSERT_TRUE(eventually([&] {
            return logText(*chat->log()).contains(QStringLiteral("sent while you were away"));
        })) << log();

        const std::vector<std::wstring> stored = history(run, peer.jid);
        EXPECT_EQ(count(stored, hello), 1);
        EXPECT_EQ(count(stored, L"echo \x2713"), 1);
        EXPECT_EQ(count(stored, longText), 1);
        EXPECT_EQ(count(stored, L"written while offline"), 1);
        EXPECT_EQ(count(stored, L"sent while you were away"), 1);
        EXPECT_EQ(stored.size(), 1 + 6u) << "one day, six messages; no notices";
        const std::vector<std::wstring> bounced = history(run, "nobody-here@localhost");
        ASSERT_EQ(bounced.size(), 2u);
        EXPECT_EQ(bounced[1].substr(0, 1) + bounced[1].substr(9), L"1anyone?");
        EXPECT_EQ(run.quit(), 0);
    }

    // The next start signs in with the stored id; the history window shows both sides.
    startSettings();
    {
        ProgramRun run;
        ASSERT_TRUE(run.online()) << log();
        EXPECT_EQ(run.ownJid(), ownJid);
        EXPECT_EQ(service.count("GET", "/getid/"), 1u) << "no second registration";
        auto contact = run.manager().findContact(kestra::utf8ToWide(peer.jid));
        ASSERT_NE(contact, nullptr) << "the contact was kept";
        run.manager().postMessage(UM_SHOW_HISTORY, 0, 0, kestra::makePayload(contact));
        HistoryDialog* window = nullptr;
        ASSERT_TRUE(eventually([&] {
            window = run.frame()->findChild<HistoryDialog*>();
            return window != nullptr && window->isVisible() &&
                   !window->log()->toPlainText().isEmpty();
        }));
        const QString all = window->log()->toPlainText();
        EXPECT_TRUE(all.contains(QStringLiteral("second line")));
        EXPECT_TRUE(all.contains(QString::fromStdWString(L"echo \x2713")));
        EXPECT_TRUE(all.contains(QStringLiteral("sent while you were away")));
        EXPECT_FALSE(all.contains(QStringLiteral("No connection.")));

        // A second real client, started as a user would start it: it signs up by itself, and
        // what we send it lands in its own history.
        ClientSandbox other;
        const auto& server = XmppTestServer::instance();
        other.writeSettings(
            L"<settings><group name=\"lumoraServer\"><item name=\"host\" "
            L"value=\"localhost\"/><item name=\"port\" value=\"" +
            std::to_wstring(server.port()) + L"\"/><item name=\"cafile\" value=\"" +
            kestra::utf8ToWide(server.caFile()) + L"\"/><item name=\"webRoot\" value=\"" +
            kestra::utf8ToWide(service.root()) + L"\"/></group></settings>");
        testsupport::ChildProcess program;
        ASSERT_TRUE(program.start(other.installedProgram().string(), {}, other.environment()));
        ASSERT_TRUE(other.waitForLog("ApplicationManager::showMessage: Connected!")) << other.log();
        const std::string registered = "ApplicationManager: registered as ";
        const std::string otherLog = other.log();
        const auto at = otherLog.find(registered);
        ASSERT_NE(at, std::string::npos);
        const std::string otherJid = otherLog.substr(
            at + registered.size(), otherLog.find(".\n", at) - at - registered.size());
        ChatDialog* toOther = run.openChat(otherJid);
        ASSERT_NE(toOther, nullptr);
        run.type(*toOther, QStringLiteral("hello, other client"));
        const fs::path otherHistory = other.appFolder() / "Jabber/Contacts" /
                                      LumoraContact::hashContactName(ownJid) /
                                      kestra::wideToUtf8(ChatHistory::MESSAGE_FILE);
        ASSERT_TRUE(eventually([&] {
            return kestra::utf16leToWide(testsupport::readFile(otherHistory))
                       .find(L"hello, other client") != std::wstring::npos;
        })) << other.log();
        program.sendSignal(SIGTERM);
        int code = -1;
        EXPECT_TRUE(program.waitExit(30000, code));
        EXPECT_EQ(code, 0);
        EXPECT_EQ(run.quit(), 0);
    }
}

}  // namespace
