#include "PtyReceiver.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <stdexcept>
#include <thread>

namespace gpstesting {

PtyReceiver::PtyReceiver() {
    termios raw{};
    cfmakeraw(&raw);
    cfsetispeed(&raw, B9600);
    cfsetospeed(&raw, B9600);
    raw.c_cflag |= CLOCAL | CREAD;
    int slave = -1;
    char name[128];
    if (openpty(&master_, &slave, name, &raw, nullptr) != 0) {
        throw std::runtime_error("PtyReceiver: openpty failed");
    }
    // Without any slave open the master reports a hang-up; waitUntilOpened relies on it.
    ::close(slave);
    ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
    ::fcntl(master_, F_SETFD, FD_CLOEXEC);
    path_ = name;
}

PtyReceiver::~PtyReceiver() {
    unplug();
}

void PtyReceiver::linkAs(const std::filesystem::path& link) const {
    std::error_code ec;
    std::filesystem::remove(link, ec);
    std::filesystem::create_symlink(path_, link);
}

bool PtyReceiver::waitUntilOpened(int timeoutMs) const {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < deadline) {
        pollfd p{master_, POLLIN, 0};
        ::poll(&p, 1, 0);
        if ((p.revents & POLLHUP) == 0) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
}

bool PtyReceiver::write(const std::string& bytes, int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    std::size_t done = 0;
    while (done < bytes.size()) {
        if (master_ < 0 || std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        const ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
        } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
            return false;
        } else {
            pollfd p{master_, POLLOUT, 0};
            ::poll(&p, 1, 2);
        }
    }
    return true;
}

void PtyReceiver::unplug() {
    if (master_ >= 0) {
        ::close(master_);
        master_ = -1;
    }
}

}  // namespace gpstesting
