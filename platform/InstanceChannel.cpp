#include "platform/InstanceChannel.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>

#include "kestra/TextCodec.h"
#include "platform/AppFolders.h"

namespace platform {
namespace {

bool makeAddress(const std::string& path, sockaddr_un& address) {
    std::memset(&address, 0, sizeof(address));
    address.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof(address.sun_path)) {
        return false;
    }
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    return true;
}

bool waitReadable(int fd, int timeoutMs) {
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, timeoutMs) > 0 && (p.revents & POLLIN) != 0;
}

}  // namespace

InstanceChannel::InstanceChannel(const std::string& name) {
    const std::string folder = kestra::wideToUtf8(runtimeFolder());
    if (!folder.empty()) {
        path_ = folder + "/" + name + ".sock";
    }
}

InstanceChannel::~InstanceChannel() {
    stop();
}

bool InstanceChannel::listen(std::function<bool()> onRaise) {
    sockaddr_un address{};
    if (listening_ || !makeAddress(path_, address)) {
        return false;
    }
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return false;
    }
    ::unlink(path_.c_str());  // a socket left by a crashed instance; we hold the lock now
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
        ::listen(fd, 4) != 0) {
        ::close(fd);
        return false;
    }
    listenFd_ = fd;
    onRaise_ = std::move(onRaise);
    stopping_ = false;
    listening_ = true;
    thread_ = std::thread(&InstanceChannel::serve, this);
    return true;
}

void InstanceChannel::stop() {
    if (!listening_) {
        return;
    }
    stopping_ = true;
    if (thread_.joinable()) {
        thread_.join();
    }
    ::close(listenFd_);
    ::unlink(path_.c_str());
    listenFd_ = -1;
    listening_ = false;
}

void InstanceChannel::serve() {
    while (!stopping_) {
        if (!waitReadable(listenFd_, 100)) {
            continue;
        }
        const int client = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (client >= 0) {
            answer(client);
            ::close(client);
        }
    }
}

void InstanceChannel::answer(int client) {
    ucred peer{};
    socklen_t length = sizeof(peer);
    if (::getsockopt(client, SOL_SOCKET, SO_PEERCRED, &peer, &length) != 0 ||
        peer.uid != ::getuid()) {
        return;  // only the same user may ask
    }
    char request[16] = {};
    if (!waitReadable(client, 1000) || ::read(client, request, sizeof(request) - 1) <= 0) {
        return;
    }
    if (std::strncmp(request, "raise", 5) != 0) {
        return;
    }
    const bool raised = onRaise_ && onRaise_();
    const char* reply = raised ? "ok\n" : "failed\n";
    (void)!::write(client, reply, std::strlen(reply));
}

InstanceChannel::RaiseResult InstanceChannel::requestRaise(int timeoutMs) const {
    sockaddr_un address{};
    if (!makeAddress(path_, address)) {
        return RaiseResult::NoInstance;
    }
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return RaiseResult::NoInstance;
    }
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0) {
        ::close(fd);
        return RaiseResult::NoInstance;
    }
    RaiseResult result = RaiseResult::Failed;
    const char request[] = "raise\n";
    char reply[16] = {};
    if (::write(fd, request, sizeof(request) - 1) == static_cast<ssize_t>(sizeof(request) - 1) &&
        waitReadable(fd, timeoutMs) && ::read(fd, reply, sizeof(reply) - 1) > 0 &&
        std::strncmp(reply, "ok", 2) == 0) {
        result = RaiseResult::Raised;
    }
    ::close(fd);
    return result;
}

}  // namespace platform
