#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "client/messaging/IJabberClient.h"

// A session that records every call, in order, as text such as
// "sendChatMessage(hi, 1001@localhost)", for tests of the session's users.
class FakeJabberClient : public IJabberClient {
public:
    std::vector<std::string> calls() const;
    // How many recorded calls start with prefix (for example "shutdown(").
    int count(const std::string& prefix) const;
    void clear();

    std::atomic<bool> connected{false};
    std::atomic<UserContactProfile*> profile{nullptr};

    void markActivity() override { record("markActivity()"); }
    void setUserProfile(UserContactProfile* userProfile) override;
    void openSession(int presence, const std::string& jidText, const std::string& password,
                     int port) override;
    void openSessionWithNewAccount(int presence, const std::string& jidText,
                                   const std::string& password, int port) override;
    void shutdown() override { record("shutdown()"); }
    bool isConnected() const override { return connected.load(); }
    bool openMessageSession(const std::string& jid) override;
    void sendChatMessage(const std::string& body, const std::string& jid) override;
    void answerAuthorization(const std::string& jid, bool accepted) override;
    void requestAuthorization(const std::string& jid, const std::string& message) override;
    void changeStatus(int presence, const std::string& status) override;
    void updatePosition(double latitude, double longitude) override;
    void storeOwnCard(const ProfileCard& card) override;
    void requestOwnCard() override { record("requestOwnCard()"); }
    void requestContactCard(const std::string& jid) override;
    void removeContact(const std::string& jid) override;
    void search(const std::string& user, const std::string& first, const std::string& last,
                const std::string& nick, const std::string& email, int gender, double distance,
                int online) override;
    void setVisibility(int visibility) override;
    void changePassword(const std::string& password) override;
    void closeConnection() override { record("closeConnection()"); }
    void sendProfileToBot(const std::string& gender) override;

private:
    void record(std::string call);

    mutable std::mutex mutex_;
    std::vector<std::string> calls_;
};
