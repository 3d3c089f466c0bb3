// The controller's windows: made in their order on the GUI thread, each failure named, the
// layout restored and saved, the timer ticking them, and the messages the windows post
// reaching them through the real controller.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <future>

#include "FakeGui.h"
#include "FakeJabberClient.h"
#include "TestSupport.h"
#include "client/app/ApplicationManager.h"
#include "client/app/ApplicationMessages.h"
#include "client/messaging/ChatServer.h"
#include "kestra/Log.h"
#include "kestra/Settings.h"
#include "kestra/TextCodec.h"

using kestra::Settings;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

namespace {

constexpr int WAIT_MS = 10000;  // only so that a broken test cannot hang

class ControllerWindowsTest : public ::testing::Test {
protected:
    void SetUp() override {
        kestra::Log::open((dir.path() / "lumora.log").wstring(), kestra::LOG_DEBUG, 1000000);
        Settings::startup(settingsFile().wstring());
        LumoraContact::setContactsFolder(dir.path().wstring());
        CHAT_HOST = DEFAULT_CHAT_HOST;
        CHAT_PORT = DEFAULT_CHAT_PORT;
    }
    void TearDown() override {
        if (Settings::isReady()) {
            Settings::shutdown();
        }
        kestra::Log::close();
    }
    std::filesystem::path settingsFile() const { return dir.path() / "settings.cfg"; }
    std::wstring savedSettings() const {
        return kestra::utf16leToWide(testsupport::readFile(settingsFile()));
    }
    std::string log() const { return testsupport::readFile(dir.path() / "lumora.log"); }
    ApplicationManager::SessionFactory fakeSession() {
        return
            [](IJabberListener*, kestra::IClock&) { return std::make_unique<FakeJabberClient>(); };
    }
    std::future<int> start(ApplicationManager& manager) {
        return std::async(std::launch::async, [&manager] { return manager.runApplication(); });
    }
    static bool eventually(const std::function<bool()>& condition) {
        return testsupport::waitUntil(condition, WAIT_MS, 5);
    }
    // A contact stored on the device, so the controller loads it at start.
    void storeContact(const std::wstring& jid) {
        LumoraContact contact(jid, L"", L"", L"", L"", LumoraContact::GENDER_UNKNOWN, 0, 0, 0, 0,
                              false);
        contact.saveContactsInfo();
    }

