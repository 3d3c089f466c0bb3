#include "platform/FileSystemSync.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/FileWriter.h"

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

kestra::NewFileResult writeNewPrivateFile(const std::string& path, const std::string& bytes) {
    FileWriter writer;
    if (!writer.create(path, S_IRUSR | S_IWUSR)) {
        return kestra::NewFileResult::NotCreated;
    }
    const bool written = writer.write(bytes.data(), bytes.size()) && writer.sync();
    if (!writer.close() || !written) {
        ::unlink(path.c_str());
        return kestra::NewFileResult::NotWritten;
    }
    return kestra::NewFileResult::Written;
}

void installFileSync() {
    kestra::setFileSyncFunction(&syncToDisk);
    kestra::setNewPrivateFileFunction(&writeNewPrivateFile);
}

}  // namespace platform
