// lumora-local-settings: the step of the run command that points the client at the local
// service. It changes only the keys of the server address, the CA file, the web root and the
// three tile sources' hosts, and nothing when the user has a server of their own.
//
//   lumora-local-settings check --cafile CA
//       exit 0: no server of the user's own (the local service is wanted);
//       exit 3: the user's own server is configured (printed)
//   lumora-local-settings apply --cafile CA --xmpp-port P --web-port W --tile-port T
//       exit 0: written; exit 3: left alone (own server); exit 1: the file cannot be written
//
// The settings file is the client's: $XDG_DATA_HOME/Lumora/Jabber/settings.cfg (else
// ~/.local/share/...). Run it while the client is not running.
#include <cstdlib>
#include <iostream>
#include <map>
#include <string>

#include "LocalServiceSettings.h"
#include "kestra/TextCodec.h"
#include "platform/AppFolders.h"

namespace {

constexpr int OWN_SERVER = 3;

std::map<std::string, std::string> options(int argc, char** argv) {
    std::map<std::string, std::string> found;
    for (int i = 2; i + 1 < argc; i += 2) {
        found[argv[i]] = argv[i + 1];
    }
    return found;
}

int port(const std::map<std::string, std::string>& values, const std::string& name) {
    const auto it = values.find(name);
    const int value = it == values.end() ? 0 : std::atoi(it->second.c_str());
    return value > 0 && value < 65536 ? value : 0;
}

bool settingsFile(std::wstring& file) {
    std::wstring data;
    if (!platform::applicationDataFolder(data)) {
        return false;
    }
    const std::wstring jabber = data + L"/Lumora/Jabber";
    if (!platform::createPrivateFolder(data + L"/Lumora") ||
        !platform::createPrivateFolder(jabber)) {
        return false;
    }
    file = jabber + L"/settings.cfg";
    return true;
}

int run(const std::string& command, const std::map<std::string, std::string>& values) {
    std::wstring file;
    if (!settingsFile(file)) {
        std::cerr << "lumora-local-settings: no data folder for the client's settings\n";
        return 1;
    }
    service::LocalServiceSettings settings(file);
    const std::string caFile = values.count("--cafile") ? values.at("--cafile") : "";
    if (settings.hasOwnServer(caFile)) {
        std::cout << "own server " << settings.configuredServer() << "\n";
        return OWN_SERVER;
    }
    if (command == "check") {
        return 0;
    }
    service::LocalServiceSettings::Service local;
    local.caFile = caFile;
    local.xmppPort = port(values, "--xmpp-port");
    local.webPort = port(values, "--web-port");
    local.tilePort = port(values, "--tile-port");
    if (caFile.empty() || !local.xmppPort || !local.webPort || !local.tilePort) {
        std::cerr << "lumora-local-settings: apply needs --cafile, --xmpp-port, --web-port and "
                     "--tile-port\n";
        return 2;
    }
    if (!settings.pointAt(local)) {
        std::cerr << "lumora-local-settings: cannot write " << kestra::wideToUtf8(file) << "\n";
        return 1;
    }
    std::cout << "settings " << kestra::wideToUtf8(file) << "\n";
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string command = argc > 1 ? argv[1] : "";
    if (command != "check" && command != "apply") {
        std::cerr << "usage: lumora-local-settings check|apply --cafile CA [--xmpp-port P "
                     "--web-port W --tile-port T]\n";
        return 2;
    }
    try {
        return run(command, options(argc, argv));
    } catch (const std::exception& e) {
        std::cerr << "lumora-local-settings: the client's settings cannot be read (" << e.what()
                  << "); the client makes new ones at its next start\n";
        return 1;
    }
}
