#pragma once

#include <sys/types.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "LumoraService.h"
#include "TestSupport.h"

namespace updatetest {

// The real programs, copied into a private install folder (<root>/programs/Lumora, so that
// "%CE1%\%AppName%" names it), run with a private HOME and runtime folder on Qt's offscreen
// platform. Programs that were started detached from that folder (the updater, a restarted
// client) are found by their program file and ended at the end.
class HandOffSandbox {
public:
    HandOffSandbox();
    ~HandOffSandbox();

    std::filesystem::path home() const { return dir_.path() / "home"; }
    std::filesystem::path installFolder() const { return dir_.path() / "programs/Lumora"; }
    std::filesystem::path appFolder() const { return home() / ".local/share/Lumora"; }
    std::filesystem::path updateFolder() const { return appFolder() / "update"; }
    std::filesystem::path settingsFile() const { return appFolder() / "Jabber/settings.cfg"; }
    std::filesystem::path clientLogFile() const { return appFolder() / "lumora.log"; }
    std::filesystem::path updaterLogFile() const { return updateFolder() / "lumoraUpdate.log"; }
    std::filesystem::path client() const { return installFolder() / "Lumora"; }
    std::map<std::string, std::string> environment() const;

    std::string clientLog() const { return testsupport::readFile(clientLogFile()); }
    std::string updaterLog() const { return testsupport::readFile(updaterLogFile()); }
    std::wstring settings() const;
    // Writes a settings file with these groups, pointing the client at the service.
    void writeSettings(const std::wstring& groups);
    // How often the text occurs in the client's log.
    std::size_t clientLogCount(const std::string& text) const;

    // Processes whose program file lies in the install folder.
    std::vector<pid_t> runningPrograms(const std::string& name) const;
    // Sends SIGTERM to each such process and waits until they are gone; true when all ended.
    bool stopPrograms(const std::string& name) const;

    // The service's web endpoint for the client (announcing 1.9.0 unless told otherwise).
    fixture::LumoraService service;

private:
    testsupport::TempDir dir_;
};

}  // namespace updatetest
