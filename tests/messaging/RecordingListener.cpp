#include "RecordingListener.h"

#include "TestSupport.h"

namespace {

SessionEvent event(const std::string& kind, const std::string& jid = std::string(),
                   const std::string& text = std::string(), int a = 0, int b = 0) {
    SessionEvent e;
    e.kind = kind;
    e.jid = jid;
    e.text = text;
    e.a = a;
    e.b = b;
    return e;
}

}  // namespace

std::vector<SessionEvent> RecordingListener::events() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return events_;
}

std::vector<SessionEvent> RecordingListener::eventsOf(const std::string& kind) const {
    std::vector<SessionEvent> found;
    for (const SessionEvent& e : events()) {
        if (e.kind == kind)
            found.push_back(e);
    }
    return found;
}

int RecordingListener::count(const std::string& kind) const {
    return static_cast<int>(eventsOf(kind).size());
}

bool RecordingListener::waitFor(const std::string& kind,
                                const std::function<bool(const SessionEvent&)>& match,
                                int timeoutMs) const {
    return testsupport::waitUntil(
        [&] {
            for (const SessionEvent& e : eventsOf(kind)) {
                if (!match || match(e))
                    return true;
            }
            return false;
        },
        timeoutMs);
}

void RecordingListener::clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    events_.clear();
}

void RecordingListener::setPosition(bool has, double latitude, double longitude) {
    std::lock_guard<std::mutex> lock(mutex_);
    hasPosition_ = has;
    latitude_ = latitude;
    longitude_ = longitude;
}

void RecordingListener::setRegistration(const std::string& user, const std::string& password) {
    std::lock_guard<std::mutex> lock(mutex_);
    user_ = user;
    password_ = password;
}

void RecordingListener::add(SessionEvent event) {
    std::lock_guard<std::mutex> lock(mutex_);
    events_.push_back(std::move(event));
}

void RecordingListener::onNewMessage(const std::string& bareJid, const std::string& body,
                                     int subtype) {
    add(event("message", bareJid, body, subtype));
}

void RecordingListener::onConnected(const int* presence, const std::string& bareJid) {
    add(event("connected", bareJid, "", *presence));
}

void RecordingListener::onRegistrationFields(int fields, const std::string& instructions,
                                             RegistrationValues& values) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        values.username = user_;
        values.password = password_;
    }
    add(event("registrationFields", "", instructions, fields));
}

void RecordingListener::onRegistrationNotice(int flag, int alreadyRegistered,
                                             const std::string& text) {
    add(event("registrationNotice", "", text, flag, alreadyRegistered));
}

void RecordingListener::onRosterItem(const std::string& jid, const std::string& name) {
    add(event("rosterItem", jid, name));
}

bool RecordingListener::onSubscriptionRequest(const std::string& bareJid, const std::string&,
                                              const std::string& message) {
    add(event("subscriptionRequest", bareJid, message));
    return true;
}

void RecordingListener::onItemSubscribed(const std::string& bareJid) {
    add(event("itemSubscribed", bareJid));
}

bool RecordingListener::onUnsubscriptionRequest(const std::string& userName,
                                                const std::string& bareJid) {
    add(event("unsubscriptionRequest", bareJid, userName));
    return true;
}

void RecordingListener::onItemUnsubscribed(const std::string& bareJid) {
    add(event("itemUnsubscribed", bareJid));
}

void RecordingListener::onItemRemoved(const std::string& bareJid) {
    add(event("itemRemoved", bareJid));
}

void RecordingListener::onContactPresence(const std::string& jid, const int* presence) {
    add(event("contactPresence", jid, "", *presence));
}

void RecordingListener::onVCard(const ProfileCard* card, const std::string& bareJid) {
    SessionEvent e = event("vcard", bareJid);
    e.hasCard = card != nullptr;
    if (card)
        e.card = *card;
    add(e);
}

void RecordingListener::onOwnVCard(const ProfileCard* card) {
    SessionEvent e = event("ownVcard");
    e.hasCard = card != nullptr;
    if (card)
        e.card = *card;
    add(e);
}

void RecordingListener::onSearchResultItem(const std::string& text,
                                           const SearchResultFields& fields) {
    SessionEvent e = event("searchItem", "", text);
    e.fields = fields;
    add(e);
}

void RecordingListener::onSearchFinished(const std::string& text) {
    add(event("searchFinished", "", text));
}

void RecordingListener::onDisconnected(int error, int detail) {
    add(event("disconnected", "", "", error, detail));
}

void RecordingListener::onAuthenticationFailed(int error) {
    add(event("authenticationFailed", "", "", error));
}

void RecordingListener::onConnectionError(int error) {
    add(event("connectionError", "", "", error));
}

void RecordingListener::onPasswordChanged(bool success) {
    add(event("passwordChanged", "", "", success ? 1 : 0));
}

void RecordingListener::onOwnPresence(const int* presence) {
    add(event("ownPresence", "", "", *presence));
}

void RecordingListener::onVCardStored(bool success) {
    add(event("vcardStored", "", "", success ? 1 : 0));
}

void RecordingListener::onContactPosition(const std::string& jid, double latitude,
                                          double longitude) {
    SessionEvent e = event("position", jid);
    e.latitude = latitude;
    e.longitude = longitude;
    add(e);
}

bool RecordingListener::getCurrentPosition(double* latitude, double* longitude) {
    std::lock_guard<std::mutex> lock(mutex_);
    *latitude = latitude_;
    *longitude = longitude_;
    return hasPosition_;
}

bool RecordingListener::getPresencePosition(double* latitude, double* longitude) {
    return getCurrentPosition(latitude, longitude);
}

void RecordingListener::onPacketNotSent(int packetType) {
    add(event("packetNotSent", "", "", packetType));
}

void RecordingListener::onPositionNotShared() {
    add(event("positionNotShared"));
}
