// The main frame as a user meets it, with real widgets on the offscreen platform and a
// recording controller: the status button and its rules, the messages button, the menu, the
// GPS button, signing in again, the wait cursor, chat windows, and the no-sleep switch
// against the desktop's inhibit services on a private D-Bus.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QApplication>
#include <QMenu>
#include <QTest>
#include <QToolButton>

#include "FakeApplicationManager.h"
#include "FakeDesktopServices.h"
#include "PrivateBus.h"
#include "TestSupport.h"
#include "client/app/ApplicationMessages.h"
#include "client/app/IMainFrame.h"
#include "client/app/ISatellitesWindow.h"
#include "client/gui/GuiFactory.h"
#include "client/gui/MainFrame.h"
#include "client/gui/QtGuiThread.h"
#include "client/gui/ScreenResolution.h"
#include "client/gui/SleepInhibitor.h"
#include "client/gui/StatusButton.h"
#include "kestra/Log.h"

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;

namespace {

constexpr int WAIT_MS = 10000;  // only so that a broken test cannot hang

class MainFrameTest : public ::testing::Test {
protected:
    void SetUp() override {
        kestra::Log::open((dir.path() / "lumora.log").wstring(), kestra::LOG_DEBUG, 1000000);
        proxy = factory.createMainFrame(controller);
        satellites = factory.createSatellitesWindow(controller);
        frame().show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&frame()));
    }
    void TearDown() override { kestra::Log::close(); }
    MainFrame& frame() { return *factory.mainFrame(); }
    std::string log() const { return testsupport::readFile(dir.path() / "lumora.log"); }
    static bool eventually(const std::function<bool()>& condition) {
        return QTest::qWaitFor(condition, WAIT_MS);
    }
    // Opens the status popup with a click on the button and clicks the entry.
    void choose(const QString& entry) {
        QMenu* popup = frame().statusButton()->popup();
        QTest::mouseClick(frame().statusButton(), Qt::LeftButton);
        ASSERT_TRUE(eventually([&] { return popup->isVisible(); }));
        const QRect button(frame().statusButton()->mapToGlobal(QPoint(0, 0)),
                           frame().statusButton()->size());
        EXPECT_LE(popup->geometry().bottom(), button.top()) << "the popup opens above the button";
        QAction* action = nullptr;
        for (QAction* candidate : popup->actions()) {
            action = candidate->text() == entry ? candidate : action;
        }
        ASSERT_NE(action, nullptr) << entry.toStdString();
        QTest::mouseClick(popup, Qt::LeftButton, {}, popup->actionGeometry(action).center());
        ASSERT_TRUE(eventually([&] { return !popup->isVisible(); }));
    }
    QString statusText() { return frame().statusButton()->text(); }
    QString checkedEntry() {
        QString checked;
        for (QAction* entry : frame().statusButton()->popup()->actions()) {
            checked += entry->isChecked() ? entry->text() : QString();
        }
        return checked;
    }
    // The statuses posted with UM_CHANGE_STATUS, in order.
    std::vector<int> postedStatuses() {
        std::vector<int> statuses;
        for (const std::string& call : controller.calls()) {
            const std::string prefix = "postMessage(" + std::to_string(UM_CHANGE_STATUS) + ", ";
            if (call.compare(0, prefix.size(), prefix) == 0) {
                statuses.push_back(std::stoi(call.substr(prefix.size())));
            }
        }
        return statuses;
    }
    // Ticks as the controller's timer does, and lets the bar lay itself out again.
    void tick(int times) {
        for (int i = 0; i < times; ++i) {
            frame().onTick();
        }
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
    }

    testsupport::TempDir dir;
    QtGuiThread gui{*qApp};
    FakeApplicationManager controller;
    GuiFactory factory{gui};
    std::unique_ptr<IMainFrame> proxy;
    std::unique_ptr<ISatellitesWindow> satellites;
};

