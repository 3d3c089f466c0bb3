#include "client/app/GuiJob.h"

#include "kestra/Exceptions.h"
#include "kestra/Log.h"

void runGuiJob(const std::string& owner, const std::function<void()>& job) noexcept {
    try {
        job();
    } catch (const kestra::BasicException& e) {
        kestra::Log::error(owner + ": exception in GUI work: " + e.place() + ", " + e.condition());
    } catch (const std::exception& e) {
        kestra::Log::error(owner + ": exception in GUI work: \"" + std::string(e.what()) + "\".");
    } catch (...) {
        kestra::Log::error(owner + ": unknown exception in GUI work.");
    }
}
