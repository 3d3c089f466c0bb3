#include "platform/FileMove.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "platform/FileWriter.h"

namespace platform {
namespace {

constexpr std::size_t CHUNK = 64 * 1024;

// Copies the open source into a new file at path; false (with errno in error) on failure.
bool copyInto(int source, const std::string& path, unsigned int mode, int& error) {
    FileWriter writer;
    if (!writer.open(path, mode)) {
        error = writer.lastError();
        return false;
    }
    char buffer[CHUNK];
    for (;;) {
        const ssize_t got = ::read(source, buffer, sizeof(buffer));
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            error = errno;
            return false;
        }
        if (got == 0) {
            break;
        }
        if (!writer.write(buffer, static_cast<std::size_t>(got))) {
            error = writer.lastError();
            return false;
        }
    }
    if (!writer.sync() || !writer.close()) {
        error = writer.lastError();
        return false;
    }
    return true;
}

// The copy into a temporary file beside the target, renamed over it when complete.
bool copyOver(const std::string& from, const std::string& to, int& error) {
    const int source = ::open(from.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (source < 0) {
        error = errno;
        return false;
    }
    struct stat st {};
    if (::fstat(source, &st) != 0 || !S_ISREG(st.st_mode)) {
        error = EINVAL;
        ::close(source);
        return false;
    }
    const std::string temporary = to + ".partial";
    const bool copied = copyInto(source, temporary, st.st_mode & 07777, error);
    ::close(source);
    if (!copied || ::rename(temporary.c_str(), to.c_str()) != 0) {
        if (copied) {
            error = errno;
        }
        ::unlink(temporary.c_str());
        return false;
    }
    return true;
}

bool copyAcross(const std::string& from, const std::string& to, int& error) {
    if (!copyOver(from, to, error)) {
        return false;
    }
    ::unlink(from.c_str());
    return true;
}

}  // namespace

bool copyFile(const std::string& from, const std::string& to, int* error) {
    int code = 0;
    const bool copied = copyOver(from, to, code);
    if (error != nullptr) {
        *error = code;
    }
    return copied;
}

bool moveFile(const std::string& from, const std::string& to, int* error) {
    int code = 0;
    bool moved = ::rename(from.c_str(), to.c_str()) == 0;
    if (!moved) {
        code = errno;
        if (code == EXDEV) {
            code = 0;
            moved = copyAcross(from, to, code);
        }
    }
    if (error != nullptr) {
        *error = code;
    }
    return moved;
}

}  // namespace platform
