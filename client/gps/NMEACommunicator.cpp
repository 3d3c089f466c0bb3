#include "client/gps/NMEACommunicator.h"

#include <cerrno>
#include <cstring>

#include "kestra/Exceptions.h"
#include "kestra/Log.h"
#include "kestra/TextCodec.h"

using kestra::Log;

NMEACommunicator::NMEACommunicator(platform::SerialPortNames portNames)
    : portNames_(std::move(portNames)) {}

NMEACommunicator::~NMEACommunicator() {
    port_.close();
}

void NMEACommunicator::startGPS(const wchar_t* portName) {
    if (portName == nullptr) {
        Log::error("NMEACommunicator::startGPS , portName == NULL");
        throw kestra::NullPointerException("NMEACommunicator::startGPS", "portName == NULL");
    }
    port_.close();
    const std::string device = portNames_.devicePath(portName);
    if (device.empty() || !port_.open(device)) {
        const std::string reason = device.empty() ? "no such serial device" : std::strerror(errno);
        Log::warning("NMEACommunicator::startGPS, CreateFile error");
        Log::warning("NMEACommunicator::startGPS: " + kestra::wideToUtf8(portName) + " (" +
                     (device.empty() ? std::string("-") : device) + "): " + reason);
        throw kestra::IOStreamException("NMEACommunicator::startGPS", "CreateFile error");
    }
    if (!port_.discardQueued()) {
        failSetup("NMEACommunicator::startGPS, PurgeComm error");
    }
    if (!port_.configure(BAUD_RATE)) {
        failSetup("NMEACommunicator::startGPS, SetCommState error");
    }
}

void NMEACommunicator::failSetup(const char* message) {
    Log::warning(message);
    if (!port_.close()) {
        Log::warning("NMEACommunicator::startGPS, CloseHandle(hCom)");
    }
    throw kestra::GPSException("NMEACommunicator::startGPS", message);
}

void NMEACommunicator::stopGPS() {
    if (!port_.close()) {
        Log::warning("NMEACommunicator::startGPS, CloseHandle(hCom)");
        throw kestra::IOStreamException("NMEACommunicator::startGPS", "CloseHandle error");
    }
}

// All bytes read are kept, NUL bytes included: receivers that mix binary packets into
// their NMEA output must not lose the text that follows a NUL in the same read.
int NMEACommunicator::readData(std::string& out) {
    char buffer[READ_SIZE];
    const platform::SerialPort::ReadResult result = port_.read(buffer, READ_SIZE);
    switch (result.status) {
        case platform::SerialPort::ReadStatus::Data:
            out.assign(buffer, result.count);
            break;
        case platform::SerialPort::ReadStatus::Timeout:
            out.clear();
            break;
        case platform::SerialPort::ReadStatus::Gone:
        case platform::SerialPort::ReadStatus::Error:
            out.clear();
            throw kestra::IOStreamException("NMEACommunicator::readData",
                                            result.status == platform::SerialPort::ReadStatus::Gone
                                                ? "device gone"
                                                : "ReadFile error");
    }
    return static_cast<int>(result.count);
}
