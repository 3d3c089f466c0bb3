#include <gtest/gtest.h>

#include <future>

#include "FakeGui.h"
#include "FakeJabberClient.h"
#include "TestSupport.h"
#include "client/app/ApplicationManager.h"
#include "client/app/ApplicationMessages.h"
#include "client/contacts/LumoraContact.h"
#include "client/messaging/ChatServer.h"
#include "client/messaging/JabberClient.h"
#include "kestra/Log.h"
#include "kestra/Settings.h"
#include "kestra/TextCodec.h"

using kestra::Settings;
using testsupport::readFile;
using testsupport::TempDir;

namespace {

class ApplicationManagerTest : public ::testing::Test {
protected:
    void SetUp() override {
        kestra::Log::open((dir.path() / "lumora.log").wstring(), kestra::LOG_INFO, 1000000);
        Settings::startup(settingsFile().wstring());
        CHAT_HOST = DEFAULT_CHAT_HOST;
        CHAT_PORT = DEFAULT_CHAT_PORT;
    }
    void TearDown() override {
        Settings::shutdown();
        kestra::Log::close();
    }
    std::filesystem::path settingsFile() const { return dir.path() / "settings.cfg"; }
    std::wstring savedSettings() const { return kestra::utf16leToWide(readFile(settingsFile())); }
    std::string log() const { return readFile(dir.path() / "lumora.log"); }

    // Runs the controller on a thread of its own, as the program does.
    std::future<int> start(ApplicationManager& manager) {
        return std::async(std::launch::async, [&manager] { return manager.runApplication(); });
    }
    void waitForMainFrame() {
        ASSERT_TRUE(
            testsupport::waitUntil([&] { return factory.mainFrame.load() != nullptr; }, 10000));
    }

    // A controller whose session is the recording fake (the real one is used where the
    // test says so).
    ApplicationManager::SessionFactory fakeSession() {
        return [this](IJabberListener* listener, kestra::IClock&) {
            sessionListener = listener;
            auto fake = std::make_unique<FakeJabberClient>();
            session = fake.get();
            return fake;
        };
    }

