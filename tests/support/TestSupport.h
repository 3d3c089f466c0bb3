#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace testsupport {

// A fresh folder under the temporary folder, removed with everything in it at the end.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }
    std::string str() const { return path_.string(); }
    std::wstring wstr() const { return path_.wstring(); }

private:
    std::filesystem::path path_;
};

// Sets environment variables for the scope and restores them afterwards.
class ScopedEnv {
public:
    ScopedEnv() = default;
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;
    void set(const std::string& name, const std::string& value);
    void unset(const std::string& name);

private:
    std::map<std::string, std::pair<bool, std::string>> saved_;
    void remember(const std::string& name);
};

// A child process started with its own environment; killed at the end if still running.
class ChildProcess {
public:
    ChildProcess() = default;
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // env entries replace or add to the current environment; an empty value removes one.
    bool start(const std::string& program, const std::vector<std::string>& args,
               const std::map<std::string, std::string>& env = {});
    // Waits for the exit; false when it did not end in time (a guard against hanging).
    bool waitExit(int timeoutMs, int& exitCode);
    bool isRunning();
    void sendSignal(int signal);
    pid_t pid() const { return pid_; }

private:
    pid_t pid_ = -1;
    bool reaped_ = false;
    int status_ = 0;
};

// Lowers the largest file this process may write for the scope, as a full disk would stop
// a write (the write fails with EFBIG; SIGXFSZ is ignored meanwhile).
class FileSizeLimit {
public:
    explicit FileSizeLimit(unsigned long bytes);
    ~FileSizeLimit();
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    unsigned long savedSoft_ = 0;
    unsigned long savedHard_ = 0;
    void (*savedHandler_)(int) = nullptr;
};

// For the calling thread and the scope, takes away root's power to read and write files
// whatever their mode (nothing changes for other users), so that a file of mode 000 is
// unreadable in a test run as root as well.
class NoReadOverride {
public:
    NoReadOverride();
    ~NoReadOverride();
    NoReadOverride(const NoReadOverride&) = delete;
    NoReadOverride& operator=(const NoReadOverride&) = delete;

private:
    unsigned int savedEffective_ = 0;
    bool changed_ = false;
};

std::string readFile(const std::filesystem::path& path);
void writeFile(const std::filesystem::path& path, const std::string& bytes);
// Polls until the predicate holds or timeoutMs passed; returns the predicate's last value.
bool waitUntil(const std::function<bool()>& predicate, int timeoutMs, int pollMs = 20);
// The build tree's program folder (LUMORA_BINARY_DIR/bin).
std::filesystem::path binaryDir();
std::filesystem::path sourceDir();

}  // namespace testsupport
