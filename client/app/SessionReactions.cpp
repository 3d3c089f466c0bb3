#include "client/app/SessionReactions.h"

#include "client/app/ApplicationMessages.h"
#include "client/app/IControllerCommands.h"
#include "client/app/MessageDispatcher.h"
#include "client/locale/Dictionary.h"
#include "client/maps/HTTPResult.h"
#include "kestra/Log.h"

using kestra::Log;

SessionReactions::SessionReactions(IControllerCommands& controller) : controller_(controller) {}

void SessionReactions::registerHandlers(MessageDispatcher& dispatcher) {
    dispatcher.add(UM_CONNECTION_MESSAGE,
                   [this](kestra::ThreadMessage& message) { onConnectionMessage(message); });
    dispatcher.add(UM_CHANGE_STATUS, [this](kestra::ThreadMessage& message) {
        changeOwnStatus(static_cast<int>(message.wParam));
    });
    dispatcher.add(UM_REGISTRATION_REPLY,
                   [this](kestra::ThreadMessage& message) { onRegistrationReply(message); });
}

// Signing in and out is not part of the program yet: the choice is only noted.
void SessionReactions::changeOwnStatus(int newStatus) {
    Log::debug("ApplicationManager::changeOwnStatus: " + std::to_string(newStatus));
}

// The main frame's status display is not part of the program yet; the text is shown.
void SessionReactions::showConnectionState(int status, const std::wstring& text) {
    Log::debug("ApplicationManager::showConnectionState: " + std::to_string(status));
    if (!text.empty()) {
        controller_.showMessage(Dictionary::translate(text));
    }
}

void SessionReactions::onPositionNotShared() {
    controller_.postMessage(UM_SHOW_MESSAGE, 0, 0,
                            kestra::makePayload(tr("Your position can't be shared: the server "
                                                   "refuses your position node.")));
}

void SessionReactions::onConnectionMessage(const kestra::ThreadMessage& message) {
    const std::wstring* text = message.payloadAs<std::wstring>();
    showConnectionState(static_cast<int>(message.wParam), text ? *text : std::wstring());
}

// Signing up a new user is not part of the program yet; the reply is noted and freed.
void SessionReactions::onRegistrationReply(const kestra::ThreadMessage& message) {
    const HTTPResult* reply = message.payloadAs<HTTPResult>();
    if (reply == nullptr) {
        return;
    }
    Log::info("ApplicationManager: registration reply, error " + std::to_string(reply->error) +
              ", " + std::to_string(reply->data.size()) + " bytes.");
}
