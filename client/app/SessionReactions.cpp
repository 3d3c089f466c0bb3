#include "client/app/SessionReactions.h"

#include <algorithm>

#include <pugixml.hpp>
#include "client/app/ApplicationMessages.h"
#include "client/app/AuthorizationRequest.h"
#include "client/app/ChatWindows.h"
#include "client/app/ControllerWindows.h"
#include "client/app/IApplicationManager.h"
#include "client/app/MessageDispatcher.h"
#include "client/app/ProfileCards.h"
#include "client/contacts/LumoraContact.h"
#include "client/contacts/UserContactProfile.h"
#include "client/locale/Dictionary.h"
#include "client/maps/CoordinateUtils.h"
#include "client/maps/HTTPResult.h"
#include "client/messaging/ChatServer.h"
#include "client/messaging/IJabberClient.h"
#include "kestra/Clock.h"
#include "kestra/Log.h"
#include "kestra/Settings.h"
#include "kestra/TextCodec.h"

using kestra::Log;
using kestra::utf8ToWide;
using kestra::wideToUtf8;

namespace {
constexpr unsigned int POLL_MS = 100;
// How long a chat window may take to appear on the GUI thread before the message is given
// up (the GUI is stuck or gone): 100 steps of 100 ms.
constexpr int CHAT_WINDOW_POLLS = 100;
const double NO_POSITION = 1000.0;

// The work a session reaction leaves for the controller's thread.
struct SessionJob {
    std::function<void()> work;
};

bool isOnline(int status) {
    return status != LumoraContact::STATUS_OFFLINE && status != LumoraContact::STATUS_CONNECTING;
}
}  // namespace

SessionReactions::SessionReactions(IApplicationManager& controller) : controller_(controller) {}

void SessionReactions::attach(Parts parts) {
    parts_ = std::move(parts);
}

bool SessionReactions::guiRuns() const {
    return parts_.guiRuns ? parts_.guiRuns() : false;
}

void SessionReactions::later(std::function<void()> work) {
    controller_.postMessage(UM_SESSION_EVENT, 0, 0,
                            kestra::makePayload(SessionJob{std::move(work)}));
}

int SessionReactions::presenceForStatus(int status) {
    switch (status) {
        case LumoraContact::STATUS_ONLINE:
            return PRESENCE_AVAILABLE;
        case LumoraContact::STATUS_FREE_FOR_CHAT:
            return PRESENCE_CHAT;
        case LumoraContact::STATUS_AWAY:
            return PRESENCE_AWAY;
        case LumoraContact::STATUS_DND:
            return PRESENCE_DND;
        case LumoraContact::STATUS_NA:
            return PRESENCE_XA;
        case LumoraContact::STATUS_UNAVAILABLE:
            return PRESENCE_UNAVAILABLE;
        case LumoraContact::STATUS_OFFLINE:
            return 7;
        default:
            return PRESENCE_UNKNOWN;  // invisible: available without a position
    }
}

int SessionReactions::statusForPresence(int presence) {
    if (presence >= PRESENCE_AVAILABLE && presence <= PRESENCE_XA) {
        return presence - 1;
    }
    if (presence == PRESENCE_UNAVAILABLE) {
        return LumoraContact::STATUS_UNAVAILABLE;
    }
    if (presence == PRESENCE_UNKNOWN) {
        return LumoraContact::STATUS_INVISIBLE;
    }
    return LumoraContact::STATUS_OFFLINE;
}

bool SessionReactions::messageText(const std::string& body, int subtype, std::wstring& text,
                                   bool& notice) {
    notice = false;
    switch (subtype) {
        case MESSAGE_CHAT:
        case MESSAGE_NORMAL:
        case MESSAGE_HEADLINE:
            text = utf8ToWide(body);
            return true;
        case MESSAGE_ERROR:
            text = Dictionary::translate("Message") + L" \"" + utf8ToWide(body) + L"\"" +
                   Dictionary::translate(" isn't delivered.");
            notice = true;
            return true;
        default:
            return false;
    }
}

