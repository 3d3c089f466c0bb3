#include "client/messaging/JabberClientFactory.h"

#include "client/messaging/JabberClient.h"

std::unique_ptr<IJabberClient> createJabberClient(IJabberListener* listener,
                                                  kestra::IClock& clock) {
    return std::make_unique<JabberClient>(listener, clock);
}
