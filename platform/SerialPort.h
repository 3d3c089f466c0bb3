#pragma once

#include <cstddef>
#include <string>

namespace platform {

// A serial device opened through termios: raw bytes, 8 data bits, no parity, one stop bit,
// no flow control, and reads that come back within a bounded time even when the device
// stays silent. The port is held exclusively while it is open.
class SerialPort {
public:
    enum class ReadStatus {
        Data,     // count bytes were read
        Timeout,  // nothing arrived within the read time
        Gone,     // the device was hung up or unplugged; every later read fails as well
        Error     // another read error (count is 0)
    };
    struct ReadResult {
        ReadStatus status = ReadStatus::Timeout;
        std::size_t count = 0;
    };

    // How long a read waits for the first byte when nothing is queued.
    static constexpr int READ_WAIT_MS = 500;

    SerialPort() = default;
    ~SerialPort();
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    // Opens the device for reading and writing; it does not become the controlling
    // terminal. False (errno kept) when it cannot be opened or another process holds it.
    bool open(const std::string& devicePath);
    bool isOpen() const { return fd_ >= 0; }
    // Sets raw 8N1 at the given rate (a termios rate such as 9600) with bounded reads.
    bool configure(int baudRate);
    // Drops everything queued in both directions.
    bool discardQueued();
    // One read of at most size bytes.
    ReadResult read(char* buffer, std::size_t size);
    // Closes the device; true when it was closed cleanly or was not open.
    bool close();

private:
    bool hungUp() const;

    int fd_ = -1;
};

}  // namespace platform
