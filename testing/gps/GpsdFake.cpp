#include "GpsdFake.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/shm.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <thread>
#include <vector>

#include "TestSupport.h"

extern char** environ;

namespace gpstesting {
namespace {

// gpsfake's whole life, whatever happens to the test.
constexpr const char* MAX_LIFE_SECONDS = "300";
constexpr int READY_TIMEOUT_MS = 20000;

// Whether the child has ended, without reaping it: while it is not reaped its process
// group id cannot be taken by anybody else.
bool hasEnded(pid_t pid) {
    siginfo_t info{};
    return ::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
           info.si_pid == pid;
}

// Null-terminated pointers to the strings, for exec.
std::vector<char*> pointers(std::vector<std::string>& strings) {
    std::vector<char*> result;
    for (std::string& s : strings) {
        result.push_back(s.data());
    }
    result.push_back(nullptr);
    return result;
}

}  // namespace

GpsdFake::GpsdFake(std::filesystem::path log, double cycleSeconds)
    : log_(std::move(log)), cycleSeconds_(cycleSeconds) {}

GpsdFake::~GpsdFake() {
    stop();
}

std::string GpsdFake::freePort() {
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    std::string port;
    if (::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
        port = std::to_string(ntohs(address.sin_port));
    }
    ::close(s);
    return port;
}

bool GpsdFake::accepts(const std::string& port) {
    const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(std::atoi(port.c_str())));
    const bool ok = ::connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(s);
    return ok;
}

bool GpsdFake::start() {
    // gpsd's control socket lives in TMPDIR and must fit a socket path: keep it short.
    char work[] = "/tmp/gpsf.XXXXXX";
    if (::mkdtemp(work) == nullptr) {
        error_ = "cannot make a work folder";
        return false;
    }
    workDir_ = work;
    port_ = freePort();
    if (!spawn()) {
        error_ = "cannot start gpsfake";
        return false;
    }
    const bool ready = testsupport::waitUntil([this] { return accepts(port_) || hasEnded(pid_); },
                                              READY_TIMEOUT_MS, 20);
    if (!ready || !accepts(port_)) {
        error_ = "gpsd did not come up: " + testsupport::readFile(workDir_ + "/err.txt");
        stop();
        return false;
    }
    return true;
}

// Runs "timeout ... gpsfake ..." in a session of its own: gpsfake and its gpsd then form one
// process group, ended together.
bool GpsdFake::spawn() {
    std::vector<std::string> args = {"timeout",
                                     "-k",
                                     "2",
                                     MAX_LIFE_SECONDS,
                                     "gpsfake",
                                     "-q",
                                     "-n",
                                     "-c",
                                     std::to_string(cycleSeconds_),
                                     "-P",
                                     port_,
                                     log_.string()};
    std::vector<std::string> env = {"TMPDIR=" + workDir_};
    for (char** e = environ; *e != nullptr; ++e) {
        if (std::string(*e).rfind("TMPDIR=", 0) != 0) {
            env.emplace_back(*e);
        }
    }
    std::vector<char*> argv = pointers(args);
    std::vector<char*> envp = pointers(env);

    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_addopen(&files, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&files, 1, (workDir_ + "/out.txt").c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&files, 2, (workDir_ + "/err.txt").c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK);
    const int rc = posix_spawnp(&pid_, "timeout", &files, &attributes, argv.data(), envp.data());
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&files);
    if (rc != 0) {
        pid_ = -1;
    }
    return rc == 0;
}

void GpsdFake::stop() {
    if (pid_ > 0) {
        ::kill(-pid_, SIGTERM);
        const pid_t pid = pid_;
        testsupport::waitUntil([pid] { return hasEnded(pid); }, 2500, 10);
        // gpsfake may hang on after its gpsd ended, and gpsd may outlive gpsfake.
        ::kill(-pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
        pid_ = -1;
        removeSharedMemory();
    }
    if (!workDir_.empty()) {
        std::error_code ec;
        std::filesystem::remove_all(workDir_, ec);
        workDir_.clear();
    }
}

// A gpsd started as root drops its privileges and can then no longer remove the shared
// memory segment it made (key 0x4770 followed by the port); remove it here.
void GpsdFake::removeSharedMemory() const {
    const key_t key = static_cast<key_t>(0x47700000 + std::atoi(port_.c_str()));
    const int id = ::shmget(key, 0, 0);
    if (id >= 0) {
        ::shmctl(id, IPC_RMID, nullptr);
    }
}

}  // namespace gpstesting