void SessionReactions::registerHandlers(MessageDispatcher& dispatcher) {
    dispatcher.add(UM_SESSION_EVENT, [](kestra::ThreadMessage& message) {
        if (auto* job = message.payloadAs<SessionJob>()) {
            job->work();
        }
    });
    dispatcher.add(UM_CONNECTION_MESSAGE, [this](kestra::ThreadMessage& message) {
        const std::wstring* text = message.payloadAs<std::wstring>();
        showConnectionState(static_cast<int>(message.wParam), text ? *text : std::wstring());
    });
    dispatcher.add(UM_CHANGE_STATUS, [this](kestra::ThreadMessage& message) {
        changeOwnStatus(static_cast<int>(message.wParam));
    });
    dispatcher.add(UM_REGISTRATION_REPLY, [this](kestra::ThreadMessage& message) {
        if (const HTTPResult* reply = message.payloadAs<HTTPResult>()) {
            onRegistrationReply(*reply);
        }
    });
    dispatcher.add(UM_OPEN_CHAT, [this](kestra::ThreadMessage& message) {
        const auto* contact = message.payloadAs<std::shared_ptr<LumoraContact>>();
        if (contact == nullptr || !*contact) {
            Log::error("ApplicationManager::runApplication: msg.lParam == NULL ");
            return;
        }
        openChat(*contact);
    });
    dispatcher.add(UM_RELOGIN, [this](kestra::ThreadMessage&) {
        if (parts_.chats) {
            parts_.chats->hideAll();
            parts_.chats->closeAll();
        }
        reconnectPending_ = true;
        if (parts_.session) {
            parts_.session->closeConnection();
        }
    });
    dispatcher.add(UM_NEW_ACCOUNT, [this](kestra::ThreadMessage&) {
        if (parts_.chats) {
            parts_.chats->hideAll();
            parts_.chats->closeAll();
        }
        {
            kestra::Mutex::Locker lock(*parts_.controllerLock);
            if (parts_.windows && parts_.windows->mainFrame()) {
                parts_.windows->mainFrame()->showConnectionStatus(LumoraContact::STATUS_OFFLINE);
            }
        }
        changeOwnStatus(LumoraContact::STATUS_OFFLINE);
        if (parts_.requestRegistration) {
            parts_.requestRegistration();
        }
    });
    dispatcher.add(UM_APPLY_USER_DATA, [this](kestra::ThreadMessage&) { sendUserDataChanges(); });
    dispatcher.add(UM_CHANGE_PASSWORD, [this](kestra::ThreadMessage&) {
        if (parts_.session && parts_.profile) {
            parts_.session->changePassword(
                wideToUtf8(kestra::Settings::getStringValue(L"user.newpassword")));
        }
    });
    dispatcher.add(UM_AUTHORIZATION_REQUEST, [this](kestra::ThreadMessage& message) {
        const auto* request = message.payloadAs<AuthorizationRequest>();
        if (request == nullptr || request->jid.empty() || !parts_.session) {
            return;
        }
        ensureContact(request->jid);
        parts_.session->requestAuthorization(wideToUtf8(request->jid), wideToUtf8(request->text));
    });
    dispatcher.add(UM_AUTHORIZATION_ANSWER, [this](kestra::ThreadMessage& message) {
        const auto* jid = message.payloadAs<std::wstring>();
        if (jid == nullptr || jid->empty() || !parts_.session) {
            return;
        }
        const bool accepted = message.lParam != 0;
        parts_.session->answerAuthorization(wideToUtf8(*jid), accepted);
        if (accepted) {
            ensureContact(*jid);
        }
    });
    dispatcher.add(UM_REMOVE_CONTACT, [this](kestra::ThreadMessage& message) {
        const auto* contact = message.payloadAs<std::shared_ptr<LumoraContact>>();
        if (contact != nullptr && *contact) {
            removeContact(*contact);
        }
    });
    dispatcher.add(UM_CHANGE_NICK, [this](kestra::ThreadMessage& message) {
        const auto* contact = message.payloadAs<std::shared_ptr<LumoraContact>>();
        if (contact == nullptr || !*contact) {
            Log::error("ApplicationManager::onChangeContactsNick contact == NULL.");
            return;
        }
        if (parts_.chats) {
            if (auto chat = parts_.chats->find((*contact)->getJid())) {
                chat->refreshChatTitle();
            }
        }
    });
    dispatcher.add(UM_SET_VISIBILITY, [this](kestra::ThreadMessage& message) {
        if (!parts_.profile || !parts_.session) {
            return;
        }
        const int visibility = static_cast<int>(message.lParam);
        parts_.profile->setVisibility(visibility);
        parts_.session->setVisibility(visibility);
        if (visibility != UserContactProfile::INVISIBLE) {
            publishPosition();
        } else {
            parts_.session->updatePosition(NO_POSITION, NO_POSITION);
        }
    });
}

