#pragma once

namespace platform {

// The system's own view of the network: true when some interface other than the loopback
// is up, running and has an IPv4 or IPv6 address. It says nothing about whether a given
// server can be reached.
bool networkLinkUp();

}  // namespace platform
