#include "client/gui/ContactLook.h"

#include "client/contacts/LumoraContact.h"
#include "client/gui/UiText.h"

QString ContactLook::displayName(const LumoraContact& contact) {
    const std::wstring nick = contact.getNick();
    return QString::fromStdWString(nick.empty() ? contact.getGid() : nick);
}

QString ContactLook::statusText(int status) {
    static const char* const texts[] = {"Online",    "Free for chat", "Away",
                                        "DND",       "N/A",           "Invisible",
                                        "Invisible", "Offline",       "Connecting..."};
    if (status < 0 || status > 8) {
        return QString();
    }
    return uiText(texts[status]);
}

QString ContactLook::statusPicture(int status) {
    static const char* const pictures[] = {
        "status-online",    "status-chat",      "status-away",    "status-dnd",       "status-na",
        "status-invisible", "status-invisible", "status-offline", "status-connecting"};
    if (status < 0 || status > 8) {
        return QString();
    }
    return QString::fromLatin1(pictures[status]);
}
