#pragma once

#include <filesystem>
#include <map>
#include <string>

#include "TestSupport.h"

// The real client program run with a private HOME and runtime folder on Qt's offscreen
// platform. The program can be run from a copy in an install folder of the test's own.
class ClientSandbox {
public:
    ClientSandbox();
    std::filesystem::path home() const { return dir_.path() / "home"; }
    std::filesystem::path appFolder() const { return home() / ".local/share/Lumora"; }
    std::filesystem::path settingsFile() const { return appFolder() / "Jabber/settings.cfg"; }
    std::filesystem::path logFile() const { return appFolder() / "lumora.log"; }
    std::filesystem::path runtime() const { return dir_.path() / "run"; }
    std::filesystem::path installFolder() const { return dir_.path() / "install"; }
    // The program copied into installFolder(), so that what lies next to it is ours.
    std::filesystem::path installedProgram();
    std::map<std::string, std::string> environment() const;

    std::string log() const { return testsupport::readFile(logFile()); }
    std::wstring settings() const;
    void writeSettings(const std::wstring& xml);
    bool waitForLog(const std::string& text, int timeoutMs = 60000) const;

private:
    testsupport::TempDir dir_;
};
