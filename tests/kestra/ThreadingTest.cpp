#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>

#include "TestSupport.h"
#include "kestra/Exceptions.h"
#include "kestra/Mutex.h"
#include "kestra/Thread.h"
#include "kestra/ThreadTimer.h"

using kestra::Mutex;
using kestra::Thread;

namespace {

bool otherThreadCanLock(Mutex& mutex) {
    bool locked = false;
    std::thread other([&] {
        locked = mutex.tryLock();
        if (locked) {
            mutex.unlock();
        }
    });
    other.join();
    return locked;
}

TEST(MutexTest, IsRecursiveAndNeedsOneUnlockPerLock) {
    Mutex mutex;
    mutex.lock();
    mutex.lock();
    EXPECT_TRUE(mutex.isLocked());
    mutex.unlock();
    EXPECT_FALSE(otherThreadCanLock(mutex)) << "still held once";
    mutex.unlock();
    EXPECT_TRUE(otherThreadCanLock(mutex));
}

TEST(MutexTest, LockerGuardsTheScopeAndRejectsNull) {
    Mutex mutex;
    {
        Mutex::Locker outer(&mutex);
        Mutex::Locker inner(mutex);
        EXPECT_FALSE(otherThreadCanLock(mutex));
    }
    EXPECT_TRUE(otherThreadCanLock(mutex));
    try {
        Mutex::Locker broken(nullptr);
        FAIL() << "a null mutex must throw";
    } catch (const kestra::NullPointerException& e) {
        EXPECT_EQ(e.place(), "Thread synchronization module");
        EXPECT_STREQ(e.what(), "NullPointerException");
    }
}

// A runnable that runs until released, counting its runs.
class GatedRunnable : public kestra::IRunnable {
public:
    void run() override {
        current = Thread::current();
        ++runs;
        while (!release) {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        release = false;
    }
    std::atomic<int> runs{0};
    std::atomic<bool> release{false};
    std::atomic<Thread*> current{nullptr};
};

TEST(ThreadTest, RunsTheRunnableAndReportsRunning) {
    GatedRunnable body;
    Thread thread(&body, L"worker");
    EXPECT_FALSE(thread.isRunning());
    thread.start();
    EXPECT_TRUE(thread.isRunning());
    while (body.runs == 0) {
        std::this_thread::yield();
    }
    EXPECT_EQ(body.current.load(), &thread) << "the registry knows the running thread";
    EXPECT_EQ(Thread::current(), nullptr) << "the test's thread is not a kestra::Thread";
    body.release = true;
    EXPECT_TRUE(thread.waitFinished(10000));
    EXPECT_FALSE(thread.isRunning());
    EXPECT_EQ(thread.getName(), L"worker");
}

TEST(ThreadTest, StartWhileRunningBlocksUntilTheRunEndsThenRunsAgain) {
    GatedRunnable body;
    Thread thread(&body);
    thread.start();
    std::atomic<bool> secondStartReturned{false};
    std::thread starter([&] {
        thread.start();
        secondStartReturned = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_FALSE(secondStartReturned) << "start must wait for the first run";
    EXPECT_EQ(body.runs, 1);
    body.release = true;
    starter.join();
    EXPECT_TRUE(secondStartReturned);
    while (body.runs < 2) {
        std::this_thread::yield();
    }
    body.release = true;
    EXPECT_TRUE(thread.waitFinished(10000));
    EXPECT_EQ(body.runs, 2);
}

class CountingRunnable : public kestra::IRunnable {
public:
    void run() override { ++runs; }
    std::atomic<int> runs{0};
};

// Two threads starting the same idle thread object at once: one run starts at once, the
// other after it; neither call may hang. Many rounds, since the collision is a race.
TEST(ThreadTest, ConcurrentStartsRunOneAfterTheOther) {
    constexpr int ROUNDS = 200;
    auto* body = new CountingRunnable;
    auto* thread = new Thread(body);
    std::atomic<int> rounds{0};
    std::thread driver([&] {
        for (int round = 0; round < ROUNDS; ++round) {
            std::thread other([&] { thread->start(); });
            thread->start();
            other.join();
            thread->waitFinished(-1);
            ++rounds;
        }
    });
    // A guard against a hang, not a speed goal: a deadlocked round never completes.
    const bool finished = testsupport::waitUntil([&] { return rounds == ROUNDS; }, 60000, 5);
    if (!finished) {
        driver.detach();  // the deadlocked objects are left alone; the process ends
        FAIL() << "concurrent start() calls deadlocked after " << rounds << " rounds";
    }
    driver.join();
    EXPECT_EQ(body->runs, 2 * ROUNDS);
    delete thread;
    delete body;
}

class ThrowingRunnable : public kestra::IRunnable {
public:
    void run() override { throw std::runtime_error("boom"); }
};

TEST(ThreadTest, AnExceptionEndsTheRunButNotTheProcess) {
    ThrowingRunnable body;
    Thread thread(&body);
    thread.start();
    EXPECT_TRUE(thread.waitFinished(10000));
    EXPECT_FALSE(thread.isRunning());
    thread.start();  // and it can run again
    EXPECT_TRUE(thread.waitFinished(10000));
}

class CountingListener : public kestra::ITimerListener {
public:
    void onTimer() override { ++ticks; }
    std::atomic<int> ticks{0};
};

TEST(ThreadTimerTest, CallsEachListenerOnceATickUntilStopped) {
    CountingListener a;
    CountingListener b;
    kestra::ThreadTimer timer;
    timer.addListener(&a);
    timer.addListener(&a);  // once only
    timer.addListener(&b);
    timer.start();
    while (b.ticks < 3) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    timer.stop();
    EXPECT_FALSE(timer.isInRun());
    const int afterStop = a.ticks;
    EXPECT_LE(std::abs(a.ticks - b.ticks), 1) << "a listener added twice is called once";
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(a.ticks, afterStop) << "no calls after stop returned";
}

TEST(ThreadTimerTest, StopWithoutStartReturnsAtOnce) {
    kestra::ThreadTimer timer;
    const auto before = std::chrono::steady_clock::now();
    timer.stop();
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::milliseconds(100));
    EXPECT_FALSE(timer.isActive());
}

}  // namespace