void SessionReactions::signInAtStart() {
    if (!parts_.profile) {
        return;
    }
    if (!parts_.profile->hasUserId()) {
        if (parts_.requestRegistration) {
            parts_.requestRegistration();
        }
        return;
    }
    controller_.postMessage(UM_CONNECT, 0, 1);
}

// ---- The user's own status ----

void SessionReactions::changeOwnStatus(int newStatus) {
    Log::debug("ApplicationManager::changeOwnStatus: " + std::to_string(newStatus));
    if (!parts_.profile || !parts_.session) {
        return;
    }
    const int current = parts_.profile->getStatus();
    const bool offline = current == LumoraContact::STATUS_OFFLINE;
    if (offline && newStatus != LumoraContact::STATUS_OFFLINE && !parts_.profile->hasUserId()) {
        if (parts_.requestRegistration) {
            parts_.requestRegistration();
        }
        return;
    }
    if (offline && newStatus != LumoraContact::STATUS_OFFLINE) {
        if (!guiRuns()) {
            return;
        }
        const std::string jid = wideToUtf8(parts_.profile->getJid());
        const std::string password = wideToUtf8(parts_.profile->getPassword());
        if (newAccount_) {
            newAccount_ = false;
            parts_.session->openSessionWithNewAccount(presenceForStatus(newStatus), jid, password,
                                                      CHAT_PORT);
        } else {
            parts_.session->openSession(presenceForStatus(newStatus), jid, password, CHAT_PORT);
        }
        return;
    }
    if (newStatus == LumoraContact::STATUS_OFFLINE) {
        parts_.session->closeConnection();
        return;
    }
    parts_.session->changeStatus(presenceForStatus(newStatus), std::string());
}

void SessionReactions::showConnectionState(int status, const std::wstring& text) {
    Log::debug("ApplicationManager::showConnectionState: " + std::to_string(status));
    if (!parts_.profile || !guiRuns()) {
        if (!text.empty()) {
            controller_.showMessage(Dictionary::translate(text));
        }
        return;
    }
    {
        kestra::Mutex::Locker lock(*parts_.controllerLock);
        if (parts_.windows && parts_.windows->mainFrame()) {
            parts_.windows->mainFrame()->showConnectionStatus(status);
        }
    }
    parts_.profile->setStatus(status);
    if (status != LumoraContact::STATUS_OFFLINE && status != LumoraContact::STATUS_CONNECTING) {
        sendUserDataChanges();
    }
    if (!text.empty()) {
        controller_.showMessage(Dictionary::translate(text));
    }
}

void SessionReactions::sendUserDataChanges() {
    if (parts_.profile && parts_.session) {
        ProfileCards::sendUserDataChanges(*parts_.profile, *parts_.session,
                                          controller_.getImageFactory());
    }
}

// ---- Contacts ----

bool SessionReactions::isPendingDeletion(const std::wstring& jid) const {
    return parts_.contactsToDelete != nullptr &&
           std::find(parts_.contactsToDelete->begin(), parts_.contactsToDelete->end(), jid) !=
               parts_.contactsToDelete->end();
}

