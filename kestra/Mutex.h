#pragma once

#include <atomic>
#include <mutex>

namespace kestra {

// A recursive lock: the holding thread may take it again and must release it as often.
// The locked flag is informational (cleared by the first unlock, as it always was).
class Mutex {
public:
    Mutex();
    Mutex(const Mutex&) = delete;
    Mutex& operator=(const Mutex&) = delete;
    virtual ~Mutex();

    void lock();
    void unlock();
    bool tryLock();
    bool isLocked() const { return locked_.load(); }

    // Scope guard: locks in the constructor, unlocks in the destructor. A null mutex throws
    // NullPointerException("Thread synchronization module", "NullPointerException").
    class Locker {
    public:
        explicit Locker(Mutex* mutex);
        explicit Locker(Mutex& mutex) : Locker(&mutex) {}
        Locker(const Locker&) = delete;
        Locker& operator=(const Locker&) = delete;
        virtual ~Locker();

    private:
        Mutex* mutex_;
    };

private:
    std::recursive_mutex section_;
    bool initialised_ = false;
    std::atomic<bool> locked_{false};
};

// Same interface; kept as its own class for the places that name it.
class TryMutex : public Mutex {};

}  // namespace kestra
