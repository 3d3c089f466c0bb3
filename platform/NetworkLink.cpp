#include "platform/NetworkLink.h"

#include <ifaddrs.h>
#include <net/if.h>
#include <sys/socket.h>

namespace platform {

bool networkLinkUp() {
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0) {
        return false;
    }
    bool up = false;
    for (const ifaddrs* entry = list; entry != nullptr && !up; entry = entry->ifa_next) {
        if (entry->ifa_addr == nullptr) {
            continue;
        }
        const int family = entry->ifa_addr->sa_family;
        const unsigned int flags = entry->ifa_flags;
        up = (family == AF_INET || family == AF_INET6) && (flags & IFF_UP) != 0 &&
             (flags & IFF_RUNNING) != 0 && (flags & IFF_LOOPBACK) == 0;
    }
    ::freeifaddrs(list);
    return up;
}

}  // namespace platform
