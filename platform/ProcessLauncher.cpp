#include "platform/ProcessLauncher.h"

#include <spawn.h>
#include <sys/wait.h>

#include <thread>

#include "kestra/TextCodec.h"

extern char** environ;

namespace platform {

bool startDetached(const std::wstring& program, const std::vector<std::wstring>& arguments) {
    const std::string path = kestra::wideToUtf8(program);
    if (path.empty()) {
        return false;
    }
    std::vector<std::string> args{path};
    for (const std::wstring& a : arguments) {
        args.push_back(kestra::wideToUtf8(a));
    }
    std::vector<char*> argv;
    for (std::string& a : args) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);

    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attributes, &none);  // do not pass on our blocked signals
    pid_t pid = 0;
    // glibc reports a failed exec (missing file, no permission) as the result here.
    const int rc = posix_spawn(&pid, path.c_str(), nullptr, &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    if (rc != 0) {
        return false;
    }
    // Reap the child when it ends, so a long-running caller leaves no zombie behind.
    std::thread([pid] { waitpid(pid, nullptr, 0); }).detach();
    return true;
}

}  // namespace platform
