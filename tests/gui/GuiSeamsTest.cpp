// The GUI thread over Qt, the queued-window helper and the main frame behind its proxy, on
// Qt's offscreen platform with real widgets.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QTest>
#include <QToolButton>
#include <thread>

#include "FakeApplicationManager.h"
#include "GuiThreadContract.h"
#include "TestSupport.h"
#include "client/app/IMainFrame.h"
#include "client/gui/GuiFactory.h"
#include "client/gui/MainFrame.h"
#include "client/gui/QtGuiThread.h"
#include "client/gui/QueuedWindow.h"
#include "kestra/Log.h"

using ::testing::HasSubstr;

namespace {

constexpr int WAIT_MS = 10000;  // only so that a broken test cannot hang

class GuiSeamsTest : public ::testing::Test {
protected:
    void SetUp() override {
        kestra::Log::open((dir.path() / "lumora.log").wstring(), kestra::LOG_DEBUG, 1000000);
    }
    void TearDown() override { kestra::Log::close(); }
    std::string log() const { return testsupport::readFile(dir.path() / "lumora.log"); }
    // Runs posted work (and deferred deletes) until the condition holds.
    static bool pumpUntil(const std::function<bool()>& condition) {
        return QTest::qWaitFor(condition, WAIT_MS);
    }

    testsupport::TempDir dir;
};

TEST_F(GuiSeamsTest, QtGuiThreadKeepsTheGuiThreadContract) {
    QtGuiThread gui(*qApp);
    testsupport::checkGuiThreadContract(
        gui, std::this_thread::get_id(), [&] { gui.exec(); }, [&] { gui.processEvents(50); });
    EXPECT_THAT(log(), HasSubstr("[ERROR] QtGuiThread: exception in GUI work: \"job fifty\"."));
    EXPECT_THAT(log(), HasSubstr("[ERROR] QtGuiThread: exception in GUI work: Window, gone"));
}

TEST_F(GuiSeamsTest, QueuedWorkReachesTheWindowOrIsSkippedWhenItIsGone) {
    QtGuiThread gui(*qApp);
    auto* label = new QLabel;
    QueuedWindow<QLabel> window(gui, label, "TestWindow");
    EXPECT_TRUE(window.exists());
    EXPECT_FALSE(window.isShown());

    // From another thread: the work runs on the GUI thread, against the window.
    std::thread::id ranOn;
    std::thread worker([&] {
        EXPECT_TRUE(window.post([&](QLabel& l) {
            ranOn = std::this_thread::get_id();
            l.setText(QStringLiteral("set"));
            l.show();
        }));
        EXPECT_TRUE(window.post([](QLabel&) { throw std::runtime_error("bad work"); }));
        EXPECT_TRUE(window.post([](QLabel& l) { l.setText(l.text() + QStringLiteral(" again")); }));
    });
    worker.join();
    ASSERT_TRUE(pumpUntil([&] { return label->text() == QStringLiteral("set again"); }));
    EXPECT_EQ(ranOn, std::this_thread::get_id());
    EXPECT_TRUE(window.isShown()) << "the shown state is mirrored for other threads";
    EXPECT_THAT(log(), HasSubstr("[ERROR] TestWindow: exception in GUI work: \"bad work\"."));
    label->hide();
    EXPECT_FALSE(window.isShown());

    // Queued while the window existed, run after it went: skipped on the GUI thread.
    bool ran = false;
    EXPECT_TRUE(window.post([&](QLabel&) { ran = true; }));
    delete label;
    EXPECT_FALSE(window.exists());
    EXPECT_FALSE(window.isShown());
    EXPECT_FALSE(window.post([&](QLabel&) { ran = true; })) << "no window: nothing queued";
    ASSERT_TRUE(pumpUntil([&] {
        return log().find("TestWindow: no window, the queued work is skipped.") !=
               std::string::npos;
    }));
    EXPECT_FALSE(ran);
    EXPECT_THAT(log(), HasSubstr("[DEBUG] TestWindow: no window, the work is not queued."));
}

// The window as a user meets it: made hidden, shown when the controller says so, "Exit" in
// the menu asks the controller to quit, and the controller's close request closes it.
TEST_F(GuiSeamsTest, TheMainFrameIsShownByTheControllerAndItsMenuReachesIt) {
    QtGuiThread gui(*qApp);
    GuiFactory factory(gui);
    FakeApplicationManager controller;
    std::unique_ptr<IMainFrame> proxy = factory.createMainFrame(controller);
    ASSERT_TRUE(proxy);
    MainFrame* frame = nullptr;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* candidate = qobject_cast<MainFrame*>(widget)) {
            frame = candidate;
        }
    }
    ASSERT_NE(frame, nullptr);
    EXPECT_FALSE(frame->isVisible()) << "the factory makes windows hidden";
    EXPECT_TRUE(proxy->isWindow());

    ASSERT_TRUE(proxy->show());
    ASSERT_TRUE(pumpUntil([&] { return frame->isVisible(); }));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(frame));
    QTest::mouseClick(frame->menuButton(), Qt::LeftButton);
    QMenu* menu = frame->mainMenu();
    ASSERT_TRUE(pumpUntil([&] { return menu->isVisible(); }));
    QAction* exit = menu->actions().last();
    EXPECT_EQ(exit->text(), QStringLiteral("Exit"));
    QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(exit).center());
    ASSERT_TRUE(pumpUntil([&] { return controller.count("quit()") == 1; }));
    EXPECT_TRUE(frame->isVisible()) << "the controller, not the menu, ends the program";

    ASSERT_TRUE(proxy->postClose());
    ASSERT_TRUE(pumpUntil([&] { return !proxy->isWindow(); })) << "closing deletes the frame";
    EXPECT_FALSE(proxy->bringToFront());
    EXPECT_FALSE(proxy->show());
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
