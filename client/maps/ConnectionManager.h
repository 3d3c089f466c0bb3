#pragma once

#include <string>

// The process-wide view of whether the network can be used: "connected" means that the
// probe address (the service's web site root) answered over HTTP, whatever the status.
// Linux brings its network links up by itself, so connecting is probing again; there is
// no connection of our own to dial or release.
//
// One lock serialises probes and connects from all threads; the connected flag may be
// read without it and follows the last probe. stopAll() ends a probe in progress and keeps
// new ones from starting until the next initialise().
class ConnectionManager {
public:
    // Resets the state (not connected, not stopping) and sets the probe address. The
    // HTTPLoader does this when it is constructed.
    static void initialise(const std::wstring& probeUrl);
    static std::wstring probeUrl();

    // Probes now and returns what the probe found.
    static bool isConnected();
    // Probes when not connected. The address the connection is wanted for does not matter
    // here: the system's routing reaches it. Returns the connected flag.
    static bool connect(const std::wstring& url);
    // Nothing to release on Linux; kept so that callers read as on every platform.
    static void release() {}
    static bool getConnectedFlag();
    static void stopAll();
};
