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

std::string readFile(const std::filesystem::path& path);
void writeFile(const std::filesystem::path& path, const std::string& bytes);
// Polls until the predicate holds or timeoutMs passed; returns the predicate's last value.
bool waitUntil(const std::function<bool()>& predicate, int timeoutMs, int pollMs = 20);
// The build tree's program folder (LUMORA_BINARY_DIR/bin).
std::filesystem::path binaryDir();
std::filesystem::path sourceDir();

}  // namespace testsupport
