#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <memory>
#include <thread>

#include "NmeaText.h"
#include "PtyReceiver.h"
#include "RecordingClock.h"
#include "TestSupport.h"
#include "client/gps/COMGPSManager.h"
#include "kestra/Log.h"
#include "platform/SerialPortNames.h"

using gpstesting::PtyReceiver;
using gpstesting::sentence;
using platform::SerialPortNames;

namespace {

// A receiver that, while someone has its port open, sends a cycle of sentences every
// 50 ms; sentences = 0 sends a fixed text once per opening instead.
class TalkingReceiver {
public:
    explicit TalkingReceiver(std::string cycle, bool repeat = true)
        : cycle_(std::move(cycle)), repeat_(repeat), thread_([this] { talk(); }) {}
    ~TalkingReceiver() {
        stop_ = true;
        thread_.join();
    }
    PtyReceiver& pty() { return pty_; }

private:
    void talk() {
        bool sentThisOpening = false;
        while (!stop_) {
            if (!pty_.waitUntilOpened(20)) {
                sentThisOpening = false;
                continue;
            }
            // Let the reader finish setting the port up (it discards what came before).
            std::this_thread::sleep_for(std::chrono::milliseconds(30));
            if (repeat_ || !sentThisOpening) {
                pty_.write(cycle_, 1000);
                sentThisOpening = true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    }

    PtyReceiver pty_;
    std::string cycle_;
    bool repeat_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

class PortSearchTest : public ::testing::Test {
protected:
    void SetUp() override {
        kestra::Log::open((dir.path() / "lumora.log").wstring(), kestra::LOG_INFO, 10000000);
        std::filesystem::create_directories(devices);
        std::filesystem::create_directories(ttyClass);
    }
    void TearDown() override { kestra::Log::close(); }
    SerialPortNames names() const { return SerialPortNames(devices.string(), ttyClass.string()); }
    std::string log() const { return testsupport::readFile(dir.path() / "lumora.log"); }

    testsupport::TempDir dir;
    std::filesystem::path devices = dir.path() / "dev";
    std::filesystem::path ttyClass = dir.path() / "class-tty";
    gpstesting::RecordingClock clock;
};

const std::string CYCLE =
    sentence("GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,") +
    sentence("GPGSA,A,3,04,05,09,12,24,,,,,,,,2.5,1.3,2.1") +
    sentence("GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W");

TEST_F(PortSearchTest, PortNumbersFollowTheDocumentedDeviceOrder) {
    PtyReceiver a, b, c, d, e, f;
    a.linkAs(devices / "ttyS0");
    b.linkAs(devices / "ttyUSB10");
    c.linkAs(devices / "ttyACM0");
    d.linkAs(devices / "ttyUSB2");
    e.linkAs(devices / "rfcomm0");
    f.linkAs(devices / "ttyS1");
    testsupport::writeFile(devices / "ttyUSB3.lock", "");
    std::filesystem::create_symlink(dir.path() / "gone", devices / "ttyUSB4");  // unplugged
    std::filesystem::create_directories(ttyClass / "ttyS0");
    std::filesystem::create_directories(ttyClass / "ttyS1");
    testsupport::writeFile(ttyClass / "ttyS0" / "type", "4\n");  // a 16550A
    testsupport::writeFile(ttyClass / "ttyS1" / "type", "0\n");  // no UART behind it

    const std::vector<std::string> expected = {
        (devices / "ttyUSB2").string(), (devices / "ttyUSB10").string(),
        (devices / "ttyACM0").string(), (devices / "rfcomm0").string(),
        (devices / "ttyS0").string()};
    EXPECT_EQ(names().devices(), expected);
    EXPECT_EQ(names().devicePath(L"COM0:"), expected[0]);
    EXPECT_EQ(names().devicePath(L"com4"), expected[4]);
    EXPECT_EQ(names().devicePath(L"COM5:"), "");
    EXPECT_EQ(names().devicePath(L"/dev/ttyXYZ"), "/dev/ttyXYZ");
    EXPECT_EQ(names().devicePath(L"LPT1:"), "");

    EXPECT_EQ(SerialPortNames::portNumber(L"COM4:"), 4);
    EXPECT_EQ(SerialPortNames::portNumber(L"COM12"), 12);
    EXPECT_EQ(SerialPortNames::portNumber(L"CO"), -1);
    EXPECT_EQ(SerialPortNames::portNumber(L"COM:"), -1);
    EXPECT_EQ(SerialPortNames::portNumber(L"COM4x:"), -1);
    EXPECT_EQ(SerialPortNames::portNumber(L"/dev/ttyUSB0"), -1);
}

TEST_F(PortSearchTest, FindsTheAnsweringPortAmongSilentOnes) {
    PtyReceiver silent;
    TalkingReceiver receiver(CYCLE);
    PtyReceiver laterSilent;
    silent.linkAs(devices / "ttyUSB0");
    receiver.pty().linkAs(devices / "ttyUSB1");
    laterSilent.linkAs(devices / "ttyACM0");

    COMGPSManager manager(clock, names());
    std::wstring found;
    ASSERT_TRUE(manager.findGPSDevices(found));
    EXPECT_EQ(found, L"COM1:");
    EXPECT_FALSE(laterSilent.waitUntilOpened(50)) << "the search stops at the first answer";
    EXPECT_FALSE(receiver.pty().waitUntilOpened(50)) << "the port found is closed again";
}

TEST_F(PortSearchTest, FindsNoneWhenNoPortAnswersEnough) {
    PtyReceiver silent;
    // Two sentence headers and then silence: fewer than three in six reads.
    TalkingReceiver weak(sentence("GPGGA,1,4807.038,N,01131.000,E,1,08,,,M,,M,,") +
                             sentence("GPGLL,4916.45,N,12311.12,W,225444,A") +
                             sentence("GPRMC,1,A,4807.038,N,01131.000,E,,,230394,,"),
                         false);
    silent.linkAs(devices / "ttyUSB0");
    weak.pty().linkAs(devices / "ttyUSB1");

    COMGPSManager manager(clock, names());
    std::wstring found = L"unchanged";
    EXPECT_FALSE(manager.findGPSDevices(found));
    EXPECT_EQ(found, L"unchanged");
    // COM2: to COM19: do not exist: each is skipped after a warning.
    EXPECT_NE(log().find("[WARNING] COMGPSManager::findGPSDevices , IOStreamException"),
              std::string::npos);
}

}  // namespace
