#include "GidFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <stdexcept>

namespace fixture {

namespace {

std::runtime_error failure(const std::string& what, const std::string& path) {
    return std::runtime_error(what + " " + path + ": " + std::strerror(errno));
}

}  // namespace

GidFile::GidFile(const std::string& path, long long firstGid) : path_(path), next_(firstGid) {
    std::ifstream in(path_);
    if (!in) {
        return;
    }
    long long stored = 0;
    if (!(in >> stored) || stored <= 0) {
        throw std::runtime_error("not a GID counter: " + path_);
    }
    // A larger first id (given on the command line) moves the counter on, never back.
    next_ = std::max(stored, firstGid);
}

long long GidFile::take() {
    write(next_ + 1);
    return next_++;
}

void GidFile::write(long long next) const {
    const std::string temporary = path_ + ".tmp";
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) {
        throw failure("cannot create", temporary);
    }
    const std::string text = std::to_string(next) + "\n";
    const bool written = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    const bool synced = written && ::fsync(fd) == 0;
    ::close(fd);
    if (!synced || std::rename(temporary.c_str(), path_.c_str()) != 0) {
        const std::runtime_error error = failure("cannot write", path_);
        std::remove(temporary.c_str());
        throw error;
    }
    // The rename itself must reach the disk before the id is handed out.
    const std::size_t slash = path_.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : path_.substr(0, slash + 1);
    const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
}

}  // namespace fixture
