#include "HandOffSandbox.h"

#include <signal.h>

#include "kestra/TextCodec.h"

namespace fs = std::filesystem;

namespace updatetest {

HandOffSandbox::HandOffSandbox() {
    fs::create_directories(home());
    fs::create_directories(dir_.path() / "run");
    fs::permissions(dir_.path() / "run", fs::perms::owner_all, fs::perm_options::replace);
    fs::create_directories(installFolder());
    for (const char* program : {"Lumora", "LumoraUpdate"}) {
        fs::copy_file(testsupport::binaryDir() / program, installFolder() / program);
    }
}

HandOffSandbox::~HandOffSandbox() {
    stopPrograms("Lumora");
    stopPrograms("LumoraUpdate");
}

std::map<std::string, std::string> HandOffSandbox::environment() const {
    return {{"HOME", home().string()},
            {"XDG_RUNTIME_DIR", (dir_.path() / "run").string()},
            {"XDG_DATA_HOME", ""},
            {"XDG_CONFIG_HOME", (home() / ".config").string()},
            {"XDG_CACHE_HOME", (home() / ".cache").string()},
            {"QT_QPA_PLATFORM", "offscreen"}};
}

std::wstring HandOffSandbox::settings() const {
    return kestra::utf16leToWide(testsupport::readFile(settingsFile()));
}

void HandOffSandbox::writeSettings(const std::wstring& groups) {
    fs::create_directories(settingsFile().parent_path());
    const std::wstring xml =
        L"<settings><group name=\"lumoraServer\"><item name=\"webRoot\" value=\"" +
        kestra::utf8ToWide(service.root()) + L"\"/></group>" + groups + L"</settings>";
    testsupport::writeFile(settingsFile(), kestra::wideToUtf16le(xml));
}

std::size_t HandOffSandbox::clientLogCount(const std::string& text) const {
    const std::string log = clientLog();
    std::size_t count = 0;
    for (std::size_t at = log.find(text); at != std::string::npos; at = log.find(text, at + 1)) {
        ++count;
    }
    return count;
}

std::vector<pid_t> HandOffSandbox::runningPrograms(const std::string& name) const {
    const fs::path program = installFolder() / name;
    std::vector<pid_t> pids;
    std::error_code ec;
    for (fs::directory_iterator it("/proc", ec), end; !ec && it != end; it.increment(ec)) {
        const std::string entry = it->path().filename().string();
        if (entry.find_first_not_of("0123456789") != std::string::npos) {
            continue;
        }
        std::error_code linkError;
        const fs::path exe = fs::read_symlink(it->path() / "exe", linkError);
        // A replaced program file shows as "<path> (deleted)".
        if (!linkError && exe.string().rfind(program.string(), 0) == 0) {
            pids.push_back(static_cast<pid_t>(std::stol(entry)));
        }
    }
    return pids;
}

bool HandOffSandbox::stopPrograms(const std::string& name) const {
    for (pid_t pid : runningPrograms(name)) {
        ::kill(pid, SIGTERM);
    }
    return testsupport::waitUntil([&] { return runningPrograms(name).empty(); }, 60000, 50);
}

}  // namespace updatetest
