#pragma once

#include <functional>
#include <unordered_map>

#include "kestra/MessageQueue.h"

// The controller's message table: one handler per application message id. The table is
// filled before the controller loop starts and read only by the controller's thread.
class MessageDispatcher {
public:
    using Handler = std::function<void(kestra::ThreadMessage& message)>;

    // Sets the handler of a message id, in place of an earlier one.
    void add(unsigned int id, Handler handler);
    // Runs the handler of the message. A message without one is dropped (its payload is
    // freed with the message) and false is returned. An exception thrown by the handler is
    // logged and goes no further.
    bool dispatch(kestra::ThreadMessage& message) const;
    bool handles(unsigned int id) const { return handlers_.count(id) != 0; }

private:
    std::unordered_map<unsigned int, Handler> handlers_;
};
