#pragma once

#include <filesystem>
#include <string>

namespace gpstesting {

// A pseudo-terminal that plays a serial GPS receiver. The test holds the master side and
// writes NMEA into it; the code under test opens the slave by its path (or through a link
// such as a fake /dev/ttyUSB0) exactly as it would open a real serial device.
class PtyReceiver {
public:
    PtyReceiver();
    ~PtyReceiver();
    PtyReceiver(const PtyReceiver&) = delete;
    PtyReceiver& operator=(const PtyReceiver&) = delete;

    // The slave device, e.g. /dev/pts/7.
    const std::string& path() const { return path_; }
    // Makes link point at the slave device.
    void linkAs(const std::filesystem::path& link) const;
    // True once someone holds the slave open.
    bool waitUntilOpened(int timeoutMs) const;
    // Writes all bytes, waiting while the reader's queue is full; false when the reader
    // did not take them within timeoutMs or the port is unplugged.
    bool write(const std::string& bytes, int timeoutMs = 20000);
    // Closes the master: the reader sees a hang-up, and the slave device disappears.
    void unplug();
    bool isPlugged() const { return master_ >= 0; }

private:
    int master_ = -1;
    std::string path_;
};

}  // namespace gpstesting
