#include "kestra/Thread.h"

#include <chrono>
#include <map>
#include <system_error>

#include "kestra/Exceptions.h"
#include "kestra/Log.h"

namespace kestra {
namespace {

std::mutex registryMutex;
std::map<std::thread::id, Thread*>& registry() {
    static std::map<std::thread::id, Thread*> threads;
    return threads;
}

}  // namespace

Thread::Thread(IRunnable* runnable, const std::wstring& name) : runnable_(runnable), name_(name) {}

Thread::~Thread() {
    if (thread_.joinable()) {
        if (thread_.get_id() == std::this_thread::get_id()) {
            thread_.detach();
        } else {
            thread_.join();
        }
    }
}

void Thread::setName(const std::wstring& name) {
    Mutex::Locker lock(mutex_);
    name_ = name;
}

std::wstring Thread::getName() const {
    Mutex::Locker lock(mutex_);
    return name_;
}

void Thread::start() {
    {
        // Waiting for the previous run's end and claiming the object are one step: of two
        // concurrent callers, one starts now and the other waits for that run to end.
        std::unique_lock<std::mutex> guard(eventMutex_);
        eventChanged_.wait(guard, [this] { return finished_; });
        finished_ = false;
    }
    Mutex::Locker lock(mutex_);
    if (thread_.joinable()) {
        thread_.join();  // the previous run has signalled its end; reap its system thread
    }
    try {
        // The new thread first takes mutex_, which is held here until it is registered:
        // it runs only once start() has finished its bookkeeping.
        running_ = true;
        thread_ = std::thread(&Thread::procedure, this);
    } catch (const std::system_error&) {
        running_ = false;
        signalFinished();
        throw ThreadCreationException();
    }
    std::lock_guard<std::mutex> guard(registryMutex);
    registry()[thread_.get_id()] = this;
}

bool Thread::waitFinished(int timeoutMs) const {
    std::unique_lock<std::mutex> guard(eventMutex_);
    if (timeoutMs < 0) {
        eventChanged_.wait(guard, [this] { return finished_; });
        return true;
    }
    return eventChanged_.wait_for(guard, std::chrono::milliseconds(timeoutMs),
                                  [this] { return finished_; });
}

void Thread::sleep(unsigned int milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

Thread* Thread::current() {
    std::lock_guard<std::mutex> guard(registryMutex);
    const auto it = registry().find(std::this_thread::get_id());
    return it == registry().end() ? nullptr : it->second;
}

void Thread::signalFinished() {
    std::lock_guard<std::mutex> guard(eventMutex_);
    finished_ = true;
    eventChanged_.notify_all();
}

void Thread::procedure(Thread* self) {
    { Mutex::Locker gate(self->mutex_); }
    try {
        if (self->runnable_ != nullptr) {
            self->runnable_->run();
        }
    } catch (const std::exception& e) {
        Log::error("Thread::procedure: exception in thread \"" + std::string(e.what()) + "\".");
    } catch (...) {
        Log::error("Thread::procedure: unknown exception in thread.");
    }
    self->running_ = false;
    Mutex::Locker lock(self->mutex_);
    {
        std::lock_guard<std::mutex> guard(registryMutex);
        registry().erase(std::this_thread::get_id());
    }
    self->signalFinished();
}

}  // namespace kestra
