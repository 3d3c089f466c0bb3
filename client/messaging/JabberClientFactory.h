#pragma once

#include <memory>

#include "client/messaging/IJabberClient.h"
#include "kestra/Clock.h"

class IJabberListener;

// Makes the real XMPP session behind IJabberClient, with the listener it reports to (not
// owned), so that its users need no header of the XMPP library.
std::unique_ptr<IJabberClient> createJabberClient(IJabberListener* listener, kestra::IClock& clock);
