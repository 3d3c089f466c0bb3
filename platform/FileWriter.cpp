#include "platform/FileWriter.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace platform {

FileWriter::~FileWriter() {
    close();
}

bool FileWriter::open(const std::string& path, unsigned int mode) {
    return openWith(path, O_TRUNC, mode);
}

bool FileWriter::create(const std::string& path, unsigned int mode) {
    return openWith(path, O_EXCL, mode);
}

bool FileWriter::openWith(const std::string& path, int flags, unsigned int mode) {
    close();
    error_ = 0;
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC | flags,
                          static_cast<mode_t>(mode));
    if (fd < 0) {
        error_ = errno;
        return false;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        error_ = errno != 0 ? errno : EINVAL;
        ::close(fd);
        return false;
    }
    fd_ = fd;
    return true;
}

bool FileWriter::write(const void* data, std::size_t size) {
    if (fd_ < 0) {
        return false;
    }
    const char* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t written = ::write(fd_, bytes, size);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            error_ = written < 0 ? errno : ENOSPC;
            return false;
        }
        bytes += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

bool FileWriter::sync() {
    if (fd_ < 0 || ::fsync(fd_) != 0) {
        error_ = fd_ < 0 ? EBADF : errno;
        return false;
    }
    return true;
}

bool FileWriter::close() {
    if (fd_ < 0) {
        return error_ == 0;
    }
    if (::close(fd_) != 0 && error_ == 0) {
        error_ = errno;
    }
    fd_ = -1;
    return error_ == 0;
}

}  // namespace platform
