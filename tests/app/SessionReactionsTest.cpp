// The controller's reactions to what the session reports, with the real controller, the
// real contact store and settings in a folder of the test's own, a recording session and
// recording windows. The session's calls come from this thread, as they would from
// "Jabber".

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <future>

#include "FakeGui.h"
#include "FakeJabberClient.h"
#include "TestSupport.h"
#include "client/app/ApplicationManager.h"
#include "client/app/ApplicationMessages.h"
#include "client/contacts/LumoraContact.h"
#include "client/maps/HTTPResult.h"
#include "client/messaging/ChatServer.h"
#include "kestra/Log.h"
#include "kestra/Settings.h"
#include "kestra/TextCodec.h"

using kestra::Settings;
using ::testing::Contains;
using ::testing::HasSubstr;

namespace {

constexpr int WAIT_MS = 10000;  // only so that a broken test cannot hang

class SessionReactionsTest : public ::testing::Test {
protected:
    void SetUp() override {
        kestra::Log::open((dir.path() / "lumora.log").wstring(), kestra::LOG_DEBUG, 1000000);
        Settings::startup((dir.path() / "settings.cfg").wstring());
        // Nothing answers there: the sign-up at the first start fails at once.
        Settings::setStringValue(L"lumoraServer.webRoot", L"http://127.0.0.1:1/");
        LumoraContact::setContactsFolder(dir.path().wstring() + L"/");
        CHAT_HOST = DEFAULT_CHAT_HOST;
        CHAT_PORT = DEFAULT_CHAT_PORT;
    }
    void TearDown() override {
        if (Settings::isReady()) {
            Settings::shutdown();
        }
        kestra::Log::close();
    }
    std::string log() const { return testsupport::readFile(dir.path() / "lumora.log"); }
    bool logged(const std::string& text) const {
        return testsupport::waitUntil([&] { return log().find(text) != std::string::npos; },
                                      WAIT_MS);
    }
    bool waitFor(const std::function<bool()>& condition) {
        return testsupport::waitUntil(condition, WAIT_MS);
    }