std::shared_ptr<LumoraContact> SessionReactions::ensureContact(const std::wstring& jid) {
    if (jid.empty()) {
        return nullptr;
    }
    std::shared_ptr<LumoraContact> contact;
    bool added = false;
    {
        kestra::Mutex::Locker lock(controller_.getContactsLock());
        auto& contacts = controller_.getContacts();
        const auto it = contacts.find(jid);
        if (it != contacts.end()) {
            return it->second;
        }
        contact = std::make_shared<LumoraContact>(jid, L"", L"", L"", L"",
                                                  LumoraContact::GENDER_UNKNOWN, 0, 0, 0, 0, false);
        contacts[jid] = contact;
        added = true;
    }
    if (added) {
        try {
            contact->saveContactsInfo();
        } catch (const std::exception& e) {
            Log::error(std::string("ApplicationManager: a new contact could not be stored: ") +
                       e.what());
        }
        kestra::Mutex::Locker lock(*parts_.controllerLock);
        if (parts_.windows && parts_.windows->contactList()) {
            parts_.windows->contactList()->addContact(contact);
        }
    }
    return contact;
}

void SessionReactions::removeContact(const std::shared_ptr<LumoraContact>& contact) {
    const std::wstring jid = contact->getJid();
    const bool offline =
        !parts_.profile || parts_.profile->getStatus() == LumoraContact::STATUS_OFFLINE;
    if (offline) {
        if (parts_.contactsToDelete && !isPendingDeletion(jid)) {
            parts_.contactsToDelete->push_back(jid);
            kestra::Settings::addStringValue(L"user.contactstodelete", jid);
        }
    } else if (parts_.session) {
        parts_.session->removeContact(wideToUtf8(jid));
    }
    {
        kestra::Mutex::Locker windowsLock(*parts_.controllerLock);
        if (parts_.windows && parts_.windows->contactList()) {
            parts_.windows->contactList()->removeContact(jid);
        }
    }
    if (parts_.chats) {
        parts_.chats->remove(jid);
    }
    try {
        kestra::Mutex::Locker mapLock(controller_.getContactsLock());
        contact->removeFromMap(controller_.getContacts());
    } catch (const std::exception& e) {
        Log::error(std::string("ApplicationManager: the removed contact's files: ") + e.what());
    }
}

void SessionReactions::onRosterItem(const std::string& jid, const std::string&) {
    const std::wstring wide = utf8ToWide(jid);
    later([this, wide] {
        if (!isPendingDeletion(wide)) {
            ensureContact(wide);
        } else if (parts_.session && parts_.profile &&
                   parts_.profile->getStatus() != LumoraContact::STATUS_OFFLINE) {
            // Removed while offline: the server learns it now, at the first roster after.
            parts_.session->removeContact(wideToUtf8(wide));
        }
    });
}

void SessionReactions::onContactPresence(const std::string& jid, const int* presence) {
    if (presence == nullptr) {
        return;
    }
    const std::wstring wide = utf8ToWide(jid);
    const int status = statusForPresence(*presence);
    later([this, wide, status] { contactPresence(wide, status); });
}

void SessionReactions::contactPresence(const std::wstring& jid, int status) {
    if (isPendingDeletion(jid)) {
        return;
    }
    const std::shared_ptr<LumoraContact> contact = ensureContact(jid);
    if (!contact) {
        Log::error("ApplicationManager::onChangeStatus: tmpContact == NULL.");
        return;
    }
    const int old = contact->getStatus();
    const bool offlineOnly =
        (old == LumoraContact::STATUS_OFFLINE && status == LumoraContact::STATUS_UNAVAILABLE) ||
        (old == LumoraContact::STATUS_UNAVAILABLE && status == LumoraContact::STATUS_OFFLINE);
    if (old == status || offlineOnly) {
        return;
    }
    contact->setStatus(status);
    {
        kestra::Mutex::Locker lock(*parts_.controllerLock);
        if (parts_.windows && parts_.windows->contactList()) {
            IContactListWindow* list = parts_.windows->contactList();
            if (old == LumoraContact::STATUS_OFFLINE || status == LumoraContact::STATUS_OFFLINE) {
                // Into the other part of the list.
                list->removeContact(jid);
                list->addContact(contact);
            } else {
                list->contactChanged(jid);
            }
        }
    }
    if (parts_.chats) {
        if (auto chat = parts_.chats->find(jid)) {
            chat->contactStatusChanged(status);
        }
    }
}

