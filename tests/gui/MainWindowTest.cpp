// The real controller with the real windows on the offscreen platform: the windows it makes
// at start, the contact pane and the bar between the panes as the user moves them, the
// messages the windows post, a resize to nothing and to a huge screen, and the layout kept
// from one run to the next.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QApplication>
#include <QSplitter>
#include <QSplitterHandle>
#include <QTest>
#include <QToolButton>
#include <future>

#include "FakeJabberClient.h"
#include "TestSupport.h"
#include "client/app/ApplicationManager.h"
#include "client/app/ApplicationMessages.h"
#include "client/gui/AboutWindow.h"
#include "client/gui/GuiFactory.h"
#include "client/gui/MainFrame.h"
#include "client/gui/MainSplitter.h"
#include "client/gui/QtGuiThread.h"
#include "client/gui/SleepInhibitor.h"
#include "client/gui/StatusButton.h"
#include "client/gui/WindowContactList.h"
#include "client/messaging/ChatServer.h"
#include "kestra/Log.h"
#include "kestra/Settings.h"
#include "kestra/TextCodec.h"

using kestra::Settings;
using ::testing::HasSubstr;

namespace {

constexpr int WAIT_MS = 20000;  // only so that a broken test cannot hang

bool eventually(const std::function<bool()>& condition) {
    return QTest::qWaitFor(condition, WAIT_MS);
}

// One run of the program: the controller on a thread of its own, the GUI loop here.
class ProgramRun {
public:
    ProgramRun()
        : manager_(gui_, factory_, kestra::SystemClock::instance(),
                   [](IJabberListener*, kestra::IClock&) {
                       return std::make_unique<FakeJabberClient>();
                   }) {
        result_ = std::async(std::launch::async, [this] { return manager_.runApplication(); });
    }
    bool started() {
        return eventually([&] { return frame() != nullptr && frame()->isVisible(); }) &&
               QTest::qWaitForWindowExposed(frame()) &&
               eventually([&] { return pane().contactCount() == contacts(); });
    }
    // Ends the run as the menu's Exit does and returns the exit code.
    int quit() {
        manager_.quit();
        gui_.exec();  // until the controller closes the frame
        manager_.onGuiThreadEnded();
        return result_.get();
    }
    MainFrame* frame() const { return factory_.mainFrame(); }
    MainSplitter& splitter() const { return *frame()->findChild<MainSplitter*>(); }
    QSplitter& bar() const { return *splitter().findChild<QSplitter*>(); }
    WindowContactList& pane() const { return *frame()->findChild<WindowContactList*>(); }
    ApplicationManager& manager() { return manager_; }
    int contacts() {
        kestra::Mutex::Locker lock(manager_.getContactsLock());
        return static_cast<int>(manager_.getContacts().size());
    }

private:
    QtGuiThread gui_{*qApp};
    GuiFactory factory_{gui_};
    ApplicationManager manager_;
    std::future<int> result_;
};

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        kestra::Log::open((dir.path() / "lumora.log").wstring(), kestra::LOG_DEBUG, 1000000);
        Settings::startup(settingsFile().wstring());
        LumoraContact::setContactsFolder(dir.path().wstring());
        CHAT_HOST = DEFAULT_CHAT_HOST;
        CHAT_PORT = DEFAULT_CHAT_PORT;
        for (const wchar_t* gid : {L"100001", L"100002"}) {
            LumoraContact(std::wstring(gid) + L"@localhost", std::wstring(L"nick ") + gid, L"", L"",
                          L"", 2, 0, 0, 0, 0, false)
                .saveContactsInfo();
        }
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
    static void drag(QSplitterHandle& handle, int dx) {
        const QPoint from = handle.rect().center();
        QTest::mousePress(&handle, Qt::LeftButton, {}, from);
        QTest::mouseMove(&handle, from + QPoint(dx / 2, 0));
        QTest::mouseMove(&handle, from + QPoint(dx, 0));
        QTest::mouseRelease(&handle, Qt::LeftButton, {}, from + QPoint(dx, 0));
    }

    testsupport::TempDir dir;
};

