#include "platform/RandomAccessFile.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

std::unique_ptr<RandomAccessFile> RandomAccessFile::open(const std::string& path, bool create) {
    const int flags = O_RDWR | O_CLOEXEC | O_NOFOLLOW | (create ? O_CREAT : 0);
    int fd = -1;
    do {
        fd = ::open(path.c_str(), flags, 0644);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        return nullptr;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return nullptr;
    }
    return std::unique_ptr<RandomAccessFile>(new RandomAccessFile(fd));
}

RandomAccessFile::~RandomAccessFile() {
    ::close(fd_);
}

bool RandomAccessFile::readAt(std::uint64_t offset, void* data, std::size_t size) const {
    char* out = static_cast<char*>(data);
    while (size > 0) {
        const ssize_t n = ::pread(fd_, out, size, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        out += n;
        offset += static_cast<std::uint64_t>(n);
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

bool RandomAccessFile::writeAt(std::uint64_t offset, const void* data, std::size_t size) {
    const char* in = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = ::pwrite(fd_, in, size, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        in += n;
        offset += static_cast<std::uint64_t>(n);
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

std::int64_t RandomAccessFile::size() const {
    struct stat st {};
    return ::fstat(fd_, &st) == 0 ? static_cast<std::int64_t>(st.st_size) : -1;
}

bool RandomAccessFile::sync() {
    return ::fdatasync(fd_) == 0;
}

bool RandomAccessFile::truncate(std::uint64_t size) {
    return ::ftruncate(fd_, static_cast<off_t>(size)) == 0;
}

bool RandomAccessFile::isLinked() const {
    struct stat st {};
    return ::fstat(fd_, &st) == 0 && st.st_nlink > 0;
}

bool readWholeFile(const std::string& path, std::string& bytes) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    struct stat st {};
    bool ok = ::fstat(fd, &st) == 0;
    bytes.clear();
    if (ok) {
        // One byte more than the size: the read that finds the end needs no second buffer.
        bytes.resize(static_cast<std::size_t>(st.st_size) + 1);
        std::size_t have = 0;
        for (;;) {
            if (have == bytes.size()) {
                bytes.resize(have + 65536);  // the file may have grown: look for more
            }
            const ssize_t n = ::read(fd, &bytes[have], bytes.size() - have);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n < 0) {
                ok = false;
                break;
            }
            if (n == 0) {
                break;
            }
            have += static_cast<std::size_t>(n);
        }
        bytes.resize(have);
    }
    ::close(fd);
    return ok;
}

}  // namespace platform
