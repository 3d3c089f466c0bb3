#include "platform/SingleInstanceLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "kestra/TextCodec.h"
#include "platform/AppFolders.h"

namespace platform {

SingleInstanceLock::SingleInstanceLock(const std::string& name) {
    const std::string folder = kestra::wideToUtf8(runtimeFolder(&folderProblem_));
    if (!folder.empty()) {
        path_ = folder + "/" + name + ".lock";
    }
}

SingleInstanceLock::~SingleInstanceLock() {
    release();
}

bool SingleInstanceLock::tryAcquire() {
    if (fd_ >= 0) {
        return true;
    }
    if (path_.empty()) {
        return false;
    }
    const int fd = ::open(path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) {
        return false;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return false;
    }
    fd_ = fd;
    return true;
}

bool SingleInstanceLock::acquire(int timeoutMs, int pollMs) {
    const auto start = std::chrono::steady_clock::now();
    while (!tryAcquire()) {
        const auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(
                                std::chrono::steady_clock::now() - start)
                                .count();
        if (timeoutMs >= 0 && waited >= timeoutMs) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(pollMs));
    }
    return true;
}

void SingleInstanceLock::release() {
    if (fd_ >= 0) {
        ::flock(fd_, LOCK_UN);
        ::close(fd_);
        fd_ = -1;
    }
}

}  // namespace platform
