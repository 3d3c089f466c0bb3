#include <gtest/gtest.h>

#include <memory>

#include "GpsdFake.h"
#include "NmeaText.h"
#include "PtyReceiver.h"
#include "RecordingClock.h"
#include "RecordingGPSListener.h"
#include "TestSupport.h"
#include "client/gps/GPSDeviceSelector.h"
#include "kestra/Exceptions.h"
#include "kestra/Log.h"
#include "kestra/TextCodec.h"

using gpstesting::GPSEvent;
using gpstesting::PtyReceiver;

namespace {

constexpr int WAIT_MS = 20000;  // only so that a broken test cannot hang

const std::string GGA =
    gpstesting::sentence("GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,");

class GPSDeviceSelectorTest : public ::testing::Test {
protected:
    void SetUp() override {
        kestra::Log::open((dir.path() / "lumora.log").wstring(), kestra::LOG_INFO, 10000000);
        // The position service is not running on this port.
        selector = std::make_unique<GPSDeviceSelector>(
            std::make_unique<COMGPSManager>(clock),
            std::make_unique<WM5DriverGPSManager>(clock, "127.0.0.1",
                                                  gpstesting::GpsdFake::freePort()),
            &listener);
        selector->setCOMPortName(kestra::utf8ToWide(receiver.path()));
    }
    void TearDown() override {
        selector.reset();
        kestra::Log::close();
    }
    std::string log() const { return testsupport::readFile(dir.path() / "lumora.log"); }

    testsupport::TempDir dir;
    gpstesting::RecordingClock clock;
    gpstesting::RecordingGPSListener listener;
    PtyReceiver receiver;
    std::unique_ptr<GPSDeviceSelector> selector;
};

TEST_F(GPSDeviceSelectorTest, SwitchesTheSerialSourceOnAndOff) {
    EXPECT_EQ(selector->getState(), GPSDeviceSelector::STATE_OFF);
    selector->start();
    EXPECT_EQ(selector->getState(), GPSDeviceSelector::STATE_ON);
    EXPECT_TRUE(selector->isStarted());
    ASSERT_TRUE(receiver.write(GGA));
    EXPECT_TRUE(listener.waitForCount(GPSEvent::POSITION, 1, WAIT_MS));
    selector->start();  // already on: nothing happens
    selector->stop();
    EXPECT_EQ(selector->getState(), GPSDeviceSelector::STATE_OFF);
    EXPECT_FALSE(selector->isStarted());
    EXPECT_FALSE(receiver.waitUntilOpened(100));
}

TEST_F(GPSDeviceSelectorTest, AServiceThatIsNotRunningLeavesTheGPSOff) {
    selector->setUseDriver(true);
    try {
        selector->start();
        FAIL() << "no exception";
    } catch (const kestra::IOStreamException& e) {
        EXPECT_EQ(e.place(), "WM5DriverGPSManager::startGPSDevice");
        EXPECT_EQ(e.condition(), "deviceHandle == INVALID_HANDLE_VALUE");
    }
    EXPECT_EQ(selector->getState(), GPSDeviceSelector::STATE_OFF);
    EXPECT_FALSE(selector->isStarted());
    EXPECT_FALSE(receiver.waitUntilOpened(100)) << "the serial source is not started instead";
    EXPECT_NE(log().find("[ERROR] WM5DriverGPSManager::startGPSDevice\n"), std::string::npos);
}

TEST_F(GPSDeviceSelectorTest, SelectingASourceRestartsTheGPSWithIt) {
    PtyReceiver other;
    selector->start();
    ASSERT_TRUE(receiver.waitUntilOpened(WAIT_MS));
    const std::wstring otherName = kestra::utf8ToWide(other.path());
    selector->selectSerialSource(&otherName);
    EXPECT_EQ(selector->getCOMPortName(), otherName);
    EXPECT_EQ(selector->getState(), GPSDeviceSelector::STATE_ON);
    EXPECT_TRUE(other.waitUntilOpened(WAIT_MS));
    EXPECT_FALSE(receiver.waitUntilOpened(100));

    EXPECT_THROW(selector->selectDriverSource(), kestra::IOStreamException);
    EXPECT_TRUE(selector->isUsingDriver());
    EXPECT_EQ(selector->getState(), GPSDeviceSelector::STATE_OFF);
    EXPECT_FALSE(other.waitUntilOpened(100)) << "the serial source was stopped first";

    selector->selectSerialSource();
    EXPECT_FALSE(selector->isUsingDriver());
    EXPECT_EQ(selector->getState(), GPSDeviceSelector::STATE_ON) << "off before, on after";
    EXPECT_TRUE(other.waitUntilOpened(WAIT_MS));
}

TEST_F(GPSDeviceSelectorTest, PortNumbersOfComNamesAndPaths) {
    selector->setCOMPortName(L"COM7:");
    EXPECT_EQ(selector->getCOMPortNumber(), 7);
    selector->setCOMPortName(L"/dev/ttyUSB0");
    EXPECT_EQ(selector->getCOMPortNumber(), -1);
    selector->setCOMPortName(L"C");
    EXPECT_EQ(selector->getCOMPortNumber(), -1);
}

TEST(WM5DriverGPSManagerTest, DecimalDegreesBecomeDegreesMinutesAndHemisphere) {
    std::int32_t degrees = -1, type = -1;
    double minutes = -1;
    WM5DriverGPSManager::toDegreesAndMinutes(-33.5, degrees, minutes, type);
    EXPECT_EQ(degrees, 33);
    EXPECT_DOUBLE_EQ(minutes, 30.0);
    EXPECT_EQ(type, 1);
    WM5DriverGPSManager::toDegreesAndMinutes(151.25, degrees, minutes, type);
    EXPECT_EQ(degrees, 151);
    EXPECT_DOUBLE_EQ(minutes, 15.0);
    EXPECT_EQ(type, 0);
    WM5DriverGPSManager::toDegreesAndMinutes(0.0, degrees, minutes, type);
    EXPECT_EQ(type, 1) << "0 counts as south or west";
}

TEST(WM5DriverGPSManagerTest, ReadingWithoutStartIsRefused) {
    WM5DriverGPSManager source(kestra::SystemClock::instance(), "127.0.0.1",
                               gpstesting::GpsdFake::freePort());
    platform::GpsdPosition position;
    EXPECT_THROW(source.readGPSDevice(position), kestra::IOStreamException);
    source.stopGPSDevice();  // harmless when stopped
    EXPECT_FALSE(source.isGPSDeviceStarted());
}

}  // namespace