void SessionReactions::onContactPosition(const std::string& jid, double latitude,
                                         double longitude) {
    const std::wstring wide = utf8ToWide(jid);
    later([this, wide, latitude, longitude] {
        const std::shared_ptr<LumoraContact> contact = controller_.findContact(wide);
        const DecimalCoords decimal{latitude, longitude};
        if (!contact || !CoordinateUtils::isValid(decimal)) {
            return;
        }
        contact->setPosition(CoordinateUtils::fromDecimal(decimal));
        contact->setHasPosition(true);
        kestra::Mutex::Locker lock(*parts_.controllerLock);
        if (parts_.windows && parts_.windows->contactList()) {
            parts_.windows->contactList()->contactChanged(wide);
        }
    });
}

bool SessionReactions::onSubscriptionRequest(const std::string& bareJid, const std::string&,
                                             const std::string& message) {
    AuthorizationRequest request{utf8ToWide(bareJid), utf8ToWide(message)};
    later([this, request] {
        kestra::Mutex::Locker lock(*parts_.controllerLock);
        if (parts_.windows && parts_.windows->mainFrame()) {
            parts_.windows->mainFrame()->showAuthorizationRequest(request.jid, request.text);
        }
    });
    return true;
}

bool SessionReactions::onUnsubscriptionRequest(const std::string&, const std::string&) {
    return true;
}

// ---- Chats ----

void SessionReactions::onNewMessage(const std::string& bareJid, const std::string& body,
                                    int subtype) {
    std::wstring text;
    bool notice = false;
    if (!messageText(body, subtype, text, notice)) {
        return;
    }
    const std::wstring jid = utf8ToWide(bareJid);
    later([this, jid, text, notice] { deliverMessage(jid, text, notice); });
}

// The chat window of the contact, asked of the main frame when there is none, and waited for
// while the GUI thread makes it.
std::shared_ptr<IChatWindow> SessionReactions::chatWindowFor(
    const std::shared_ptr<LumoraContact>& contact) {
    if (!parts_.chats) {
        return nullptr;
    }
    const std::wstring jid = contact->getJid();
    if (auto chat = parts_.chats->find(jid)) {
        return chat;
    }
    {
        kestra::Mutex::Locker lock(*parts_.controllerLock);
        if (!parts_.windows || !parts_.windows->mainFrame()) {
            return nullptr;
        }
        parts_.windows->mainFrame()->createChatWindow(contact);
    }
    for (int poll = 0; poll < CHAT_WINDOW_POLLS && guiRuns(); ++poll) {
        if (auto chat = parts_.chats->find(jid)) {
            return chat;
        }
        parts_.clock->sleepMs(POLL_MS);
    }
    return parts_.chats->find(jid);
}

void SessionReactions::deliverMessage(const std::wstring& jid, const std::wstring& text,
                                      bool notice) {
    std::shared_ptr<LumoraContact> contact = controller_.findContact(jid);
    if (!contact && !isPendingDeletion(jid)) {
        contact = ensureContact(jid);
    }
    const std::shared_ptr<IChatWindow> chat = contact ? chatWindowFor(contact) : nullptr;
    if (!chat) {
        Log::error("ApplicationManager::onNewMessage onNewChatSession error.");
        return;
    }
    chat->addChatMessage(text, notice);
    if (!chat->isChatWindowInFront()) {
        parts_.chats->markUnread(jid);
    }
}

