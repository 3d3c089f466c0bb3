#include "client/gps/COMGPSManager.h"

#include <algorithm>
#include <filesystem>

#include "client/gps/NMEACommunicator.h"
#include "client/gps/NMEASentence.h"
#include "kestra/Exceptions.h"
#include "kestra/Log.h"

using kestra::Log;

namespace {
constexpr unsigned int POLL_MS = 10;
}  // namespace

COMGPSManager::COMGPSManager(kestra::IClock& clock, platform::SerialPortNames portNames)
    : clock_(clock),
      portNames_(portNames),
      communicator_(std::make_unique<NMEACommunicator>(std::move(portNames))),
      parser_([this] { return running_.load(); },
              // A pause asked for by the parser is skipped while complete lines wait.
              [this](unsigned int ms) {
                  if (!buffer_.hasCompleteLine()) {
                      pause(ms);
                  }
              }) {}

COMGPSManager::~COMGPSManager() {
    try {
        stopGPSDevice();
    } catch (const std::exception&) {
        Log::warning("COMGPSManager::~COMGPSManager: the port could not be closed cleanly.");
    }
}

void COMGPSManager::setPortName(const std::wstring& portName) {
    kestra::Mutex::Locker lock(lock_);
    portName_ = portName;
}

std::wstring COMGPSManager::getPortName() const {
    kestra::Mutex::Locker lock(lock_);
    return portName_;
}

int COMGPSManager::getPortNumber() const {
    return platform::SerialPortNames::portNumber(getPortName());
}

void COMGPSManager::startGPSDevice() {
    kestra::Mutex::Locker lock(lock_);
    if (running_ && thread_) {
        return;
    }
    running_ = true;
    thread_.reset();
    try {
        communicator_->startGPS(portName_.c_str());
    } catch (const kestra::IOStreamException&) {
        running_ = false;
        throw kestra::IOStreamException("nmeaCommunicator->startGPS(portName)", "Error");
    } catch (...) {
        running_ = false;
        throw;
    }
    activePortName_ = portName_;
    thread_ = std::make_unique<kestra::Thread>(this, L"");
    try {
        thread_->start();
    } catch (...) {
        running_ = false;
        thread_.reset();
        communicator_->stopGPS();
        throw;
    }
}

void COMGPSManager::stopGPSDevice() {
    kestra::Mutex::Locker lock(lock_);
    running_ = false;
    if (!thread_ || kestra::Thread::current() == thread_.get()) {
        return;  // not started, or asked by a listener on the worker itself
    }
    while (!thread_->waitFinished(static_cast<int>(POLL_MS))) {
    }
    thread_.reset();
    communicator_->stopGPS();
}

void COMGPSManager::run() {
    try {
        readLoop();
    } catch (const std::exception& e) {
        Log::error(std::string("COMGPSManager::run: exception \"") + e.what() + "\".");
    }
    parser_.reset();
}

void COMGPSManager::readLoop() {
    buffer_ = NMEALineBuffer();
    parser_.reset();
    portLost_ = false;
    bool handled = true;
    bool dataCame = true;
    while (running_) {
        if (!handled && !dataCame && !buffer_.hasCompleteLine()) {
            pause(NO_SENTENCE_PAUSE_MS);
            if (!running_) {
                break;
            }
            if (portLost_) {
                reopenLostPort();
            }
        }
        handled = false;
        dataCame = readInto();
        std::string line;
        if (buffer_.takeLine(line)) {
            handleLine(line, handled);
        }
    }
}

// A listener's failure must not end the reading.
void COMGPSManager::handleLine(const std::string& line, bool& handled) {
    try {
        handled = parser_.handleLine(line);
    } catch (const std::exception& e) {
        handled = true;
        Log::error(std::string("COMGPSManager::run: exception \"") + e.what() +
                   "\" while handling a sentence.");
    }
}

// Reads once into the buffer when it has room and no complete line waits (a read may wait
// for the receiver, which must not hold up lines already there). True when new bytes came
// in or lines wait.
bool COMGPSManager::readInto() {
    if (!buffer_.wantsData() || buffer_.hasCompleteLine()) {
        return true;
    }
    if (portLost_) {
        return false;
    }
    std::string data;
    try {
        communicator_->readData(data);
    } catch (const kestra::IOStreamException&) {
        portLost_ = true;
        Log::warning("COMGPSManager::run: the GPS port is gone; waiting for it to return.");
        return false;
    }
    buffer_.append(data);
    return !data.empty();
}

void COMGPSManager::reopenLostPort() {
    const std::string device = portNames_.devicePath(activePortName_);
    std::error_code ec;
    if (device.empty() || !std::filesystem::exists(device, ec)) {
        return;  // still unplugged; asked again after the next pause
    }
    try {
        communicator_->stopGPS();
        communicator_->startGPS(activePortName_.c_str());
        portLost_ = false;
        Log::info("COMGPSManager::run: the GPS port is back.");
    } catch (const kestra::BasicException&) {
        // The next pause ends with another attempt.
    }
}

void COMGPSManager::pause(unsigned int milliseconds) {
    while (milliseconds > 0 && running_) {
        const unsigned int step = std::min(milliseconds, POLL_MS);
        clock_.sleepMs(step);
        milliseconds -= step;
    }
}

bool COMGPSManager::findGPSDevices(std::wstring& portName) {
    for (int n = 0; n < SEARCH_PORTS; ++n) {
        const std::wstring name = L"COM" + std::to_wstring(n) + L":";
        if (answersWithNMEA(name)) {
            portName = name;
            return true;
        }
    }
    return false;
}

bool COMGPSManager::answersWithNMEA(const std::wstring& portName) {
    NMEACommunicator port(portNames_);
    try {
        port.startGPS(portName.c_str());
        int headers = 0;
        for (int read = 0; read < SEARCH_READS; ++read) {
            std::string data;
            port.readData(data);
            headers += NMEASentence::countHeaders(data);
            if (headers >= SEARCH_HEADERS) {
                port.stopGPS();
                return true;
            }
        }
    } catch (const kestra::IOStreamException&) {
        Log::warning("COMGPSManager::findGPSDevices , IOStreamException");
    }
    try {
        port.stopGPS();
    } catch (const kestra::IOStreamException&) {
    }
    return false;
}
