#pragma once

#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "client/messaging/IJabberListener.h"

// One call the session made on its listener.
struct SessionEvent {
    std::string kind;
    std::string jid;
    std::string text;
    int a = 0;
    int b = 0;
    double latitude = 0;
    double longitude = 0;
    SearchResultFields fields;
    bool hasCard = false;
    ProfileCard card;
};

// A listener that records every call, for tests, with the controller's answers to the
// questions the session asks.
class RecordingListener : public IJabberListener {
public:
    std::vector<SessionEvent> events() const;
    std::vector<SessionEvent> eventsOf(const std::string& kind) const;
    int count(const std::string& kind) const;
    // Waits until an event of the kind (matching the predicate, when given) was recorded.
    bool waitFor(const std::string& kind,
                 const std::function<bool(const SessionEvent&)>& match = nullptr,
                 int timeoutMs = 15000) const;
    void clear();

    void setPosition(bool has, double latitude = 0, double longitude = 0);
    void setRegistration(const std::string& user, const std::string& password);

    void onNewMessage(const std::string& bareJid, const std::string& body, int subtype) override;
    void onConnected(const int* presence, const std::string& bareJid) override;
    void onRegistrationFields(int fields, const std::string& instructions,
                              RegistrationValues& values) override;
    void onRegistrationNotice(int flag, int alreadyRegistered, const std::string& text) override;
    void onRosterItem(const std::string& jid, const std::string& name) override;
    bool onSubscriptionRequest(const std::string& bareJid, const std::string& sameJid,
                               const std::string& message) override;
    void onItemSubscribed(const std::string& bareJid) override;
    bool onUnsubscriptionRequest(const std::string& userName, const std::string& bareJid) override;
    void onItemUnsubscribed(const std::string& bareJid) override;
    void onItemRemoved(const std::string& bareJid) override;
    void onContactPresence(const std::string& jid, const int* presence) override;
    void onVCard(const ProfileCard* card, const std::string& bareJid) override;
    void onOwnVCard(const ProfileCard* card) override;
    void onSearchResultItem(const std::string& text, const SearchResultFields& fields) override;
    void onSearchFinished(const std::string& text) override;
    void onDisconnected(int error, int detail) override;
    void onAuthenticationFailed(int error) override;
    void onConnectionError(int error) override;
    void onPasswordChanged(bool success) override;
    void onOwnPresence(const int* presence) override;
    void onVCardStored(bool success) override;
    void onContactPosition(const std::string& jid, double latitude, double longitude) override;
    bool getCurrentPosition(double* latitude, double* longitude) override;
    bool getPresencePosition(double* latitude, double* longitude) override;
    void onPacketNotSent(int packetType) override;
    void onPositionNotShared() override;

private:
    void add(SessionEvent event);

    mutable std::mutex mutex_;
    std::vector<SessionEvent> events_;
    bool hasPosition_ = false;
    double latitude_ = 0;
    double longitude_ = 0;
    std::string user_;
    std::string password_;
};