    testsupport::TempDir dir;
    FastClock clock;
};

TEST_F(ControllerWindowsTest, EveryWindowThatCannotBeMadeIsNamedAndEndsTheRunWithOne) {
    const std::vector<std::string> order = {"mainFrame",
                                            "mainSplitter",
                                            "mapsView",
                                            "windowGPSSatellites",
                                            "aboutWindow",
                                            "_groupListWnd",
                                            "_infoWndWithAvatara",
                                            "_infoWndWithOutAvatara",
                                            "_dialogDetailContactsInfo",
                                            "contactsListWindow",
                                            "historyDialog"};
    for (const std::string& name : order) {
        SCOPED_TRACE(name);
        if (!Settings::isReady()) {
            Settings::startup(settingsFile().wstring());  // the last run saved and closed it
        }
        FakeGuiThread gui;
        FakeGuiFactory factory(gui);
        factory.fail = name;
        ApplicationManager manager(gui, factory, clock, fakeSession());
        auto result = start(manager);
        ASSERT_EQ(result.wait_for(std::chrono::seconds(30)), std::future_status::ready);
        EXPECT_EQ(result.get(), 1);
        EXPECT_THAT(log(), HasSubstr("[ERROR] ApplicationManager::run false == "
                                     "GuiFactory::createWindowInstance(" +
                                     name + ").\n"));
        const std::vector<std::string> made = factory.made();
        ASSERT_FALSE(made.empty());
        EXPECT_EQ(made.back(), name) << "nothing is made after the window that failed";
        EXPECT_EQ(std::vector<std::string>(order.begin(), order.begin() + made.size()), made)
            << "the windows are made in their order";
        EXPECT_FALSE(gui.isRunning()) << "the GUI ends";
    }
    EXPECT_EQ(testsupport::readFile(dir.path() / "lumora.log").find("catch(...)"),
              std::string::npos);
}

TEST_F(ControllerWindowsTest, PanesThatCannotBeJoinedEndTheRunWithOne) {
    FakeGuiThread gui;
    struct RefusingFactory : FakeGuiFactory {
        using FakeGuiFactory::FakeGuiFactory;
        std::unique_ptr<IMainSplitter> createMainSplitter(IApplicationManager& c) override {
            auto splitter = FakeGuiFactory::createMainSplitter(c);
            static_cast<FakeSplitter&>(*splitter).acceptPanes = false;
            return splitter;
        }
    } factory(gui);
    ApplicationManager manager(gui, factory, clock, fakeSession());
    auto result = start(manager);
    ASSERT_EQ(result.wait_for(std::chrono::seconds(30)), std::future_status::ready);
    EXPECT_EQ(result.get(), 1);
    EXPECT_THAT(log(),
                HasSubstr("[ERROR] ApplicationManager::run false == mainSplitter->setPanes."));
}

// One run as a user meets it: the layout of the last run, the contacts of the device, the
// timer, the messages of the windows, the GPS owner's reports, and the layout saved at the
// end.
TEST_F(ControllerWindowsTest, TheWindowsTakeTheLayoutTheContactsTheTicksAndTheirMessages) {
    Settings::setIntValue(L"splitter.visibility", 1);
    Settings::setIntValue(L"splitter.pos", 333);
    Settings::setIntValue(L"general.noSleepMode", 1);
    storeContact(L"100001@localhost");
    storeContact(L"100002@localhost");
    FakeGuiThread gui;
    FakeGuiFactory factory(gui);
    ApplicationManager manager(gui, factory, clock, fakeSession());
    auto result = start(manager);
    ASSERT_TRUE(eventually([&] {
        return factory.mainFrame.load() && factory.mainFrame.load()->count("setNoSleep(1)") == 1;
    }));
    FakeMainFrame& frame = *factory.mainFrame.load();
    FakeSplitter& splitter = *factory.splitter.load();
    FakeContactList& list = *factory.contactList.load();
    EXPECT_THAT(splitter.calls(),
                ElementsAre("setPanes()", "showContactPane(0)", "setSplitterPosition(333)"));
    EXPECT_THAT(list.calls(),
                ElementsAre("addContact(100001@localhost)", "addContact(100002@localhost)"));
    EXPECT_EQ(frame.shows.load(), 1);
    EXPECT_EQ(factory.about.load()->shows.load(), 0) << "only the main frame starts shown";
    ASSERT_TRUE(eventually([&] { return frame.ticks.load() >= 2 && list.ticks.load() >= 2; }))
        << "the timer ticks the main frame and the contact pane";

    manager.postMessage(UM_TOGGLE_CONTACT_PANE);
    manager.postMessage(UM_SET_NO_SLEEP, 0, 0);
    manager.postMessage(UM_CONNECT, 7, 10000);
    manager.postMessage(UM_SHOW_CONTACT_DETAILS, 1, 0,
                        kestra::makePayload(manager.findContact(L"100002@localhost")));
    manager.postMessage(UM_SHOW_CONTACT_DETAILS, 0, 0);  // no contact
    manager.postMessage(UM_SHOW_SEARCH);
    manager.postMessage(UM_SHOW_ABOUT);
    ASSERT_TRUE(eventually([&] { return factory.about.load()->shows.load() == 1; }));
    EXPECT_TRUE(splitter.isContactPaneShown());
    EXPECT_EQ(frame.count("setNoSleep(0)"), 1);
    EXPECT_EQ(frame.count("reconnect(7, 10000)"), 1);
    EXPECT_THAT(factory.details.load()->calls(), ElementsAre("showContact(100002@localhost, 1)"));
    EXPECT_THAT(factory.about.load()->calls(),
                ElementsAre("setDownloadAddress()", "setUpdateNote()", "show()"))
        << "no newer version known: no link; the build updates itself: no note";
    EXPECT_THAT(log(), HasSubstr("[ERROR] ApplicationManager::runApplication: msg.lParam == NULL"));
    EXPECT_THAT(log(), HasSubstr("UM_SHOW_SEARCH: the user search window is not part"));

    // The GPS owner's reports: the satellites window takes the list, the GPS button the fix.
    IGPSListener& gps = manager;
    SatelliteList satellites(5);
    gps.onGPSSatellites(satellites, true);
    gps.onGPSSatellites(satellites, true);
    gps.onGPSSatellites(satellites, false);
    EXPECT_THAT(
        factory.satellites.load()->calls(),
        ElementsAre("setSatellites(5, fix)", "setSatellites(5, fix)", "setSatellites(5, no fix)"));
    EXPECT_EQ(frame.count("showGpsState("), 2) << "only changes of the fix are shown";
    EXPECT_EQ(frame.calls().back(), "showGpsState(2)");

    splitter.position = 412;
    manager.quit();
    ASSERT_EQ(result.wait_for(std::chrono::seconds(30)), std::future_status::ready);
    EXPECT_EQ(result.get(), 0);
    const std::wstring saved = savedSettings();
    EXPECT_NE(saved.find(L"<group name=\"splitter\"><item name=\"visibility\" value=\"0\"/>"
                         L"<item name=\"pos\" value=\"412\"/></group>"),
              std::wstring::npos)
        << kestra::wideToUtf8(saved);
}

}  // namespace
