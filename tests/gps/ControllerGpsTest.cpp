// The controller owns the GPS: it reads the GPS settings at start, switches the GPS on when
// it was on, and stops it when it goes.

#include <gtest/gtest.h>

#include <future>

#include "FakeGui.h"
#include "NmeaText.h"
#include "PtyReceiver.h"
#include "TestSupport.h"
#include "client/app/ApplicationManager.h"
#include "client/gps/GPSDeviceSelector.h"
#include "kestra/Log.h"
#include "kestra/Settings.h"
#include "kestra/TextCodec.h"

using kestra::Settings;

namespace {

constexpr int WAIT_MS = 20000;  // only so that a broken test cannot hang

class ControllerGpsTest : public ::testing::Test {
protected:
    void SetUp() override {
        kestra::Log::open((dir.path() / "lumora.log").wstring(), kestra::LOG_INFO, 1000000);
        Settings::startup((dir.path() / "settings.cfg").wstring());
        Settings::setStringValue(L"gps.comPortName", kestra::utf8ToWide(receiver.path()));
        Settings::setIntValue(L"gps.useDriver", 0);
    }
    void TearDown() override {
        Settings::shutdown();
        kestra::Log::close();
    }
    std::future<int> start(ApplicationManager& manager) {
        auto result =
            std::async(std::launch::async, [&manager] { return manager.runApplication(); });
        EXPECT_TRUE(
            testsupport::waitUntil([&] { return factory.mainFrame.load() != nullptr; }, WAIT_MS));
        return result;
    }
    std::string log() const { return testsupport::readFile(dir.path() / "lumora.log"); }

    testsupport::TempDir dir;
    gpstesting::PtyReceiver receiver;
    FakeGuiThread gui;
    FakeGuiFactory factory{gui};
    FastClock clock;
};

TEST_F(ControllerGpsTest, AGPSThatWasOnIsSwitchedOnAtStartAndOffAtTheEnd) {
    Settings::setStringValue(L"GPSDevice.state", L"ON");
    {
        ApplicationManager manager(gui, factory, clock);
        auto result = start(manager);
        ASSERT_TRUE(receiver.waitUntilOpened(WAIT_MS)) << "the serial source opened the port";
        GPSDeviceSelector* selector = manager.getGPSDeviceSelector();
        ASSERT_NE(selector, nullptr);
        EXPECT_EQ(selector->getState(), GPSDeviceSelector::STATE_ON);
        EXPECT_FALSE(selector->isUsingDriver());
        EXPECT_EQ(selector->getCOMPortName(), kestra::utf8ToWide(receiver.path()));
        EXPECT_TRUE(manager.isSearchingGPSFix());

        // Readings reach the controller: a fix ends the search.
        ASSERT_TRUE(receiver.write(
            gpstesting::sentence("GPGGA,123519,4807.038,N,01131.000,E,1,05,0.9,545.4,M,,M,,") +
            gpstesting::sentence("GPGSV,1,1,01,04,40,083,46")));
        EXPECT_TRUE(testsupport::waitUntil([&] { return !manager.isSearchingGPSFix(); }, WAIT_MS));
        manager.quit();
        EXPECT_EQ(result.get(), 0);
    }
    EXPECT_FALSE(receiver.waitUntilOpened(100)) << "the GPS was stopped with the controller";
}

// The GPS button: on (searching) and off again, remembered for the next start; a receiver
// that cannot be opened leaves the GPS off and says so.
TEST_F(ControllerGpsTest, TheSwitchTurnsTheGPSOnAndOffAndRemembersIt) {
    ApplicationManager manager(gui, factory, clock);
    IGpsControl& gps = manager;
    auto result = start(manager);
    EXPECT_EQ(gps.switchGPS(), IGpsControl::GPS_STATE_SEARCHING);
    ASSERT_TRUE(receiver.waitUntilOpened(WAIT_MS));
    EXPECT_EQ(Settings::getStringValue(L"GPSDevice.state"), L"ON");
    ASSERT_TRUE(receiver.write(
        gpstesting::sentence("GPGGA,123519,4807.038,N,01131.000,E,1,05,0.9,545.4,M,,M,,") +
        gpstesting::sentence("GPGSV,1,1,01,04,40,083,46")));
    ASSERT_TRUE(testsupport::waitUntil([&] { return !manager.isSearchingGPSFix(); }, WAIT_MS));
    EXPECT_EQ(gps.switchGPS(), IGpsControl::GPS_STATE_OFF);
    EXPECT_EQ(manager.getGPSDeviceSelector()->getState(), GPSDeviceSelector::STATE_OFF);
    EXPECT_EQ(Settings::getStringValue(L"GPSDevice.state"), L"OFF");

    manager.getGPSDeviceSelector()->setCOMPortName(L"COM19:");
    EXPECT_EQ(gps.switchGPS(), IGpsControl::GPS_STATE_OFF);
    EXPECT_EQ(Settings::getStringValue(L"GPSDevice.state"), L"OFF");
    EXPECT_NE(log().find("[ERROR] ApplicationManager::onChangeGPSState: the GPS could not be "
                         "switched on"),
              std::string::npos);
    manager.getGPSDeviceSelector()->setCOMPortName(kestra::utf8ToWide(receiver.path()));
    EXPECT_EQ(gps.switchGPS(), IGpsControl::GPS_STATE_SEARCHING);
    EXPECT_TRUE(manager.isSearchingGPSFix()) << "switching on searches for a fix again";
    manager.quit();
    EXPECT_EQ(result.get(), 0);
}

TEST_F(ControllerGpsTest, AnyOtherStateLeavesTheGPSOff) {
    Settings::setStringValue(L"GPSDevice.state", L"on");
    ApplicationManager manager(gui, factory, clock);
    auto result = start(manager);
    EXPECT_FALSE(receiver.waitUntilOpened(300));
    EXPECT_EQ(manager.getGPSDeviceSelector()->getState(), GPSDeviceSelector::STATE_OFF);
    manager.quit();
    EXPECT_EQ(result.get(), 0);
}

TEST_F(ControllerGpsTest, AGPSThatCannotStartLeavesTheProgramRunning) {
    Settings::setStringValue(L"GPSDevice.state", L"ON");
    Settings::setStringValue(L"gps.comPortName", L"COM19:");
    ApplicationManager manager(gui, factory, clock);
    auto result = start(manager);
    ASSERT_TRUE(testsupport::waitUntil(
        [&] { return log().find("the GPS could not be switched on") != std::string::npos; },
        WAIT_MS));
    EXPECT_EQ(manager.getGPSDeviceSelector()->getState(), GPSDeviceSelector::STATE_OFF);
    manager.quit();
    EXPECT_EQ(result.get(), 0);
}

}  // namespace
