#include "platform/FileSystemSync.h"

#include <fcntl.h>
#include <unistd.h>

#include "kestra/FileSync.h"

namespace platform {

bool syncToDisk(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    const bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
}

bool syncFileSystem(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    const bool ok = ::syncfs(fd) == 0;
    ::close(fd);
    return ok;
}

void installFileSync() {
    kestra::setFileSyncFunction(&syncToDisk);
}

}  // namespace platform
