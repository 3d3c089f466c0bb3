#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <mutex>
#include <random>
#include <thread>

#include "NmeaText.h"
#include "PtyReceiver.h"
#include "RecordingClock.h"
#include "RecordingGPSListener.h"
#include "TestSupport.h"
#include "client/gps/COMGPSManager.h"
#include "kestra/Exceptions.h"
#include "kestra/Log.h"
#include "kestra/TextCodec.h"

using gpstesting::GPSEvent;
using gpstesting::PtyReceiver;
using gpstesting::sentence;

namespace {

constexpr int WAIT_MS = 20000;  // only so that a broken test cannot hang

const char* const GGA = "GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,";

// Remembers how long the worker had paused when each position came in.
class PauseAwareListener : public gpstesting::RecordingGPSListener {
public:
    explicit PauseAwareListener(const gpstesting::RecordingClock& clock) : clock_(clock) {}
    void onGPSPosition(const WorldCoords& position, bool valid) override {
        {
            std::lock_guard<std::mutex> guard(mutex_);
            paused_.push_back(clock_.sleptMs());
        }
        RecordingGPSListener::onGPSPosition(position, valid);
    }
    std::uint64_t pausedBeforePosition(std::size_t i) const {
        std::lock_guard<std::mutex> guard(mutex_);
        return paused_.at(i);
    }

private:
    const gpstesting::RecordingClock& clock_;
    mutable std::mutex mutex_;
    std::vector<std::uint64_t> paused_;
};

class SerialSourceTest : public ::testing::Test {
protected:
    void SetUp() override {
        kestra::Log::open((dir.path() / "lumora.log").wstring(), kestra::LOG_DEBUG, 10000000);
    }
    void TearDown() override {
        manager.reset();
        kestra::Log::close();
    }
    void start(const std::string& portName) {
        manager = std::make_unique<COMGPSManager>(clock);
        manager->setPortName(kestra::utf8ToWide(portName));
        manager->setGPSListener(&listener);
        manager->startGPSDevice();
    }
    std::string log() const { return testsupport::readFile(dir.path() / "lumora.log"); }
    bool waitForPositions(std::size_t n) {
        return listener.waitForCount(GPSEvent::POSITION, n, WAIT_MS);
    }
    bool waitUntilPaused(std::uint64_t ms) {
        return testsupport::waitUntil([&] { return clock.sleptMs() >= ms; }, WAIT_MS);
    }

    testsupport::TempDir dir;
    gpstesting::RecordingClock clock;
    PauseAwareListener listener{clock};
    PtyReceiver receiver;
    std::unique_ptr<COMGPSManager> manager;
};

TEST_F(SerialSourceTest, SentencesWrittenToThePortAreReportedUntilStopped) {
    start(receiver.path());
    EXPECT_TRUE(manager->isGPSDeviceStarted());
    EXPECT_TRUE(receiver.waitUntilOpened(WAIT_MS));
    ASSERT_TRUE(receiver.write(
        sentence(GGA) + sentence("GPRMC,123520,A,4807.040,N,01131.002,E,010.5,084.4,230394,,")));
    ASSERT_TRUE(waitForPositions(2));
    EXPECT_TRUE(listener.waitForCount(GPSEvent::DATE, 1, WAIT_MS));
    EXPECT_EQ(listener.count(GPSEvent::SPEED), 1u);
    EXPECT_EQ(listener.eventsOf(GPSEvent::POSITION)[1].position.latMinutes, 7.040);

    manager->stopGPSDevice();
    EXPECT_FALSE(manager->isGPSDeviceStarted());
    EXPECT_FALSE(receiver.waitUntilOpened(100)) << "the port is closed after the stop";
    const std::size_t before = listener.events().size();
    receiver.write(sentence(GGA));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(listener.events().size(), before);
}

TEST_F(SerialSourceTest, ABadSentenceIsDroppedAndTheIdleWorkerPausesFiveSeconds) {
    start(receiver.path());
    // The checksum of this sentence is 47.
    ASSERT_TRUE(receiver.write("$" + std::string(GGA) + "*4A\r\n"));
    ASSERT_TRUE(waitUntilPaused(COMGPSManager::NO_SENTENCE_PAUSE_MS));
    EXPECT_TRUE(listener.events().empty());
    ASSERT_TRUE(receiver.write(sentence(GGA)));
    ASSERT_TRUE(waitForPositions(1));
    EXPECT_GE(listener.pausedBeforePosition(0), COMGPSManager::NO_SENTENCE_PAUSE_MS);
}

TEST_F(SerialSourceTest, OtherSentencesDoNotHoldTheReaderBack) {
    start(receiver.path());
    ASSERT_TRUE(receiver.waitUntilOpened(WAIT_MS));
    std::string burst;
    for (int i = 0; i < 100; ++i) {
        burst += sentence("GPGLL,4807.038,N,01131.000,E,1235" + std::to_string(i % 60) + ",A");
        burst += sentence("GPVTG,054.7,T,034.4,M,005.5,N,010.2,K");
        burst += "$PGRMZ,246,f,3*1B\r\n";
    }
    ASSERT_TRUE(receiver.write(burst + sentence(GGA)));
    ASSERT_TRUE(waitForPositions(1));
    EXPECT_EQ(listener.pausedBeforePosition(0), 0u)
        << "300 sentences of other types waited; none may cost a pause";
}

TEST_F(SerialSourceTest, ALineSplitAcrossReadsIsHandledOnceWhenComplete) {
    start(receiver.path());
    ASSERT_TRUE(receiver.waitUntilOpened(WAIT_MS));
    const std::string whole = sentence("GPGSV,1,1,02,04,40,083,46,05,17,308,41");
    const std::string gga = sentence(GGA);
    // The GSV stops just before its line feed: complete but for the line end.
    ASSERT_TRUE(receiver.write(gga + whole.substr(0, whole.size() - 1)));
    ASSERT_TRUE(waitForPositions(1));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(listener.count(GPSEvent::SATELLITES), 0u) << "not handled before its line feed";
    ASSERT_TRUE(receiver.write("\n" + gga));
    ASSERT_TRUE(waitForPositions(2));
    const auto reports = listener.eventsOf(GPSEvent::SATELLITES);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].satellites.size(), 2u);
}

