#pragma once

#include <string>

#include "client/gps/ICOMGPSCommunicator.h"
#include "platform/SerialPort.h"
#include "platform/SerialPortNames.h"

// The serial port of an NMEA receiver: 9600 baud, 8 data bits, no parity, one stop bit,
// reads of at most READ_SIZE bytes that return within half a second.
// Port names are those of platform::SerialPortNames ("COMn:" or a device path).
class NMEACommunicator : public ICOMGPSCommunicator {
public:
    static constexpr int BAUD_RATE = 9600;
    static constexpr int READ_SIZE = 1024;

    explicit NMEACommunicator(platform::SerialPortNames portNames = platform::SerialPortNames());
    ~NMEACommunicator() override;

    void startGPS(const wchar_t* portName) override;
    void stopGPS() override;
    int readData(std::string& out) override;

private:
    [[noreturn]] void failSetup(const char* message);

    platform::SerialPortNames portNames_;
    platform::SerialPort port_;
};