    testsupport::TempDir dir;
    FakeGuiThread gui;
    FakeGuiFactory factory{gui};
    FastClock clock;
    FakeJabberClient* session = nullptr;
    IJabberListener* listener = nullptr;
};

TEST_F(SessionReactionsTest, MessagesPresencesRemovalAndConnectionTexts) {
    ApplicationManager manager(gui, factory, clock, [this](IJabberListener* l, kestra::IClock&) {
        listener = l;
        auto fake = std::make_unique<FakeJabberClient>();
        session = fake.get();
        return fake;
    });
    std::mutex chatsMutex;
    std::map<std::wstring, RecordingChatWindow*> chats;
    auto chatOf = [&](const std::wstring& jid) {
        std::lock_guard<std::mutex> guard(chatsMutex);
        return chats.count(jid) ? chats[jid] : nullptr;
    };
    std::future<int> run = std::async(std::launch::async, [&] { return manager.runApplication(); });
    // Ends the run also when an assertion leaves the test early.
    struct Quit {
        ApplicationManager& manager;
        ~Quit() { manager.quit(); }
    } quitAtEnd{manager};
    ASSERT_TRUE(waitFor([&] { return factory.contactList.load() != nullptr; }));
    FakeMainFrame& frame = *factory.mainFrame.load();
    FakeContactList& list = *factory.contactList.load();
    frame.makeChat = [&](const std::shared_ptr<LumoraContact>& contact) {
        auto window = std::make_unique<RecordingChatWindow>();
        {
            std::lock_guard<std::mutex> guard(chatsMutex);
            chats[contact->getJid()] = window.get();
        }
        manager.registerChatWindow(std::move(window), contact->getJid());
    };

    // The first start has no user id: it asks "getid/" instead of signing in. A reply that
    // is no registration document fails the sign-up with its text.
    HTTPResult reply;
    reply.data = "<html>Service unavailable</html>";
    manager.postMessage(UM_REGISTRATION_REPLY, 0, 0, kestra::makePayload(reply));
    ASSERT_TRUE(logged("ApplicationManager::showMessage: Error at registration")) << log();
    EXPECT_THAT(log(), HasSubstr("[ERROR] ApplicationManager ::-1 == "
                                 "xmlWContent.find(information).\n"));
    EXPECT_EQ(session->count("openSession"), 0);
    ASSERT_TRUE(manager.setNewUserId(L"100009"));

    // A message from someone not in the roster opens a chat with them on the way; it waits
    // unread while the window is not in front. A bounce is a notice with the body quoted; a
    // group chat line and a message type the client does not know are not shown.
    const std::wstring stranger = L"200001@localhost";
    listener->onNewMessage("200001@localhost", "hi \xD7\xA9", MESSAGE_CHAT);
    ASSERT_TRUE(
        waitFor([&] { return chatOf(stranger) && chatOf(stranger)->count("line: ") == 1; }));
    RecordingChatWindow& chat = *chatOf(stranger);
    EXPECT_THAT(chat.calls(), Contains("line: hi \xD7\xA9"));
    ASSERT_NE(manager.findContact(stranger), nullptr);
    EXPECT_EQ(list.count("addContact(200001@localhost)"), 1);
    EXPECT_TRUE(manager.hasUnreadMessagesFrom(stranger));
    listener->onNewMessage("200001@localhost", "room", MESSAGE_GROUPCHAT);
    listener->onNewMessage("200001@localhost", "where are you?", MESSAGE_ERROR);
    ASSERT_TRUE(waitFor([&] { return chat.count("notice: ") == 1; }));
    EXPECT_THAT(chat.calls(), Contains("notice: Message \"where are you?\" isn't delivered."));
    EXPECT_EQ(chat.count("line: "), 1);

    // Presences: 7 -> 6 moves nothing; offline -> online moves the contact to the other part
    // of the list; online -> away redraws it. The chat window hears of each change.
    const int presence6 = PRESENCE_UNAVAILABLE, available = PRESENCE_AVAILABLE,
              away = PRESENCE_AWAY;
    listener->onContactPresence("200001@localhost", &presence6);
    listener->onContactPresence("200001@localhost", &available);
    ASSERT_TRUE(waitFor([&] { return chat.count("status: ") == 1; }));
    EXPECT_THAT(chat.calls(), Contains("status: 0"));
    EXPECT_EQ(list.count("removeContact(200001@localhost)"), 1) << "moved once, for 7 -> 0";
    listener->onContactPresence("200001@localhost", &away);
    ASSERT_TRUE(waitFor([&] { return chat.count("status: ") == 2; }));
    EXPECT_EQ(list.count("contactChanged(200001@localhost)"), 1);
    EXPECT_EQ(manager.findContact(stranger)->getStatus(), LumoraContact::STATUS_AWAY);
    const int before = list.count("removeContact(");
    listener->onContactPresence("300001@localhost", &available);  // not in the roster
    ASSERT_TRUE(waitFor([&] { return manager.findContact(L"300001@localhost") != nullptr; }));
    EXPECT_EQ(list.count("removeContact("), before + 1) << "added, then moved online";

    // The connection texts, each leaving the status offline.
    listener->onAuthenticationFailed(CONNECTION_AUTHENTICATION_FAILED);
    ASSERT_TRUE(logged("ApplicationManager::showMessage: Invalid GID or password!"));
    listener->onDisconnected(CONNECTION_STREAM_ERROR, STREAM_ERROR_CONFLICT);
    ASSERT_TRUE(logged("ApplicationManager::showMessage: You logged in from a different device."));
    listener->onConnectionError(CONNECTION_REFUSED);
    ASSERT_TRUE(
        logged("ApplicationManager::showMessage: Can't connect. Check Internet connection."));
    ASSERT_TRUE(waitFor([&] { return frame.count("reconnect(7, 10000)") == 1; }));
    EXPECT_EQ(manager.getUserContactProfile()->getStatus(), LumoraContact::STATUS_OFFLINE);
    EXPECT_EQ(frame.count("showConnectionStatus(0)"), 0);

    // Removed while offline: kept for later in user.contactstodelete, and the next roster does
    // not bring the contact back; online, the server is told then.
    manager.postMessage(UM_REMOVE_CONTACT, 0, 0,
                        kestra::makePayload(manager.findContact(stranger)));
    ASSERT_TRUE(waitFor([&] { return manager.findContact(stranger) == nullptr; }));
    EXPECT_THAT(Settings::getListStringValue(L"user.contactstodelete"), Contains(stranger));
    EXPECT_EQ(session->count("removeContact("), 0);
    EXPECT_FALSE(manager.hasUnreadMessagesFrom(stranger)) << "its chat and unread mark go too";
    listener->onRosterItem("200001@localhost", "");
    listener->onOwnPresence(&available);
    ASSERT_TRUE(waitFor([&] { return frame.count("showConnectionStatus(0)") == 1; }));
    EXPECT_EQ(manager.findContact(stranger), nullptr);
    listener->onRosterItem("200001@localhost", "");
    ASSERT_TRUE(waitFor([&] { return session->count("removeContact(200001@localhost)") == 1; }));
    EXPECT_EQ(manager.findContact(stranger), nullptr) << "not brought back by the roster";

    // Signing in with the stored id: from offline the session is opened.
    manager.postMessage(UM_CONNECTION_MESSAGE, LumoraContact::STATUS_OFFLINE);
    manager.getUserContactProfile()->setPassword(L"pw");
    manager.postMessage(UM_CHANGE_STATUS, LumoraContact::STATUS_AWAY);
    ASSERT_TRUE(waitFor([&] { return session->count("openSession(3, 100009@localhost, pw") == 1; }))
        << ::testing::PrintToString(session->calls());

    manager.quit();
    EXPECT_EQ(run.get(), 0);
    EXPECT_THAT(log(), ::testing::Not(HasSubstr("onNewChatSession error")));
}

}  // namespace
