#pragma once

#include <string>

namespace platform {

// A named, per-user lock shared by processes: a lock file in the runtime folder held with
// flock(). The system releases it when the holder ends, even by a crash.
class SingleInstanceLock {
public:
    explicit SingleInstanceLock(const std::string& name);
    SingleInstanceLock(const SingleInstanceLock&) = delete;
    SingleInstanceLock& operator=(const SingleInstanceLock&) = delete;
    ~SingleInstanceLock();

    // Takes the lock if no other process holds it; never waits.
    bool tryAcquire();
    // Tries every pollMs until acquired or timeoutMs passed (negative: forever).
    bool acquire(int timeoutMs, int pollMs = 100);
    void release();
    bool isHeld() const { return fd_ >= 0; }
    // Empty when no private folder could be found for the lock file.
    std::string path() const { return path_; }
    // What was wrong with the usual lock folder, when another one had to be used (or none
    // could be); empty otherwise. For the caller to report.
    const std::string& folderProblem() const { return folderProblem_; }

private:
    std::string path_;
    std::string folderProblem_;
    int fd_ = -1;
};

}  // namespace platform
