#pragma once

#include <functional>
#include <string>

// The process-wide view of whether the network can be used. "Connected" means that the
// probe address (the service's web site root) answered over HTTP, or, once a connection
// was brought up, that the system reports a working network link. Linux brings its links
// up by itself, so connect() only looks for one rather than dialling it.
//
// One lock serialises probes, connects and releases from all threads; the connected flag
// may be read without it. stopAll() ends any probe in progress and keeps new connections
// from being made until the next initialise().
class ConnectionManager {
public:
    // Resets the state (not connected, not stopping, no link) and sets the probe address.
    // The HTTPLoader does this when it is constructed.
    static void initialise(const std::wstring& probeUrl);
    static std::wstring probeUrl();

    // Probes now. The flag then says what the probe found.
    static bool isConnected();
    // Probes when not connected; without an answer, takes up a working system link if
    // there is one. The address the connection is wanted for does not matter here: the
    // system's routing chooses the link. Returns the connected flag.
    static bool connect(const std::wstring& url);
    // Lets go of the link taken up by connect().
    static void release();
    static bool getConnectedFlag();
    static void stopAll();

    // Where the system's view of its links comes from (platform::networkLinkUp unless a
    // test replaces it); an empty function restores the default.
    static void setLinkCheck(std::function<bool()> check);
};