TEST_F(MainFrameTest, TheStatusButtonKeepsItsRules) {
    EXPECT_EQ(statusText(), QStringLiteral("Offline"));
    EXPECT_EQ(checkedEntry(), QStringLiteral("Offline"));
    QStringList entries;
    for (QAction* entry : frame().statusButton()->popup()->actions()) {
        entries << entry->text() + QLatin1Char('=') + entry->data().toString();
    }
    EXPECT_EQ(entries, QStringList({"Online=10", "Free for chat=11", "Away=12", "N/A=14", "DND=13",
                                    "Invisible=16", "Offline=17"}));

    // Online while offline: "Connecting..." at once, until the session tells.
    choose(QStringLiteral("Online"));
    EXPECT_EQ(statusText(), QStringLiteral("Connecting..."));
    EXPECT_EQ(checkedEntry(), QString());
    EXPECT_THAT(postedStatuses(), ElementsAre(0));
    const qint64 still = frame().statusButton()->icon().cacheKey();
    tick(1);
    EXPECT_NE(frame().statusButton()->icon().cacheKey(), still) << "connecting turns the picture";

    // While connecting only "Offline" is taken.
    choose(QStringLiteral("Away"));
    EXPECT_EQ(statusText(), QStringLiteral("Connecting..."));
    EXPECT_THAT(postedStatuses(), ElementsAre(0));
    choose(QStringLiteral("Offline"));
    EXPECT_EQ(statusText(), QStringLiteral("Offline"));
    EXPECT_EQ(checkedEntry(), QStringLiteral("Offline"));
    EXPECT_THAT(postedStatuses(), ElementsAre(0, 7));

    // "Invisible" is 6; once online a choice shows at once; the shown one again does nothing.
    choose(QStringLiteral("Invisible"));
    EXPECT_THAT(postedStatuses(), ElementsAre(0, 7, 6));
    frame().showConnectionStatus(6);
    EXPECT_EQ(statusText(), QStringLiteral("Invisible"));
    EXPECT_EQ(checkedEntry(), QStringLiteral("Invisible"));
    choose(QStringLiteral("Away"));
    EXPECT_EQ(statusText(), QStringLiteral("Away"));
    EXPECT_EQ(checkedEntry(), QStringLiteral("Away"));
    choose(QStringLiteral("Away"));
    EXPECT_THAT(postedStatuses(), ElementsAre(0, 7, 6, 2));
    frame().showConnectionStatus(5);  // the server's invisible
    EXPECT_EQ(checkedEntry(), QStringLiteral("Invisible"));

    // A status the button has no picture or text for changes nothing and is logged.
    frame().showConnectionStatus(42);
    EXPECT_EQ(statusText(), QStringLiteral("Invisible"));
    EXPECT_THAT(log(), HasSubstr("[ERROR] MainFrame::changeImgAndTextInStateBtn no picture fot "
                                 "this item: 42\n"));
    EXPECT_THAT(log(), HasSubstr("[ERROR] MainFrame::changeImgAndTextInStateBtn no text fot "
                                 "this item: 42\n"));
}

// The controller's connect operation: after the delay the frame signs in again, from offline
// only, with the status given (or, for 7 and 8, the one the user chose last); a choice of
// the user first stops it.
TEST_F(MainFrameTest, TheReconnectTimerSignsInAgainFromOfflineOnly) {
    choose(QStringLiteral("Away"));
    frame().showConnectionStatus(7);  // the connection failed
    frame().reconnect(7, 20);
    ASSERT_TRUE(eventually([&] { return postedStatuses().size() == 2; }));
    EXPECT_THAT(postedStatuses(), ElementsAre(2, 2));
    EXPECT_EQ(statusText(), QStringLiteral("Connecting..."));

    frame().showConnectionStatus(7);
    frame().reconnect(3, 1);
    ASSERT_TRUE(eventually([&] { return postedStatuses().size() == 3; }));
    EXPECT_EQ(postedStatuses().back(), 3);

    frame().showConnectionStatus(0);
    frame().reconnect(0, 1);
    ASSERT_TRUE(eventually([&] { return !frame().isReconnectPending(); }));
    QTest::qWait(20);
    EXPECT_EQ(postedStatuses().size(), 3u) << "an online frame does not sign in again";

    frame().showConnectionStatus(7);
    frame().reconnect(0, 60000);
    EXPECT_TRUE(frame().isReconnectPending());
    choose(QStringLiteral("Offline"));
    EXPECT_FALSE(frame().isReconnectPending()) << "the user's choice stops the timer";
}

TEST_F(MainFrameTest, TheMessagesButtonIsHiddenWithoutUnreadMessagesAndBlinksWhileTheyWait) {
    QToolButton* button = frame().messagesButton();
    EXPECT_FALSE(button->isVisible()) << "hidden at start";
    tick(20);
    EXPECT_FALSE(button->isVisible());

    auto contact = std::make_shared<LumoraContact>();
    contact->setJid(L"100001@localhost");
    controller.unread = true;
    controller.firstUnread = contact;
    tick(4);
    EXPECT_FALSE(button->isVisible()) << "looked at every fifth tick";
    std::vector<bool> phases;
    for (int i = 0; i < 4; ++i) {
        tick(5);
        EXPECT_TRUE(button->isVisible());
        phases.push_back(button->property("blinkPhase").toBool());
    }
    EXPECT_THAT(phases, ElementsAre(true, false, true, false)) << "a period of ten ticks";

    QTest::mouseClick(button, Qt::LeftButton);
    const kestra::ThreadMessage* open = controller.lastPosted(UM_OPEN_CHAT);
    ASSERT_NE(open, nullptr);
    ASSERT_NE(open->payloadAs<std::shared_ptr<LumoraContact>>(), nullptr);
    EXPECT_EQ(*open->payloadAs<std::shared_ptr<LumoraContact>>(), contact);

    // The contact went: nothing opens, and the line says so.
    controller.firstUnread = nullptr;
    QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_THAT(log(), HasSubstr("[ERROR] MainFrame::onButtonMessages: contact != NULL.\n"));
    // The map was emptied while the button still showed: pressing it opens nothing.
    controller.unread = false;
    QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_EQ(controller.count("postMessage(" + std::to_string(UM_OPEN_CHAT)), 1);
    tick(5);
    EXPECT_FALSE(button->isVisible());
}

