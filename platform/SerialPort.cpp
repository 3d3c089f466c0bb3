#include "platform/SerialPort.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>

namespace platform {
namespace {

bool toSpeed(int baudRate, speed_t& speed) {
    switch (baudRate) {
        case 4800:
            speed = B4800;
            return true;
        case 9600:
            speed = B9600;
            return true;
        case 19200:
            speed = B19200;
            return true;
        case 38400:
            speed = B38400;
            return true;
        case 57600:
            speed = B57600;
            return true;
        case 115200:
            speed = B115200;
            return true;
        default:
            return false;
    }
}

}  // namespace

SerialPort::~SerialPort() {
    close();
}

bool SerialPort::open(const std::string& devicePath) {
    close();
    // O_NONBLOCK only for the open itself: a real port without carrier would otherwise
    // block here until the modem lines say so. O_NOCTTY keeps a hang-up of the device from
    // sending this process SIGHUP.
    const int fd = ::open(devicePath.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        return false;
    }
    // No sharing: further opens by other (unprivileged) processes fail while we hold it.
    if (::ioctl(fd, TIOCEXCL) != 0) {
        const int saved = errno;
        ::close(fd);
        errno = saved;
        return false;
    }
    fd_ = fd;
    return true;
}

bool SerialPort::configure(int baudRate) {
    speed_t speed = B0;
    if (fd_ < 0 || !toSpeed(baudRate, speed)) {
        errno = EINVAL;
        return false;
    }
    termios t{};
    if (::tcgetattr(fd_, &t) != 0) {
        return false;
    }
    // Raw bytes: no echo, no line editing, CR and LF passed through as they come.
    ::cfmakeraw(&t);
    t.c_cflag = (t.c_cflag & ~(CSIZE | PARENB | CSTOPB | CRTSCTS)) | CS8 | CLOCAL | CREAD;
    t.c_iflag &= ~(IXON | IXOFF | IXANY);
    // VMIN 0 with VTIME: a read returns what is queued at once, or 0 after the wait.
    // (With VMIN > 0 the wait would only start after the first byte.)
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = READ_WAIT_MS / 100;
    if (::cfsetispeed(&t, speed) != 0 || ::cfsetospeed(&t, speed) != 0) {
        return false;
    }
    if (::tcsetattr(fd_, TCSANOW, &t) != 0) {
        return false;
    }
    const int flags = ::fcntl(fd_, F_GETFL);
    return flags >= 0 && ::fcntl(fd_, F_SETFL, flags & ~O_NONBLOCK) == 0;
}

bool SerialPort::discardQueued() {
    return fd_ >= 0 && ::tcflush(fd_, TCIOFLUSH) == 0;
}

SerialPort::ReadResult SerialPort::read(char* buffer, std::size_t size) {
    ReadResult result;
    if (fd_ < 0) {
        result.status = ReadStatus::Gone;
        return result;
    }
    const ssize_t n = ::read(fd_, buffer, size);
    if (n > 0) {
        result.status = ReadStatus::Data;
        result.count = static_cast<std::size_t>(n);
    } else if (n == 0) {
        // Either the wait ran out or the device was hung up (then reads return 0 at once).
        result.status = hungUp() ? ReadStatus::Gone : ReadStatus::Timeout;
    } else if (errno == EINTR || errno == EAGAIN) {
        result.status = ReadStatus::Timeout;
    } else if (errno == EIO || errno == ENXIO || errno == ENODEV || errno == EBADF) {
        result.status = ReadStatus::Gone;
    } else {
        result.status = ReadStatus::Error;
    }
    return result;
}

bool SerialPort::hungUp() const {
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
        return true;
    }
    termios t{};
    return ::tcgetattr(fd_, &t) != 0 && (errno == EIO || errno == ENXIO || errno == ENODEV);
}

bool SerialPort::close() {
    if (fd_ < 0) {
        return true;
    }
    const int fd = fd_;
    fd_ = -1;
    ::ioctl(fd, TIOCNXCL);
    // After close() fails with EINTR the descriptor is gone anyway on Linux.
    return ::close(fd) == 0 || errno == EINTR;
}

}  // namespace platform
