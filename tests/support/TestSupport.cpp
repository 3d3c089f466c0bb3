#include "TestSupport.h"

#include <linux/capability.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace testsupport {

TempDir::TempDir() {
    std::random_device device;
    const auto base = std::filesystem::temp_directory_path();
    for (int i = 0; i < 100; ++i) {
        auto candidate = base / ("lumora-test-" + std::to_string(device()));
        if (std::filesystem::create_directory(candidate)) {
            path_ = candidate;
            return;
        }
    }
    throw std::runtime_error("TempDir: cannot create a temporary folder");
}

TempDir::~TempDir() {
    std::error_code ec;
    // A test may have made parts read-only; give them back before removing.
    for (auto it = std::filesystem::recursive_directory_iterator(path_, ec);
         it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
        std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ec);
    }
    std::filesystem::remove_all(path_, ec);
}

void ScopedEnv::remember(const std::string& name) {
    if (saved_.count(name) != 0) {
        return;
    }
    const char* old = std::getenv(name.c_str());
    saved_[name] = {old != nullptr, old != nullptr ? old : ""};
}

void ScopedEnv::set(const std::string& name, const std::string& value) {
    remember(name);
    setenv(name.c_str(), value.c_str(), 1);
}

void ScopedEnv::unset(const std::string& name) {
    remember(name);
    unsetenv(name.c_str());
}

ScopedEnv::~ScopedEnv() {
    for (const auto& [name, old] : saved_) {
        if (old.first) {
            setenv(name.c_str(), old.second.c_str(), 1);
        } else {
            unsetenv(name.c_str());
        }
    }
}

ChildProcess::~ChildProcess() {
    if (pid_ > 0 && !reaped_) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, &status_, 0);
    }
}

bool ChildProcess::start(const std::string& program, const std::vector<std::string>& args,
                         const std::map<std::string, std::string>& env) {
    std::map<std::string, std::string> merged;
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string entry(*e);
        const auto eq = entry.find('=');
        if (eq != std::string::npos) {
            merged[entry.substr(0, eq)] = entry.substr(eq + 1);
        }
    }
    for (const auto& [name, value] : env) {
        if (value.empty()) {
            merged.erase(name);
        } else {
            merged[name] = value;
        }
    }
    std::vector<std::string> envStrings;
    for (const auto& [name, value] : merged) {
        envStrings.push_back(name + "=" + value);
    }
    std::vector<char*> envp;
    for (auto& s : envStrings) {
        envp.push_back(s.data());
    }
    envp.push_back(nullptr);
    std::vector<std::string> argStrings{program};
    argStrings.insert(argStrings.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& s : argStrings) {
        argv.push_back(s.data());
    }
    argv.push_back(nullptr);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK);
    const int rc =
        posix_spawn(&pid_, program.c_str(), nullptr, &attributes, argv.data(), envp.data());
    posix_spawnattr_destroy(&attributes);
    reaped_ = false;
    return rc == 0;
}

bool ChildProcess::waitExit(int timeoutMs, int& exitCode) {
    const bool ended = waitUntil([this] { return !isRunning(); }, timeoutMs, 10);
    if (!ended) {
        return false;
    }
    exitCode = WIFEXITED(status_) ? WEXITSTATUS(status_) : 128 + WTERMSIG(status_);
    return true;
}

bool ChildProcess::isRunning() {
    if (pid_ <= 0 || reaped_) {
        return false;
    }
    const pid_t r = ::waitpid(pid_, &status_, WNOHANG);
    if (r == pid_) {
        reaped_ = true;
        return false;
    }
    return true;
}

void ChildProcess::sendSignal(int signal) {
    if (pid_ > 0 && !reaped_) {
        ::kill(pid_, signal);
    }
}

std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void writeFile(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

bool waitUntil(const std::function<bool()>& predicate, int timeoutMs, int pollMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!predicate()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return predicate();
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(pollMs));
    }
    return true;
}

std::filesystem::path binaryDir() {
    const char* dir = std::getenv("LUMORA_BINARY_DIR");
    return std::filesystem::path(dir != nullptr ? dir : LUMORA_DEFAULT_BINARY_DIR) / "bin";
}

std::filesystem::path sourceDir() {
    const char* dir = std::getenv("LUMORA_SOURCE_DIR");
    return std::filesystem::path(dir != nullptr ? dir : LUMORA_DEFAULT_SOURCE_DIR);
}

FileSizeLimit::FileSizeLimit(unsigned long bytes) {
    rlimit limit{};
    ::getrlimit(RLIMIT_FSIZE, &limit);
    savedSoft_ = limit.rlim_cur;
    savedHard_ = limit.rlim_max;
    savedHandler_ = std::signal(SIGXFSZ, SIG_IGN);
    limit.rlim_cur = bytes;
    ::setrlimit(RLIMIT_FSIZE, &limit);
}

FileSizeLimit::~FileSizeLimit() {
    const rlimit limit{savedSoft_, savedHard_};
    ::setrlimit(RLIMIT_FSIZE, &limit);
    std::signal(SIGXFSZ, savedHandler_);
}

namespace {

constexpr unsigned int FILE_OVERRIDES = (1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH);

// The raw calls act on the calling thread only, which is what the scope wants.
bool capabilities(__user_cap_data_struct (&data)[2], bool set) {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    return ::syscall(set ? SYS_capset : SYS_capget, &header, data) == 0;
}

}  // namespace

NoReadOverride::NoReadOverride() {
    __user_cap_data_struct data[2] = {};
    if (!capabilities(data, false) || (data[0].effective & FILE_OVERRIDES) == 0) {
        return;
    }
    savedEffective_ = data[0].effective;
    data[0].effective &= ~FILE_OVERRIDES;
    changed_ = capabilities(data, true);
}

NoReadOverride::~NoReadOverride() {
    __user_cap_data_struct data[2] = {};
    if (changed_ && capabilities(data, false)) {
        data[0].effective = savedEffective_;
        capabilities(data, true);
    }
}

}  // namespace testsupport
