// The controller's seams: what the windows call reaches the session through IJabberClient,
// messages go through the message table, and the chat-window bookkeeping keeps its rules.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <future>

#include "FakeGui.h"
#include "FakeJabberClient.h"
#include "GuiThreadContract.h"
#include "TestSupport.h"
#include "client/app/ApplicationManager.h"
#include "client/app/ApplicationMessages.h"
#include "client/app/ChatWindows.h"
#include "client/app/MessageDispatcher.h"
#include "client/messaging/ChatServer.h"
#include "kestra/Exceptions.h"
#include "kestra/Log.h"
#include "kestra/Settings.h"
#include "kestra/TextCodec.h"

using kestra::Settings;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

namespace {

class ControllerSeamsTest : public ::testing::Test {
protected:
    void SetUp() override {
        kestra::Log::open((dir.path() / "lumora.log").wstring(), kestra::LOG_DEBUG, 1000000);
        Settings::startup((dir.path() / "settings.cfg").wstring());
        LumoraContact::setContactsFolder(dir.path().wstring());
        CHAT_HOST = DEFAULT_CHAT_HOST;
        CHAT_PORT = DEFAULT_CHAT_PORT;
    }
    void TearDown() override {
        Settings::shutdown();
        kestra::Log::close();
    }
    std::string log() const { return testsupport::readFile(dir.path() / "lumora.log"); }
    ApplicationManager::SessionFactory fakeSession() {
        return [this](IJabberListener*, kestra::IClock&) {
            auto fake = std::make_unique<FakeJabberClient>();
            session = fake.get();
            return fake;
        };
    }
    std::future<int> start(ApplicationManager& manager) {
        auto result =
            std::async(std::launch::async, [&manager] { return manager.runApplication(); });
        EXPECT_TRUE(
            testsupport::waitUntil([&] { return factory.mainFrame.load() != nullptr; }, 10000));
        return result;
    }
    bool logged(const std::string& text) const {
        return testsupport::waitUntil([&] { return log().find(text) != std::string::npos; }, 10000);
    }