void SessionReactions::openChat(const std::shared_ptr<LumoraContact>& contact) {
    if (parts_.session && parts_.session->isConnected()) {
        parts_.session->openMessageSession(wideToUtf8(contact->getJid()));
    }
    ensureContact(contact->getJid());
    std::shared_ptr<LumoraContact> known = controller_.findContact(contact->getJid());
    if (!chatWindowFor(known ? known : contact)) {
        Log::error("ApplicationManager::runApplication: the chat window did not appear.");
        return;
    }
    parts_.chats->bringForward(contact->getJid());
    parts_.chats->takeUnread(contact->getJid());
}

// ---- Sign-in, sign-out and connection errors ----

void SessionReactions::onConnected(const int* presence, const std::string& bareJid) {
    const int status = presence ? statusForPresence(*presence) : LumoraContact::STATUS_ONLINE;
    const std::wstring jid = utf8ToWide(bareJid);
    later([this, status, jid] {
        if (!parts_.profile || !parts_.session) {
            return;
        }
        if (!jid.empty() && jid != parts_.profile->getJid()) {
            parts_.profile->setJidFromText(jid);
        }
        showConnectionState(status, std::wstring());
        controller_.showMessage(Dictionary::translate("Connected!"));
        const int visibility = parts_.profile->getVisibility();
        parts_.session->setVisibility(visibility);
        if (visibility == UserContactProfile::INVISIBLE) {
            parts_.session->updatePosition(NO_POSITION, NO_POSITION);
        } else {
            publishPosition();
        }
    });
}

void SessionReactions::publishPosition() {
    if (!parts_.profile || !parts_.session) {
        return;
    }
    const int status = parts_.profile->getStatus();
    const WorldCoords position = parts_.profile->getPosition();
    if (!CoordinateUtils::isValid(position) || status == LumoraContact::STATUS_OFFLINE ||
        status == LumoraContact::STATUS_UNAVAILABLE ||
        parts_.profile->getVisibility() == UserContactProfile::INVISIBLE) {
        return;
    }
    const DecimalCoords decimal = CoordinateUtils::toDecimal(position);
    parts_.session->updatePosition(decimal.latitude, decimal.longitude);
}

void SessionReactions::onOwnPresence(const int* presence) {
    if (presence != nullptr) {
        controller_.postMessage(UM_CONNECTION_MESSAGE, statusForPresence(*presence));
    }
}

void SessionReactions::onDisconnected(int error, int detail) {
    later([this, error, detail] { connectionEnded(error, detail); });
}

void SessionReactions::onAuthenticationFailed(int error) {
    onDisconnected(error, -1);
}

void SessionReactions::connectionEnded(int error, int detail) {
    if (!parts_.profile || !guiRuns()) {
        return;
    }
    parts_.profile->setStatus(LumoraContact::STATUS_OFFLINE);
    std::string text = "Connection closed.";
    if (error == CONNECTION_STREAM_ERROR && detail == STREAM_ERROR_CONFLICT) {
        text = "You logged in from a different device.";
    } else if (error == CONNECTION_AUTHENTICATION_FAILED) {
        text = "Invalid GID or password!";
    }
    controller_.postMessage(UM_CONNECTION_MESSAGE, LumoraContact::STATUS_OFFLINE, 0,
                            kestra::makePayload(kestra::utf8ToWide(text)));
    if (reconnectPending_) {
        reconnectPending_ = false;
        controller_.postMessage(UM_CONNECT, 0, 1000);
    }
}

void SessionReactions::onConnectionError(int error) {
    later([this, error] { connectionFailed(error); });
}

void SessionReactions::connectionFailed(int error) {
    if (!parts_.profile || !guiRuns()) {
        return;
    }
    const int previous = parts_.profile->getStatus();
    parts_.profile->setStatus(LumoraContact::STATUS_OFFLINE);
    controller_.postMessage(UM_CONNECT, previous, 10000);
    std::string text = "Connection lost.";
    if (previous == LumoraContact::STATUS_OFFLINE || previous == LumoraContact::STATUS_CONNECTING) {
        text = error == CONNECTION_REFUSED ? "Can't connect. Check Internet connection."
                                           : "Can't connect to the server.";
    }
    showConnectionState(LumoraContact::STATUS_OFFLINE, utf8ToWide(text));
}

