#include "ReadOnlyFolder.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace testsupport {
namespace {

bool setImmutable(const fs::path& folder, bool on) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    int flags = 0;
    bool ok = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    if (ok) {
        flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
        ok = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    }
    ::close(fd);
    return ok;
}

}  // namespace

ReadOnlyFolder::ReadOnlyFolder(const fs::path& folder) : folder_(folder) {
    if (::geteuid() == 0) {
        immutable_ = setImmutable(folder_, true);
        ok_ = immutable_;
    } else {
        std::error_code ec;
        fs::permissions(folder_, fs::perms(0555), fs::perm_options::replace, ec);
        ok_ = !ec;
    }
}

ReadOnlyFolder::~ReadOnlyFolder() {
    if (immutable_) {
        setImmutable(folder_, false);
    } else {
        std::error_code ec;
        fs::permissions(folder_, fs::perms(0755), fs::perm_options::replace, ec);
    }
}

}  // namespace testsupport
