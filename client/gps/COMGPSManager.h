#pragma once

#include <atomic>
#include <memory>
#include <string>

#include "client/gps/ICOMGPSCommunicator.h"
#include "client/gps/IGPSManager.h"
#include "client/gps/NMEALineBuffer.h"
#include "client/gps/NMEAParser.h"
#include "kestra/Clock.h"
#include "kestra/Mutex.h"
#include "kestra/Thread.h"
#include "platform/SerialPortNames.h"

// The serial GPS source: reads NMEA sentences from a serial port on a worker thread and
// reports them to its listener.
//
// States: stopped (no thread, port closed) -> startGPSDevice -> running (port open, the
// worker reads) -> stopGPSDevice -> stopped. While running, an unplugged receiver is
// looked for again after every pause and read on when it is back.
//
// The worker handles one line per pass. When a pass found nothing to handle, nothing new
// came in and no complete line waits, the receiver is idle (or gone) and the worker pauses
// for NO_SENTENCE_PAUSE_MS; while data flows it never pauses, so it cannot fall behind
// the receiver and let the port's queue overflow. Pauses end early when the source stops.
class COMGPSManager : public IGPSManager {
public:
    static constexpr unsigned int NO_SENTENCE_PAUSE_MS = 5000;
    static constexpr int SEARCH_PORTS = 20;
    static constexpr int SEARCH_READS = 6;
    static constexpr int SEARCH_HEADERS = 3;

    explicit COMGPSManager(kestra::IClock& clock = kestra::SystemClock::instance(),
                           platform::SerialPortNames portNames = platform::SerialPortNames());
    ~COMGPSManager() override;

    void run() override;
    // Opens the port and starts the worker. A port that cannot be opened gives
    // kestra::IOStreamException; one that cannot be set up kestra::GPSException. The source
    // then stays stopped.
    void startGPSDevice() override;
    void stopGPSDevice() override;
    bool isGPSDeviceStarted() const override { return running_; }
    void setGPSListener(IGPSListener* listener) override { parser_.setListener(listener); }

    // "COMn:" or a device path (see platform::SerialPortNames); used at the next start.
    void setPortName(const std::wstring& portName);
    std::wstring getPortName() const;
    // n of a "COMn:" name, -1 for a device path.
    int getPortNumber() const;
    bool isFixValid() const { return parser_.fixValid(); }

    // Looks for a receiver on COM0: to COM19: in turn: a port counts when NMEA sentence
    // headers show up at least SEARCH_HEADERS times within SEARCH_READS reads. Stores the
    // first such port's name and returns true; false when none answers. Independent of this
    // source's own port. A port that cannot be set up ends the search with
    // kestra::GPSException.
    bool findGPSDevices(std::wstring& portName);

private:
    void readLoop();
    bool readInto();
    void handleLine(const std::string& line, bool& handled);
    void pause(unsigned int milliseconds);
    void reopenLostPort();
    bool answersWithNMEA(const std::wstring& portName);

    kestra::IClock& clock_;
    platform::SerialPortNames portNames_;
    std::unique_ptr<ICOMGPSCommunicator> communicator_;
    std::atomic<bool> running_{false};
    std::wstring portName_;
    NMEAParser parser_;
    std::unique_ptr<kestra::Thread> thread_;
    mutable kestra::Mutex lock_;  // start, stop and the port name

    // Used by the worker only.
    std::wstring activePortName_;
    NMEALineBuffer buffer_;
    bool portLost_ = false;
};