TEST_F(MainFrameTest, TheMenuTheGpsButtonChatWindowsAndTheWaitCursor) {
    QTest::mouseClick(frame().menuButton(), Qt::LeftButton);
    QMenu* menu = frame().mainMenu();
    ASSERT_TRUE(eventually([&] { return menu->isVisible(); }));
    QStringList entries;
    for (QAction* entry : menu->actions()) {
        if (!entry->isSeparator()) {
            entries << entry->text() + (entry->isEnabled() ? "" : " (off)");
        }
    }
    EXPECT_EQ(entries,
              QStringList({"Find users", "Settings (off)", "Satellites", "About Lumora", "Exit"}))
        << "Settings waits for an options window";
    EXPECT_EQ(menu->actions().last()->data().toInt(), MainFrame::EXIT_COMMAND);
    auto click = [&](int index) {
        if (!menu->isVisible()) {
            QTest::mouseClick(frame().menuButton(), Qt::LeftButton);
            ASSERT_TRUE(eventually([&] { return menu->isVisible(); }));
        }
        QAction* entry = menu->actions().at(index);
        QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(entry).center());
    };
    click(0);
    click(3);
    EXPECT_EQ(controller.postedIds(), (std::vector<unsigned int>{UM_SHOW_SEARCH, UM_SHOW_ABOUT}));
    click(2);
    EXPECT_TRUE(eventually([&] { return satellites->isShown(); })) << "Satellites shows them";

    controller.gpsState = IGpsControl::GPS_STATE_SEARCHING;
    QTest::mouseClick(frame().gpsButton(), Qt::LeftButton);
    EXPECT_EQ(frame().gpsButton()->property("gpsState").toInt(), 2);
    controller.gpsState = IGpsControl::GPS_STATE_OFF;
    QTest::mouseClick(frame().gpsButton(), Qt::LeftButton);
    EXPECT_EQ(frame().gpsButton()->property("gpsState").toInt(), 1);
    EXPECT_EQ(controller.count("switchGPS()"), 2);
    frame().showGpsState(0);
    EXPECT_EQ(frame().gpsButton()->property("gpsState").toInt(), 0);
    frame().showGpsState(9);
    EXPECT_THAT(log(), HasSubstr("MainFrame::OnChangeGPSState SendMessage menu TB_SETBUTTONINFO"));

    // Chat windows come from the factory and are registered with the controller.
    auto contact = std::make_shared<LumoraContact>();
    contact->setJid(L"100001@localhost");
    proxy->createChatWindow(contact);
    proxy->createChatWindow(nullptr);
    ASSERT_TRUE(eventually([&] { return log().find("contact == NULL.") != std::string::npos; }));
    EXPECT_THAT(log(), Not(HasSubstr("GuiFactory::createWindowInstance(chatDlg)")));
    EXPECT_EQ(controller.count("registerChatWindow"), 1);

    // The wait cursor while the tile source changes, and the frame's own cursor after it.
    frame().showMapLoading(true);
    EXPECT_EQ(frame().cursor().shape(), Qt::WaitCursor);
    frame().showMapLoading(false);
    EXPECT_EQ(frame().cursor().shape(), Qt::ArrowCursor);
    frame().setCursor(Qt::CrossCursor);
    frame().showMapLoading(true);
    frame().showMapLoading(true);
    frame().showMapLoading(false);
    EXPECT_EQ(frame().cursor().shape(), Qt::CrossCursor);

    // Exit: the controller ends the program; the frame stays until it is closed.
    click(static_cast<int>(menu->actions().size()) - 1);
    EXPECT_EQ(controller.count("quit()"), 1);
}

