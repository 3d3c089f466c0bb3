#include "FakeJabberClient.h"

#include <sstream>

namespace {

// "name(a, b, c)" from the arguments, each written as a stream writes it.
template <class... Args>
std::string call(const char* name, const Args&... args) {
    std::ostringstream text;
    text << name << '(';
    const char* separator = "";
    ((text << separator << args, separator = ", "), ...);
    text << ')';
    return text.str();
}

}  // namespace

std::vector<std::string> FakeJabberClient::calls() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return calls_;
}

int FakeJabberClient::count(const std::string& prefix) const {
    std::lock_guard<std::mutex> guard(mutex_);
    int n = 0;
    for (const auto& c : calls_) {
        n += c.compare(0, prefix.size(), prefix) == 0 ? 1 : 0;
    }
    return n;
}

void FakeJabberClient::clear() {
    std::lock_guard<std::mutex> guard(mutex_);
    calls_.clear();
}

void FakeJabberClient::record(std::string text) {
    std::lock_guard<std::mutex> guard(mutex_);
    calls_.push_back(std::move(text));
}

void FakeJabberClient::setUserProfile(UserContactProfile* userProfile) {
    profile = userProfile;
    record(call("setUserProfile", userProfile != nullptr ? "profile" : "null"));
}

void FakeJabberClient::openSession(int presence, const std::string& jidText,
                                   const std::string& password, int port) {
    record(call("openSession", presence, jidText, password, port));
}

void FakeJabberClient::openSessionWithNewAccount(int presence, const std::string& jidText,
                                                 const std::string& password, int port) {
    record(call("openSessionWithNewAccount", presence, jidText, password, port));
}

bool FakeJabberClient::openMessageSession(const std::string& jid) {
    record(call("openMessageSession", jid));
    return connected.load();
}

void FakeJabberClient::sendChatMessage(const std::string& body, const std::string& jid) {
    record(call("sendChatMessage", body, jid));
}

void FakeJabberClient::answerAuthorization(const std::string& jid, bool accepted) {
    record(call("answerAuthorization", jid, accepted));
}

void FakeJabberClient::requestAuthorization(const std::string& jid, const std::string& message) {
    record(call("requestAuthorization", jid, message));
}

void FakeJabberClient::changeStatus(int presence, const std::string& status) {
    record(call("changeStatus", presence, status));
}

void FakeJabberClient::updatePosition(double latitude, double longitude) {
    record(call("updatePosition", latitude, longitude));
}

void FakeJabberClient::storeOwnCard(const ProfileCard& card) {
    record(call("storeOwnCard", card.nick));
}

void FakeJabberClient::requestContactCard(const std::string& jid) {
    record(call("requestContactCard", jid));
}

void FakeJabberClient::removeContact(const std::string& jid) {
    record(call("removeContact", jid));
}

void FakeJabberClient::search(const std::string& user, const std::string& first,
                              const std::string& last, const std::string& nick,
                              const std::string& email, int gender, double distance, int online) {
    record(call("search", user, first, last, nick, email, gender, distance, online));
}

void FakeJabberClient::setVisibility(int visibility) {
    record(call("setVisibility", visibility));
}

void FakeJabberClient::changePassword(const std::string& password) {
    record(call("changePassword", password));
}

void FakeJabberClient::sendProfileToBot(const std::string& gender) {
    record(call("sendProfileToBot", gender));
}