TEST_F(SerialSourceTest, AMissingLineFeedLosesOnlyTheSentenceAfterIt) {
    start(receiver.path());
    ASSERT_TRUE(receiver.waitUntilOpened(WAIT_MS));
    std::string joined = sentence(GGA);
    joined.resize(joined.size() - 2);  // no CR LF
    joined += sentence("GPRMC,123520,A,4807.040,N,01131.002,E,010.5,084.4,230394,,");
    ASSERT_TRUE(receiver.write(joined + sentence(GGA)));
    ASSERT_TRUE(waitForPositions(2));
    EXPECT_EQ(listener.count(GPSEvent::SPEED), 0u) << "the RMC shared the GGA's line";
}

TEST_F(SerialSourceTest, BinaryNoiseNeitherStopsNorHangsTheReader) {
    start(receiver.path());
    ASSERT_TRUE(receiver.waitUntilOpened(WAIT_MS));
    std::mt19937 random(7);
    std::string noise;
    for (int i = 0; i < 6000; ++i) {
        noise += static_cast<char>(random() % 256);
    }
    std::string longLine(3000, 'x');  // no line feed at all for longer than a read
    ASSERT_TRUE(receiver.write("$" + longLine + noise + "\r\n" + std::string(5, '\0') +
                               sentence(GGA) + sentence(GGA)));
    ASSERT_TRUE(waitForPositions(1));
    for (const GPSEvent& e : listener.eventsOf(GPSEvent::POSITION)) {
        EXPECT_EQ(e.position.latDegrees, 48);
    }
    manager->stopGPSDevice();
    EXPECT_FALSE(manager->isGPSDeviceStarted());
}

TEST_F(SerialSourceTest, AnUnpluggedReceiverIsReadAgainWhenItReturns) {
    const auto link = dir.path() / "gps0";
    receiver.linkAs(link);
    start(link.string());
    ASSERT_TRUE(receiver.waitUntilOpened(WAIT_MS));
    ASSERT_TRUE(receiver.write(sentence(GGA)));
    ASSERT_TRUE(waitForPositions(1));

    receiver.unplug();
    ASSERT_TRUE(testsupport::waitUntil(
        [&] { return log().find("the GPS port is gone") != std::string::npos; }, WAIT_MS));
    EXPECT_TRUE(manager->isGPSDeviceStarted());

    PtyReceiver replugged;
    replugged.linkAs(link);
    ASSERT_TRUE(replugged.waitUntilOpened(WAIT_MS));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));  // let it set the port up
    ASSERT_TRUE(replugged.write(sentence(GGA)));
    ASSERT_TRUE(waitForPositions(2));
    EXPECT_NE(log().find("the GPS port is back"), std::string::npos);
    manager->stopGPSDevice();
}

TEST_F(SerialSourceTest, StoppingWhileTheReceiverIsGoneReturns) {
    start(receiver.path());
    ASSERT_TRUE(receiver.waitUntilOpened(WAIT_MS));
    receiver.unplug();
    ASSERT_TRUE(waitUntilPaused(COMGPSManager::NO_SENTENCE_PAUSE_MS));
    manager->stopGPSDevice();
    EXPECT_FALSE(manager->isGPSDeviceStarted());
}

TEST_F(SerialSourceTest, APortThatCannotBeOpenedLeavesTheSourceStopped) {
    manager = std::make_unique<COMGPSManager>(clock);
    manager->setPortName(kestra::utf8ToWide((dir.path() / "no-such-device").string()));
    try {
        manager->startGPSDevice();
        FAIL() << "no exception";
    } catch (const kestra::IOStreamException& e) {
        EXPECT_EQ(e.place(), "nmeaCommunicator->startGPS(portName)");
        EXPECT_EQ(e.condition(), "Error");
    }
    EXPECT_FALSE(manager->isGPSDeviceStarted());
    EXPECT_NE(log().find("[WARNING] NMEACommunicator::startGPS, CreateFile error"),
              std::string::npos);
    manager->stopGPSDevice();  // harmless when stopped
}

TEST_F(SerialSourceTest, TheFixStatusOutlivesARestart) {
    start(receiver.path());
    ASSERT_TRUE(receiver.waitUntilOpened(WAIT_MS));
    ASSERT_TRUE(receiver.write(sentence("GPRMC,123520,V,4807.038,N,01131.000,E,,,230394,,")));
    ASSERT_TRUE(listener.waitForCount(GPSEvent::DATE, 1, WAIT_MS));
    manager->stopGPSDevice();
    EXPECT_FALSE(manager->isFixValid());

    listener.clear();
    manager->startGPSDevice();
    ASSERT_TRUE(receiver.waitUntilOpened(WAIT_MS));
    ASSERT_TRUE(receiver.write(sentence(GGA)));
    ASSERT_TRUE(waitForPositions(1));
    EXPECT_FALSE(listener.eventsOf(GPSEvent::TIME)[0].valid);
}

}  // namespace
