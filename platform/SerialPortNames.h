#pragma once

#include <string>
#include <vector>

namespace platform {

// Maps the program's serial port names onto device files.
//
// "COMn:" names the n-th serial device present (counted from 0), in this order:
//   1. USB serial adapters            /dev/ttyUSB0, /dev/ttyUSB1, ...
//   2. USB ACM devices (most USB GPS) /dev/ttyACM0, ...
//   3. Bluetooth serial links         /dev/rfcomm0, ...
//   4. on-board ports with a UART     /dev/ttyS0, ..., then /dev/ttyAMA0, ...
// Within a kind the devices are ordered by their number (ttyUSB2 before ttyUSB10). Only
// devices that exist count, so unplugging a USB receiver renumbers the ports after it.
// On-board ports count only when the kernel reports a UART behind them.
// A name that starts with "/" is used as a device path as it is.
class SerialPortNames {
public:
    explicit SerialPortNames(std::string deviceFolder = "/dev",
                             std::string ttyClassFolder = "/sys/class/tty");

    // The serial devices present, in "COMn:" order.
    std::vector<std::string> devices() const;
    // The device for a port name, or "" when the name gives none.
    std::string devicePath(const std::wstring& portName) const;
    // n of a "COMn:" name ("COM" in any case, decimal n, the colon optional); -1 otherwise.
    static int portNumber(const std::wstring& portName);

private:
    std::vector<std::string> devicesOfKind(const std::string& prefix, bool needsUart) const;
    bool hasUart(const std::string& name) const;

    std::string deviceFolder_;
    std::string ttyClassFolder_;
};

}  // namespace platform