TEST_F(MainFrameTest, TheScreenSizeRuleChoosesTheArtwork) {
    for (auto [width, height, high] : {std::tuple{240, 320, false},
                                       {320, 240, false},
                                       {241, 320, false},
                                       {241, 321, true},
                                       {321, 241, true},
                                       {480, 640, true},
                                       {640, 480, true},
                                       {0, 0, false}}) {
        EXPECT_EQ(ScreenResolution::isHigh(width, height), high) << width << " x " << height;
    }
    // The offscreen screen is 800 x 800.
    EXPECT_TRUE(frame().isHighResolution());
    EXPECT_EQ(frame().statusButton()->iconSize().width(), ScreenResolution::barIconSize(true));
    EXPECT_GT(ScreenResolution::barIconSize(true), ScreenResolution::barIconSize(false));
}

// The no-sleep switch against inhibit services played on a bus of the test's own.
TEST_F(MainFrameTest, TheNoSleepSwitchHoldsTheDesktopsInhibitorsWhileItIsOn) {
    PrivateBus bus;
    ASSERT_TRUE(bus.isRunning());
    QDBusConnection services = bus.connect(QStringLiteral("services"));
    ASSERT_TRUE(services.isConnected());
    FakeScreenSaver screenSaver;
    FakeLogin login;
    ASSERT_TRUE(services.registerService(QStringLiteral("org.freedesktop.ScreenSaver")));
    ASSERT_TRUE(services.registerObject(QStringLiteral("/org/freedesktop/ScreenSaver"),
                                        &screenSaver, QDBusConnection::ExportAllSlots));
    ASSERT_TRUE(services.registerService(QStringLiteral("org.freedesktop.login1")));
    ASSERT_TRUE(services.registerObject(QStringLiteral("/org/freedesktop/login1"), &login,
                                        QDBusConnection::ExportAllSlots));
    const auto client = [&bus] { return bus.connect(QStringLiteral("client")); };
    SleepInhibitor& inhibitor = frame().sleepInhibitor();
    inhibitor.setBuses(client, client);

    proxy->setNoSleep(true);
    ASSERT_TRUE(eventually([&] { return inhibitor.held().size() == 2 && inhibitor.isSettled(); }));
    EXPECT_EQ(inhibitor.held(),
              QStringList({"org.freedesktop.ScreenSaver", "org.freedesktop.login1"}));
    EXPECT_EQ(screenSaver.inhibits, QStringList({"Lumora|Lumora keeps the map on screen"}));
    EXPECT_EQ(login.asked, QStringList({"idle|Lumora|Lumora keeps the map on screen|block"}));
    EXPECT_TRUE(login.lastLockHeld());

    proxy->setNoSleep(false);
    ASSERT_TRUE(eventually([&] { return screenSaver.released.size() == 1; }));
    EXPECT_EQ(screenSaver.released.front(), screenSaver.lastCookie);
    EXPECT_FALSE(login.lastLockHeld()) << "the lock's descriptor is closed";
    EXPECT_TRUE(inhibitor.held().isEmpty());

    // Switched off before the answers came: what they bring is given back at once.
    inhibitor.setEnabled(true);
    inhibitor.setEnabled(false);
    ASSERT_TRUE(eventually([&] { return inhibitor.isSettled(); }));
    ASSERT_TRUE(eventually([&] { return screenSaver.released.size() == 2; }));
    EXPECT_TRUE(inhibitor.held().isEmpty());
    EXPECT_FALSE(login.lastLockHeld());

    // Only GNOME's session manager: it takes the screen saver's place.
    services.unregisterService(QStringLiteral("org.freedesktop.ScreenSaver"));
    FakeGnomeSession gnome;
    ASSERT_TRUE(services.registerService(QStringLiteral("org.gnome.SessionManager")));
    ASSERT_TRUE(services.registerObject(QStringLiteral("/org/gnome/SessionManager"), &gnome,
                                        QDBusConnection::ExportAllSlots));
    inhibitor.setEnabled(true);
    ASSERT_TRUE(eventually([&] { return inhibitor.held().size() == 2 && inhibitor.isSettled(); }));
    EXPECT_TRUE(inhibitor.held().contains(QStringLiteral("org.gnome.SessionManager")));
    EXPECT_THAT(gnome.flags, ElementsAre(4u | 8u));
    inhibitor.setEnabled(false);
    ASSERT_TRUE(eventually([&] { return gnome.released.size() == 1; }));
}

TEST_F(MainFrameTest, WithoutABusTheNoSleepSwitchOnlySaysSo) {
    const auto none = [] {
        return QDBusConnection::connectToBus(QStringLiteral("unix:path=/nonexistent/bus"),
                                             QStringLiteral("none"));
    };
    frame().sleepInhibitor().setBuses(none, none);
    frame().setNoSleep(true);
    EXPECT_TRUE(frame().sleepInhibitor().isSettled());
    EXPECT_TRUE(frame().sleepInhibitor().held().isEmpty());
    frame().setNoSleep(false);
    EXPECT_THAT(log(), HasSubstr("no desktop service keeps the screen on"));
}

}  // namespace
