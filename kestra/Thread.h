#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

#include "kestra/IRunnable.h"
#include "kestra/Mutex.h"

namespace kestra {

// A thread object that runs an IRunnable. States: idle (finished event set) -> running
// (after start) -> idle (after run returns); it can be started again once idle. Stopping is
// cooperative: the owner asks its runnable to end and polls isRunning(). An exception that
// escapes run() is logged and ends the run; it never leaves the thread.
class Thread {
public:
    explicit Thread(IRunnable* runnable, const std::wstring& name = std::wstring());
    Thread(const Thread&) = delete;
    Thread& operator=(const Thread&) = delete;
    // Waits for a run in progress to end (a thread object must outlive its run).
    virtual ~Thread();

    void setName(const std::wstring& name);
    std::wstring getName() const;

    // Blocks until a previous run has ended, then starts a new one.
    // Throws ThreadCreationException when the system cannot create a thread.
    void start();
    bool isRunning() const { return running_.load(); }
    // Waits up to timeoutMs (negative: forever) for the current run to end.
    bool waitFinished(int timeoutMs) const;

    static void sleep(unsigned int milliseconds);
    // The Thread object running the calling thread, or nullptr for other threads.
    static Thread* current();

private:
    static void procedure(Thread* self);
    void signalFinished();

    IRunnable* runnable_;
    std::wstring name_;
    std::atomic<bool> running_{false};
    std::thread thread_;
    mutable std::mutex eventMutex_;
    mutable std::condition_variable eventChanged_;
    bool finished_ = true;  // the finished event; guarded by eventMutex_
    mutable Mutex mutex_;
};

}  // namespace kestra
