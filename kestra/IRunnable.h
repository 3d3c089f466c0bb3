#pragma once

namespace kestra {

// The body of a kestra::Thread.
class IRunnable {
public:
    virtual void run() = 0;
    virtual ~IRunnable() = default;
};

}  // namespace kestra