// The session also reports a new account's registration here. Only a change the user asked
// for (user.emailpassflag) takes the new password: after a registration there is none, and
// taking the empty one would lock the user out at the next sign-in.
void SessionReactions::onPasswordChanged(bool success) {
    if (!success) {
        return;
    }
    later([this] {
        if (!parts_.profile ||
            kestra::Settings::getIntValue(UserContactProfile::KEY_PASSWORD_FLAG, 0) != 1) {
            return;
        }
        parts_.profile->applyNewPassword();
        controller_.showMessage(Dictionary::translate("Password was changed successfully!"));
    });
}

// A contact's card: copied into the contact (its picture checked and stored), then the list
// and the details dialog show it. "No card" (null) changes nothing.
void SessionReactions::onVCard(const ProfileCard* card, const std::string& bareJid) {
    if (card == nullptr) {
        return;
    }
    const std::wstring jid = utf8ToWide(bareJid);
    later([this, jid, copy = *card] {
        if (parts_.profile && jid == parts_.profile->getJid()) {
            return;  // the user's own card, taken by onOwnVCard
        }
        const std::shared_ptr<LumoraContact> contact = controller_.findContact(jid);
        if (!contact) {
            return;
        }
        ProfileCards::applyToContact(*contact, copy, controller_.getImageFactory());
        kestra::Mutex::Locker lock(*parts_.controllerLock);
        if (!parts_.windows) {
            return;
        }
        if (parts_.windows->contactList()) {
            parts_.windows->contactList()->contactChanged(jid);
        }
        IContactDetailsDialog* details = parts_.windows->contactDetailsDialog();
        if (details == nullptr || details->contactJid().empty()) {
            Log::debug(
                "ApplicationManager::onGetVCard: _dialogDetailContactsInfo  contact == NULL.");
        } else if (details->contactJid() == jid) {
            details->refreshContact(jid);
        }
    });
}

// The user's own card, as the server keeps it, into the profile. Changes the user made
// while offline and not yet sent win: the card then waits to be stored.
void SessionReactions::onOwnVCard(const ProfileCard* card) {
    if (card == nullptr) {
        return;
    }
    later([this, copy = *card] {
        if (!parts_.profile ||
            kestra::Settings::getIntValue(UserContactProfile::KEY_INFO_FLAG, 0) == 1) {
            return;
        }
        ProfileCards::applyToProfile(*parts_.profile, copy, controller_.getImageFactory());
    });
}

void SessionReactions::onVCardStored(bool success) {
    if (!success) {
        Log::error("ApplicationManager::onUserInfoChange: error while change users info.");
        return;
    }
    later([this] {
        if (!parts_.profile || !parts_.session) {
            return;
        }
        parts_.profile->clearChangeFlags();
        parts_.session->sendProfileToBot(ProfileCards::genderText(parts_.profile->getGender()));
    });
}

bool SessionReactions::getCurrentPosition(double* latitude, double* longitude) {
    if (!parts_.profile) {
        return false;
    }
    const WorldCoords position = parts_.profile->getPosition();
    if (!CoordinateUtils::isValid(position)) {
        return false;
    }
    const DecimalCoords decimal = CoordinateUtils::toDecimal(position);
    *latitude = decimal.latitude;
    *longitude = decimal.longitude;
    return true;
}

bool SessionReactions::getPresencePosition(double* latitude, double* longitude) {
    if (parts_.profile && parts_.profile->getVisibility() == UserContactProfile::INVISIBLE) {
        return false;
    }
    return getCurrentPosition(latitude, longitude);
}

void SessionReactions::onPacketNotSent(int) {
    controller_.postMessage(UM_CONNECT, 0, 1000);
}

