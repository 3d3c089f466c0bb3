#pragma once

#include <functional>
#include <string>

// The process-wide view of whether the network can be used: "connected" means that the
// probe address (the service's web site root) answered over HTTP, whatever the status.
// Linux brings its network links up by itself, so connecting is probing again; there is
// no connection of our own to dial or release.
//
// A probe runs on its caller's thread and belongs to its caller: it polls the caller's
// keepRunning (about every 50 ms) and ends at once when that turns false, so each loader
// stops its own probe and no other. No lock is held while a probe waits for the network:
// probes of several threads run side by side. The connected flag follows the last probe
// that got an answer or found none; a probe that its caller stopped changes nothing.
class ConnectionManager {
public:
    using KeepRunning = std::function<bool()>;

    // Resets the state (not connected) and sets the probe address. The HTTPLoader does
    // this when it is constructed; a probe still running for the old address is ignored.
    static void initialise(const std::wstring& probeUrl);
    static std::wstring probeUrl();

    // Probes now and returns what the probe found (false when stopped).
    static bool isConnected(const KeepRunning& keepRunning = {});
    // Probes when not connected. The address the connection is wanted for does not matter
    // here: the system's routing reaches it. Returns the connected flag.
    static bool connect(const std::wstring& url, const KeepRunning& keepRunning = {});
    // Nothing to release on Linux; kept so that callers read as on every platform.
    static void release() {}
    static bool getConnectedFlag();
};
