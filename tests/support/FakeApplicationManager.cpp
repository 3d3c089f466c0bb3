#include "FakeApplicationManager.h"

#include "kestra/TextCodec.h"

namespace {
std::string utf8(const std::wstring& text) {
    return kestra::wideToUtf8(text);
}
}  // namespace

FakeApplicationManager::FakeApplicationManager() = default;
FakeApplicationManager::~FakeApplicationManager() = default;

std::vector<std::string> FakeApplicationManager::calls() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return calls_;
}

int FakeApplicationManager::count(const std::string& prefix) const {
    std::lock_guard<std::mutex> guard(mutex_);
    int n = 0;
    for (const auto& c : calls_) {
        n += c.compare(0, prefix.size(), prefix) == 0 ? 1 : 0;
    }
    return n;
}

std::vector<unsigned int> FakeApplicationManager::postedIds() const {
    std::lock_guard<std::mutex> guard(mutex_);
    std::vector<unsigned int> ids;
    for (const auto& message : posted_) {
        ids.push_back(message.id);
    }
    return ids;
}

const kestra::ThreadMessage* FakeApplicationManager::lastPosted(unsigned int id) const {
    std::lock_guard<std::mutex> guard(mutex_);
    for (auto it = posted_.rbegin(); it != posted_.rend(); ++it) {
        if (it->id == id) {
            return &*it;
        }
    }
    return nullptr;
}

IChatWindow* FakeApplicationManager::chatWindow(const std::wstring& jid) const {
    std::lock_guard<std::mutex> guard(mutex_);
    const auto it = chatWindows_.find(jid);
    return it != chatWindows_.end() ? it->second.get() : nullptr;
}

void FakeApplicationManager::record(std::string call) {
    std::lock_guard<std::mutex> guard(mutex_);
    calls_.push_back(std::move(call));
}

bool FakeApplicationManager::postMessage(unsigned int id, std::intptr_t wParam,
                                         std::intptr_t lParam,
                                         std::unique_ptr<kestra::MessagePayload> payload) {
    record("postMessage(" + std::to_string(id) + ", " + std::to_string(wParam) + ", " +
           std::to_string(lParam) + ")");
    if (!acceptPosts) {
        return false;
    }
    kestra::ThreadMessage message;
    message.id = id;
    message.wParam = wParam;
    message.lParam = lParam;
    message.payload = std::move(payload);
    std::lock_guard<std::mutex> guard(mutex_);
    posted_.push_back(std::move(message));
    return true;
}

void FakeApplicationManager::showMessage(const std::wstring& text) {
    record("showMessage(" + utf8(text) + ")");
}

void FakeApplicationManager::onGPSFixState(bool hasFix) {
    record(std::string("onGPSFixState(") + (hasFix ? "true" : "false") + ")");
}

int FakeApplicationManager::switchGPS() {
    record("switchGPS()");
    return gpsState;
}

void FakeApplicationManager::changeOwnStatus(int newStatus) {
    record("changeOwnStatus(" + std::to_string(newStatus) + ")");
}

void FakeApplicationManager::showConnectionState(int status, const std::wstring& text) {
    record("showConnectionState(" + std::to_string(status) + ", " + utf8(text) + ")");
}

bool FakeApplicationManager::setNewUserId(const std::wstring& gid) {
    record("setNewUserId(" + utf8(gid) + ")");
    return acceptUserId;
}

LoginData FakeApplicationManager::getLoginData() {
    record("getLoginData()");
    return loginData;
}

bool FakeApplicationManager::hasUnreadMessagesFrom(const std::wstring& jid) {
    record("hasUnreadMessagesFrom(" + utf8(jid) + ")");
    return unreadFrom.empty() ? unread : unreadFrom.count(jid) != 0;
}

bool FakeApplicationManager::hasUnreadMessages() {
    return unread;
}

std::shared_ptr<LumoraContact> FakeApplicationManager::getFirstContactFromMessageMap() {
    record("getFirstContactFromMessageMap()");
    return firstUnread;
}

void FakeApplicationManager::registerChatWindow(std::unique_ptr<IChatWindow> window,
                                                const std::wstring& jid) {
    record("registerChatWindow(" + utf8(jid) + ")");
    std::lock_guard<std::mutex> guard(mutex_);
    chatWindows_[jid] = std::move(window);
}

void FakeApplicationManager::sendChatMessage(const std::wstring& text, const std::wstring& jid) {
    record("sendChatMessage(" + utf8(text) + ", " + utf8(jid) + ")");
}

std::shared_ptr<LumoraContact> FakeApplicationManager::findContact(const std::wstring& jid) {
    kestra::Mutex::Locker lock(contactsLock_);
    const auto it = contacts_.find(jid);
    return it != contacts_.end() ? it->second : nullptr;
}

void FakeApplicationManager::startUserSearch(const std::wstring& gid, const std::wstring& email,
                                             const std::wstring& nick,
                                             const std::wstring& firstName,
                                             const std::wstring& lastName, int gender,
                                             double distance, int status) {
    record("startUserSearch(" + utf8(gid) + ", " + utf8(email) + ", " + utf8(nick) + ", " +
           utf8(firstName) + ", " + utf8(lastName) + ", " + std::to_string(gender) + ", " +
           std::to_string(distance) + ", " + std::to_string(status) + ")");
}