TEST_F(MainWindowTest, TheWindowsOfTheRealControllerAndTheirLayoutFromRunToRun) {
    int position = 0;
    {
        ProgramRun run;
        ASSERT_TRUE(run.started());
        EXPECT_EQ(run.frame()->objectName(), QStringLiteral("KestraLumoraAppWnd"));
        EXPECT_EQ(run.pane().contactCount(), 2) << "the stored contacts are listed";
        const int width = run.bar().width();
        EXPECT_NEAR(run.splitter().splitterPosition(), width / 2, run.bar().handleWidth())
            << "half the width without a stored position";

        run.manager().postMessage(UM_TOGGLE_CONTACT_PANE);
        ASSERT_TRUE(eventually([&] { return !run.pane().isVisible(); }));
        QTest::mouseClick(run.splitter().paneTab(), Qt::LeftButton);
        ASSERT_TRUE(eventually([&] { return run.pane().isVisible(); })) << "the tab shows it again";
        ASSERT_TRUE(eventually([&] { return run.splitter().splitterPosition() >= width / 2; }));

        drag(*run.bar().handle(1), -80);
        ASSERT_TRUE(eventually([&] { return run.splitter().splitterPosition() < width / 2 - 40; }));
        position = run.splitter().splitterPosition();
        const int paneWidth = run.pane().width();

        // A huge screen: the map takes the room, the contact pane keeps its width.
        run.frame()->resize(4000, 3000);
        ASSERT_TRUE(eventually([&] { return run.bar().width() > 3000; }));
        EXPECT_NEAR(run.pane().width(), paneWidth, 2);
        EXPECT_FALSE(run.frame()->grab().isNull());
        // Nothing at all: the frame keeps its smallest size and everything stays usable.
        run.frame()->resize(0, 0);
        QTest::qWait(50);
        EXPECT_GT(run.frame()->width(), 0);
        EXPECT_FALSE(run.frame()->grab().isNull());
        EXPECT_GE(run.splitter().splitterPosition(), 0);
        run.frame()->resize(960, 680);
        ASSERT_TRUE(
            eventually([&] { return run.bar().width() > 900 && run.bar().width() < 1000; }));
        position = run.splitter().splitterPosition();
        EXPECT_GT(position, 0);
        EXPECT_LT(position, run.bar().width());

        run.manager().postMessage(UM_SHOW_ABOUT);
        auto* about = run.frame()->findChild<AboutWindow*>();
        ASSERT_TRUE(eventually([&] { return about->isVisible(); }));
        run.manager().postMessage(UM_SET_NO_SLEEP, 0, 1);
        ASSERT_TRUE(eventually([&] { return run.frame()->sleepInhibitor().isEnabled(); }));
        run.manager().postMessage(UM_CONNECT, 0, 1);
        ASSERT_TRUE(eventually([&] { return run.frame()->shownStatus() == 8; }))
            << "the connect command signs in from offline";
        ASSERT_TRUE(eventually([&] {
            return log().find("ApplicationManager::changeOwnStatus: 0") != std::string::npos;
        }));

        run.manager().postMessage(UM_TOGGLE_CONTACT_PANE);
        ASSERT_TRUE(eventually([&] { return !run.pane().isVisible(); }));
        EXPECT_EQ(run.quit(), 0);
    }
    const std::wstring saved = savedSettings();
    EXPECT_NE(saved.find(L"<group name=\"splitter\"><item name=\"visibility\" value=\"1\"/><item "
                         L"name=\"pos\" value=\"" +
                         std::to_wstring(position) + L"\"/></group>"),
              std::wstring::npos)
        << kestra::wideToUtf8(saved);

    Settings::startup(settingsFile().wstring());
    {
        ProgramRun run;
        ASSERT_TRUE(run.started());
        EXPECT_FALSE(run.pane().isVisible()) << "hidden as it was left";
        run.frame()->resize(960, 680);  // as large as the last run left it
        ASSERT_TRUE(eventually([&] { return run.bar().width() > 900; }));
        QTest::mouseClick(run.splitter().paneTab(), Qt::LeftButton);
        ASSERT_TRUE(eventually([&] { return run.splitter().splitterPosition() == position; }))
            << "where the user left the bar, not " << run.splitter().splitterPosition();
        EXPECT_EQ(run.quit(), 0);
    }
    EXPECT_THAT(log(), ::testing::Not(HasSubstr("[ERROR]")));
}

}  // namespace