    TempDir dir;
    FakeGuiThread gui;
    FakeGuiFactory factory{gui};
    FastClock clock;
    FakeJabberClient* session = nullptr;
    IJabberListener* sessionListener = nullptr;
};

TEST_F(ApplicationManagerTest, FirstStartWritesTheDefaultsAndQuitSavesThem) {
    ApplicationManager manager(gui, factory, clock);
    auto result = start(manager);
    waitForMainFrame();
    EXPECT_EQ(factory.onGuiThread, gui.id()) << "windows are made on the GUI thread";
    manager.quit();
    ASSERT_EQ(result.wait_for(std::chrono::seconds(30)), std::future_status::ready);
    EXPECT_EQ(result.get(), 0);
    EXPECT_EQ(factory.mainFrame.load()->closeRequests, 1) << "quit closes the main frame";
    EXPECT_FALSE(gui.isRunning());
    EXPECT_EQ(factory.mainFrame.load()->shows, 1) << "the controller shows the frame it made";
    // Quitting shut the real XMPP session down: its sender takes no more packets.
    auto& real = dynamic_cast<JabberClient&>(manager.getJabberClient());
    real.sendChatMessage("late", "1001@localhost");
    EXPECT_EQ(real.queuedPackets(), 0u);
    const std::wstring saved = savedSettings();
    EXPECT_NE(saved.find(L"<group name=\"lumoraServer\"><item name=\"host\" value=\"localhost\"/>"
                         L"<item name=\"port\" value=\"5222\"/></group>"),
              std::wstring::npos)
        << kestra::wideToUtf8(saved);
    EXPECT_NE(saved.find(L"<group name=\"gps\"><item name=\"comPortName\" value=\"COM4:\"/>"
                         L"<item name=\"useDriver\" value=\"1\"/></group>"),
              std::wstring::npos);
    EXPECT_FALSE(Settings::isReady()) << "serialize shut the store down";
}

TEST_F(ApplicationManagerTest, StoredValuesAreTakenAndOddOnesRewritten) {
    Settings::setStringValue(L"lumoraServer.host", L"chat.example.org");
    Settings::setIntValue(L"lumoraServer.port", 15222);
    Settings::setStringValue(L"gps.comPortName", L"/dev/ttyUSB0");
    Settings::setIntValue(L"gps.useDriver", 5);
    Settings::addStringValue(L"user.contactstodelete", L"1@chat.example.org");
    Settings::addStringValue(L"user.contactstodelete", L"2@chat.example.org");
    ApplicationManager manager(gui, factory, clock, fakeSession());
    auto result = start(manager);
    waitForMainFrame();
    manager.quit();
    EXPECT_EQ(result.get(), 0);
    EXPECT_EQ(CHAT_HOST, "chat.example.org");
    EXPECT_EQ(CHAT_PORT, 15222);
    EXPECT_EQ(manager.getContactsToDelete().size(), 2u);
    EXPECT_EQ(manager.getMapTypeNames(),
              (std::vector<std::wstring>{L"Satellite", L"Roadmap", L"Hybrid"}));
    const std::wstring saved = savedSettings();
    EXPECT_NE(saved.find(L"value=\"/dev/ttyUSB0\""), std::wstring::npos);
    EXPECT_NE(saved.find(L"<item name=\"useDriver\" value=\"1\"/>"), std::wstring::npos)
        << "5 means the driver and is written back as 1";
}

TEST_F(ApplicationManagerTest, SerialPortChoiceIsKept) {
    Settings::setIntValue(L"gps.useDriver", 0);
    ApplicationManager manager(gui, factory, clock, fakeSession());
    auto result = start(manager);
    waitForMainFrame();
    manager.quit();
    EXPECT_EQ(result.get(), 0);
    EXPECT_NE(savedSettings().find(L"<item name=\"useDriver\" value=\"0\"/>"), std::wstring::npos);
}

TEST_F(ApplicationManagerTest, ClosingTheMainFrameEndsTheLoop) {
    ApplicationManager manager(gui, factory, clock, fakeSession());
    auto result = start(manager);
    waitForMainFrame();
    manager.postMessage(UM_SHOW_ABOUT);
    manager.postMessage(UM_SHOW_MESSAGE, 0, 0, kestra::makePayload(std::wstring(L"x")));
    factory.mainFrame.load()->postClose();
    manager.onGuiThreadEnded();
    ASSERT_EQ(result.wait_for(std::chrono::seconds(30)), std::future_status::ready);
    EXPECT_EQ(result.get(), 0);
    EXPECT_TRUE(Settings::isReady()) << "nothing saved yet: the destructor serialises";
}

TEST_F(ApplicationManagerTest, AWindowThatCannotBeCreatedEndsTheRunWithOne) {
    factory.fail = "mainFrame";
    ApplicationManager manager(gui, factory, clock, fakeSession());
    auto result = start(manager);
    ASSERT_EQ(result.wait_for(std::chrono::seconds(30)), std::future_status::ready);
    EXPECT_EQ(result.get(), 1);
    const std::string text = log();
    EXPECT_NE(text.find("[ERROR] ApplicationManager::run false == "
                        "GuiFactory::createWindowInstance(mainFrame).\n"),
              std::string::npos);
    EXPECT_NE(text.find("[ERROR] ApplicationManager::runApplication: catch "
                        "kestra::GUICreateException.\n"),
              std::string::npos);
}

TEST_F(ApplicationManagerTest, SerializeRunsOnceAndRaiseNeedsAWindow) {
    {
        ApplicationManager manager(gui, factory, clock, fakeSession());
        EXPECT_FALSE(manager.bringMainFrameForward());
        auto result = start(manager);
        waitForMainFrame();
        EXPECT_TRUE(manager.bringMainFrameForward());
        EXPECT_EQ(factory.mainFrame.load()->raises, 1);
        manager.quit();
        EXPECT_EQ(result.get(), 0);
        Settings::startup(settingsFile().wstring());
        Settings::setStringValue(L"after.serialize", L"1");
    }  // the destructor's serialize does nothing more
    EXPECT_TRUE(Settings::isReady());
    EXPECT_EQ(savedSettings().find(L"after"), std::wstring::npos);
}

TEST_F(ApplicationManagerTest, ContactsAndTheOwnProfileAreLoadedAtStartAndSavedAtQuit) {
    LumoraContact::setContactsFolder(dir.path().wstring());
    LumoraContact::setServiceHost(L"localhost");
    LumoraContact(L"5@localhost", L"Five", L"", L"", L"", 2, 0, 0, 0, 0, false).saveContactsInfo();
    Settings::setStringValue(L"user.lumoraid", L"1@localhost");
    {
        ApplicationManager manager(gui, factory, clock, fakeSession());
        auto result = start(manager);
        waitForMainFrame();
        ASSERT_NE(manager.getUserContactProfile(), nullptr);
        EXPECT_EQ(manager.getUserContactProfile()->getGid(), L"1");
        EXPECT_EQ(manager.getUserContactProfile()->getStatus(), LumoraContact::STATUS_OFFLINE);
        ASSERT_NE(manager.findContact(L"5@localhost"), nullptr);
        EXPECT_EQ(manager.findContact(L"5@localhost")->getNick(), L"Five");
        manager.findContact(L"5@localhost")->setNick(L"Renamed");
        manager.getUserContactProfile()->setNick(L"Me");
        manager.quit();
        EXPECT_EQ(result.get(), 0);
        EXPECT_TRUE(manager.getContacts().empty()) << "saved and let go";
    }
    Settings::startup(settingsFile().wstring());
    LumoraContact::ContactMap map;
    const LumoraContact::ContactList own = LumoraContact::loadContactsListInfo(map);
    ASSERT_EQ(map.count(L"5@localhost"), 1u);
    EXPECT_EQ(map[L"5@localhost"]->getNick(), L"Renamed");
    ASSERT_EQ(own.size(), 1u);
    EXPECT_EQ(own[0]->getJid(), L"1@localhost");
    EXPECT_EQ(own[0]->getNick(), L"Me");
}

}  // namespace
