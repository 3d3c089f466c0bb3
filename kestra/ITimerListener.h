#pragma once

namespace kestra {

// Called on the timer's thread about eight times a second.
class ITimerListener {
public:
    virtual void onTimer() = 0;
    virtual ~ITimerListener() = default;
};

}  // namespace kestra
