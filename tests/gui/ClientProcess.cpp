#include "ClientProcess.h"

#include "kestra/TextCodec.h"

namespace fs = std::filesystem;

ClientSandbox::ClientSandbox() {
    fs::create_directories(home());
    fs::create_directories(runtime());
    fs::permissions(runtime(), fs::perms::owner_all, fs::perm_options::replace);
    fs::create_directories(installFolder());
}

std::filesystem::path ClientSandbox::installedProgram() {
    const fs::path program = installFolder() / "Lumora";
    if (!fs::exists(program)) {
        fs::copy_file(testsupport::binaryDir() / "Lumora", program);
    }
    return program;
}

std::map<std::string, std::string> ClientSandbox::environment() const {
    return {{"HOME", home().string()},
            {"XDG_RUNTIME_DIR", runtime().string()},
            {"XDG_DATA_HOME", ""},
            {"XDG_CONFIG_HOME", (home() / ".config").string()},
            {"XDG_CACHE_HOME", (home() / ".cache").string()},
            {"QT_QPA_PLATFORM", "offscreen"}};
}

std::wstring ClientSandbox::settings() const {
    return kestra::utf16leToWide(testsupport::readFile(settingsFile()));
}

void ClientSandbox::writeSettings(const std::wstring& xml) {
    fs::create_directories(settingsFile().parent_path());
    testsupport::writeFile(settingsFile(), kestra::wideToUtf16le(xml));
}

bool ClientSandbox::waitForLog(const std::string& text, int timeoutMs) const {
    return testsupport::waitUntil([&] { return log().find(text) != std::string::npos; }, timeoutMs,
                                  50);
}
