#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <thread>

namespace platform {

// How a running client is found and asked to come forward: it listens on a local socket
// named after its main window class; a second start connects and sends "raise".
class InstanceChannel {
public:
    enum class RaiseResult { NoInstance, Raised, Failed };

    explicit InstanceChannel(const std::string& name);
    InstanceChannel(const InstanceChannel&) = delete;
    InstanceChannel& operator=(const InstanceChannel&) = delete;
    ~InstanceChannel();

    // Starts answering requests on a thread of its own; onRaise runs there and returns
    // whether the window came forward. Only the holder of the single-instance lock listens.
    bool listen(std::function<bool()> onRaise);
    void stop();
    bool isListening() const { return listening_.load(); }

    // Asks the instance listening under this name to come forward.
    RaiseResult requestRaise(int timeoutMs = 2000) const;

private:
    void serve();
    void answer(int client);

    std::string path_;
    int listenFd_ = -1;
    std::atomic<bool> listening_{false};
    std::atomic<bool> stopping_{false};
    std::function<bool()> onRaise_;
    std::thread thread_;
};

}  // namespace platform