    testsupport::TempDir dir;
    FakeGuiThread gui;
    FakeGuiFactory factory{gui};
    FastClock clock;
    FakeJabberClient* session = nullptr;
};

// A payload that says when it is freed.
struct Tracked {
    explicit Tracked(std::atomic<int>& frees) : frees(&frees) {}
    Tracked(Tracked&& other) noexcept : frees(other.frees) { other.frees = nullptr; }
    ~Tracked() {
        if (frees != nullptr) {
            ++*frees;
        }
    }
    std::atomic<int>* frees;
};

TEST_F(ControllerSeamsTest, WindowCallsReachTheSessionAndTheProfileThroughTheInterfaces) {
    Settings::setStringValue(L"user.lumoraid", L"7@localhost");
    Settings::setStringValue(L"user.password", L"secret");
    ApplicationManager manager(gui, factory, clock, fakeSession());
    IApplicationManager& controller = manager;
    auto result = start(manager);
    ASSERT_NE(session, nullptr);
    EXPECT_EQ(session->calls().front(), "setUserProfile(profile)");

    EXPECT_EQ(controller.getLoginData().gid, L"7");
    EXPECT_EQ(controller.getLoginData().password, L"secret");
    for (const wchar_t* refused : {L"", L"12a", L"-3", L"4 2", L"\x0663"}) {
        EXPECT_FALSE(controller.setNewUserId(refused)) << kestra::wideToUtf8(refused);
    }
    EXPECT_EQ(controller.getLoginData().gid, L"7") << "a refused id changes nothing";
    EXPECT_TRUE(controller.setNewUserId(L"42"));
    EXPECT_EQ(controller.getUserContactProfile()->getJid(), L"42@localhost");
    EXPECT_EQ(controller.getLoginData().password, L"") << "the old password went with the id";

    session->clear();
    controller.sendChatMessage(L"Gr\u00fc\u00dfe \u05e9\u05dc\u05d5\u05dd", L"5@localhost");
    controller.startUserSearch(L"12", L"a@b.c", L"Nick", L"Ann", L"Lee", 1, 6.25, 0);
    EXPECT_THAT(session->calls(), ElementsAre("sendChatMessage(Gr\xc3\xbc\xc3\x9f"
                                              "e \xd7\xa9\xd7\x9c\xd7\x95\xd7\x9d, "
                                              "5@localhost)",
                                              "search(12, Ann, Lee, Nick, a@b.c, 1, 6.25, 0)"));
    EXPECT_EQ(controller.getImageFactory(), nullptr);

    manager.quit();
    EXPECT_EQ(result.get(), 0);
    EXPECT_EQ(session->count("shutdown("), 1) << "quitting shuts the session down";
}

TEST_F(ControllerSeamsTest, MessagesGoThroughTheTableAndUnhandledOnesAreFreed) {
    ApplicationManager manager(gui, factory, clock, fakeSession());
    auto result = start(manager);
    std::atomic<int> frees{0};
    manager.postMessage(UM_SHOW_ABOUT, 0, 0, kestra::makePayload(Tracked(frees)));
    manager.postMessage(UM_RESERVED_1, 0, 0, kestra::makePayload(Tracked(frees)));
    manager.postMessage(UM_SHOW_MESSAGE, 0, 0, kestra::makePayload(Tracked(frees)));
    manager.postMessage(UM_SHOW_MESSAGE, 0, 0, kestra::makePayload(std::wstring(L"first")));
    manager.postMessage(UM_CONNECTION_MESSAGE, 7, 0,
                        kestra::makePayload(std::wstring(L"Connection closed.")));
    manager.postMessage(UM_CONNECTION_MESSAGE, 0);
    manager.postMessage(UM_SHOW_MESSAGE, 0, 0, kestra::makePayload(std::wstring(L"last")));
    ASSERT_TRUE(logged("ApplicationManager::showMessage: last"));
    EXPECT_EQ(frees.load(), 3) << "dropped and mistyped payloads are freed";
    const std::string text = log();
    const auto first = text.find("ApplicationManager::showMessage: first");
    const auto closed = text.find("ApplicationManager::showMessage: Connection closed.");
    ASSERT_NE(first, std::string::npos);
    ASSERT_NE(closed, std::string::npos);
    EXPECT_LT(first, closed) << "messages are handled in the order they were posted";
    EXPECT_NE(text.find("ApplicationManager::showConnectionState: 0"), std::string::npos);
    manager.quit();
    EXPECT_EQ(result.get(), 0);
}

TEST_F(ControllerSeamsTest, AThrowingHandlerIsLoggedAndTheTableGoesOn) {
    MessageDispatcher table;
    std::vector<int> ran;
    table.add(1, [&](kestra::ThreadMessage&) { throw std::runtime_error("broken"); });
    table.add(2, [&](kestra::ThreadMessage&) { throw kestra::SettingsException("Here", "there"); });
    table.add(3, [&](kestra::ThreadMessage& m) { ran.push_back(static_cast<int>(m.wParam)); });
    table.add(3, [&](kestra::ThreadMessage& m) { ran.push_back(10 * static_cast<int>(m.wParam)); });
    for (unsigned int id : {1u, 2u, 3u, 4u}) {
        kestra::ThreadMessage message;
        message.id = id;
        message.wParam = 5;
        EXPECT_EQ(table.dispatch(message), id != 4u);
    }
    EXPECT_EQ(ran, std::vector<int>{50}) << "a later handler replaces an earlier one";
    EXPECT_THAT(log(), HasSubstr("[ERROR] ApplicationManager::handleMessage: exception "
                                 "\"broken\" (message 1)."));
    EXPECT_THAT(log(), HasSubstr("[ERROR] ApplicationManager::handleMessage: exception Here, "
                                 "there (message 2)."));
}

// Records what the bookkeeping asks of a chat window.
class FakeChatWindow : public IChatWindow {
public:
    explicit FakeChatWindow(std::vector<std::string>& log, std::string name)
        : log_(log), name_(std::move(name)) {}
    void destroyChatWindow() override { log_.push_back(name_ + " destroy"); }
    bool isChatWindowShown() const override { return shown; }
    bool isChatWindowInFront() const override { return shown; }
    void refreshChatTitle() override {}
    void addChatMessage(const std::wstring&, bool) override {}
    void contactStatusChanged(int) override {}
    bool showChatWindow() override {
        log_.push_back(name_ + " show");
        return true;
    }
    void hideChatWindow() override { log_.push_back(name_ + " hide"); }
    void redrawChatWindow() override {}
    bool shown = true;

private:
    std::vector<std::string>& log_;
    std::string name_;
};

TEST_F(ControllerSeamsTest, ChatWindowsKeepTheCurrentWindowAndTheUnreadMap) {
    LumoraContact::ContactMap contacts;
    contacts[L"1@localhost"] = std::make_shared<LumoraContact>();
    ChatWindows windows([&](const std::wstring& jid) {
        const auto it = contacts.find(jid);
        return it != contacts.end() ? it->second : nullptr;
    });
    std::vector<std::string> calls;
    auto first = std::make_unique<FakeChatWindow>(calls, "A");
    auto second = std::make_unique<FakeChatWindow>(calls, "B");
    FakeChatWindow* a = first.get();
    windows.add(std::move(first), L"1@localhost");
    windows.add(std::move(second), L"2@localhost");
    EXPECT_EQ(windows.currentJid(), L"2@localhost") << "the last registered is current";
    windows.bringCurrentForward();
    windows.hideCurrent();
    EXPECT_EQ(windows.currentJid(), L"2@localhost") << "A is still shown";
    a->shown = false;
    windows.hideCurrent();
    EXPECT_EQ(windows.currentJid(), L"") << "no window shown: none is current";
    EXPECT_TRUE(windows.bringForward(L"1@localhost"));
    EXPECT_FALSE(windows.bringForward(L"9@localhost"));
    EXPECT_EQ(windows.currentJid(), L"1@localhost");
    windows.add(std::make_unique<FakeChatWindow>(calls, "A2"), L"1@localhost");
    EXPECT_EQ(windows.size(), 2u);
    EXPECT_THAT(calls, ElementsAre("B show", "B hide", "B hide", "A show", "A destroy"));

    EXPECT_FALSE(windows.hasUnread());
    EXPECT_EQ(windows.firstUnreadContact(), nullptr);
    windows.markUnread(L"2@localhost");
    windows.markUnread(L"1@localhost");
    windows.markUnread(L"1@localhost");
    EXPECT_TRUE(windows.hasUnreadFrom(L"2@localhost"));
    EXPECT_EQ(windows.firstUnreadContact(), contacts[L"1@localhost"]);
    EXPECT_TRUE(windows.takeUnread(L"1@localhost"));
    EXPECT_FALSE(windows.takeUnread(L"1@localhost"));
    EXPECT_EQ(windows.firstUnreadContact(), nullptr) << "2@localhost is no contact";
    EXPECT_FALSE(windows.hasUnread()) << "an unread JID without a contact empties the map";
    EXPECT_THAT(log(), HasSubstr("[ERROR] ApplicationManager::getFirstContactFromMessageMap "
                                 "contact == NULL.\n"));

    windows.markUnread(L"1@localhost");
    calls.clear();
    windows.closeAll();
    EXPECT_THAT(calls, ElementsAre("A2 destroy", "B destroy"));
    EXPECT_EQ(windows.size(), 0u);
    EXPECT_EQ(windows.currentJid(), L"");
    EXPECT_TRUE(windows.hasUnreadFrom(L"1@localhost")) << "unread messages outlive windows";
}

}  // namespace

namespace {

// The controller tests run on this stand-in for the GUI thread; it keeps the same promises
// as the Qt one (tests/gui checks those with the same contract).
TEST_F(ControllerSeamsTest, TheFakeGuiThreadKeepsTheGuiThreadContract) {
    FakeGuiThread fake;
    testsupport::checkGuiThreadContract(
        fake, fake.id(),
        [&] { ASSERT_TRUE(testsupport::waitUntil([&] { return !fake.isRunning(); }, 10000)); },
        [] {});
    EXPECT_THAT(log(), HasSubstr("[ERROR] FakeGuiThread: exception in GUI work: \"job fifty\"."));
    EXPECT_THAT(log(), HasSubstr("[ERROR] FakeGuiThread: exception in GUI work: Window, gone"));
}

}  // namespace
