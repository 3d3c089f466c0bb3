#include "client/app/MessageDispatcher.h"

#include <string>

#include "kestra/Exceptions.h"
#include "kestra/Log.h"

void MessageDispatcher::add(unsigned int id, Handler handler) {
    handlers_[id] = std::move(handler);
}

bool MessageDispatcher::dispatch(kestra::ThreadMessage& message) const {
    const auto it = handlers_.find(message.id);
    if (it == handlers_.end()) {
        return false;
    }
    try {
        it->second(message);
    } catch (const kestra::BasicException& e) {
        kestra::Log::error("ApplicationManager::handleMessage: exception " + e.place() + ", " +
                           e.condition() + " (message " + std::to_string(message.id) + ").");
    } catch (const std::exception& e) {
        kestra::Log::error("ApplicationManager::handleMessage: exception \"" +
                           std::string(e.what()) + "\" (message " + std::to_string(message.id) +
                           ").");
    } catch (...) {
        kestra::Log::error("ApplicationManager::handleMessage: unknown exception (message " +
                           std::to_string(message.id) + ").");
    }
    return true;
}
