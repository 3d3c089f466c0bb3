#pragma once

#include <string>
#include <utility>
#include <vector>

namespace service {

// The client's settings as the local service sees them: whether the user has a server of
// their own, and the few keys that point the client at the local service. Works on the
// client's settings file through the client's own settings store; the client must not be
// running (it writes its settings back when it ends).
class LocalServiceSettings {
public:
    struct Service {
        std::string xmppHost = "localhost";
        int xmppPort = 0;
        std::string caFile;  // the local service's CA certificate
        int webPort = 0;
        int tilePort = 0;
    };

    // Opens (or creates) the settings file. Throws the settings store's exceptions.
    explicit LocalServiceSettings(const std::wstring& settingsFile);
    ~LocalServiceSettings();
    LocalServiceSettings(const LocalServiceSettings&) = delete;
    LocalServiceSettings& operator=(const LocalServiceSettings&) = delete;

    // True when the settings name a server of the user's own: a host that is neither
    // missing, nor the client's built-in default ("localhost" on 5222 without a CA file),
    // nor the local service (its CA file).
    bool hasOwnServer(const std::string& localCaFile) const;
    // "host:port" of the configured server, for messages.
    std::string configuredServer() const;

    // The keys and values that point the client at the service.
    static std::vector<std::pair<std::wstring, std::wstring>> keysFor(const Service& service);
    // Writes those keys (nothing else) and saves the file. Returns false when it cannot.
    bool pointAt(const Service& service);
};

}  // namespace service