void SessionReactions::onPositionNotShared() {
    controller_.postMessage(UM_SHOW_MESSAGE, 0, 0,
                            kestra::makePayload(tr("Your position can't be shared: the server "
                                                   "refuses your position node.")));
}

// ---- Registration ----

void SessionReactions::onRegistrationFields(int, const std::string&, RegistrationValues& values) {
    if (!parts_.profile) {
        return;
    }
    values.username = wideToUtf8(parts_.profile->getGid());
    values.password = wideToUtf8(parts_.profile->getPassword());
}

void SessionReactions::onRegistrationNotice(int flag, int alreadyRegistered, const std::string&) {
    if (!alreadyRegistered) {
        controller_.postMessage(UM_CHANGE_STATUS, flag == 0 ? LumoraContact::STATUS_OFFLINE
                                                            : LumoraContact::STATUS_ONLINE);
        return;
    }
    later([this] {
        if (!parts_.profile) {
            return;
        }
        controller_.showMessage(
            L"This JID:\n " + parts_.profile->getGid() + L"\n" +
            Dictionary::translate("is used by another contact. Select another JID."));
        parts_.profile->setJidAndNotify(L"");
    });
}

void SessionReactions::onRegistrationReply(const HTTPResult& reply) {
    std::wstring gid;
    std::wstring password;
    if (reply.error == 0 && !reply.data.empty()) {
        const std::string body(reply.data.begin(), reply.data.end());
        if (utf8ToWide(body).find(L"registration") == std::wstring::npos) {
            Log::error("ApplicationManager ::-1 == xmlWContent.find(information).");
        } else {
            pugi::xml_document document;
            if (document.load_buffer(body.data(), body.size())) {
                const pugi::xml_node root = document.document_element();
                gid = utf8ToWide(root.child("gid").text().get());
                password = utf8ToWide(root.child("password").text().get());
            }
        }
    }
    if (gid.empty() || password.empty() || !parts_.profile) {
        controller_.showMessage(Dictionary::translate("Error at registration"));
        return;
    }
    const std::wstring jid = gid + L"@" + utf8ToWide(CHAT_HOST);
    parts_.profile->setNewUserJid(jid);
    parts_.profile->setPassword(password);
    Log::info(L"ApplicationManager: registered as " + jid + L".");
    {
        kestra::Mutex::Locker lock(*parts_.controllerLock);
        if (parts_.windows && parts_.windows->mainFrame()) {
            parts_.windows->mainFrame()->showConnectionStatus(LumoraContact::STATUS_CONNECTING);
        }
    }
    newAccount_ = true;
    changeOwnStatus(LumoraContact::STATUS_ONLINE);
}

// ---- The profile's reactions ----

void SessionReactions::onUserJidChanged(const std::wstring&) {
    later([this] {
        if (parts_.contactsToDelete) {
            parts_.contactsToDelete->clear();
        }
        kestra::Settings::removeListVariant(L"user.contactstodelete");
    });
}

void SessionReactions::onUserStatusChanged(int oldStatus, int newStatus) {
    if (oldStatus == LumoraContact::STATUS_OFFLINE && newStatus != LumoraContact::STATUS_OFFLINE) {
        if (parts_.session) {
            parts_.session->requestOwnCard();
        }
        return;
    }
    if (oldStatus != LumoraContact::STATUS_OFFLINE && newStatus == LumoraContact::STATUS_OFFLINE) {
        later([this] {
            if (!parts_.chats) {
                return;
            }
            std::vector<std::shared_ptr<LumoraContact>> contacts;
            {
                kestra::Mutex::Locker lock(controller_.getContactsLock());
                for (const auto& entry : controller_.getContacts()) {
                    contacts.push_back(entry.second);
                }
            }
            for (const auto& contact : contacts) {
                auto chat = parts_.chats->find(contact->getJid());
                if (chat && isOnline(contact->getStatus())) {
                    chat->contactStatusChanged(LumoraContact::STATUS_OFFLINE);
                }
            }
        });
    }
}
