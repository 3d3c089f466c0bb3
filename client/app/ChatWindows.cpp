#include "client/app/ChatWindows.h"

#include "kestra/Log.h"

ChatWindows::ChatWindows(FindContact findContact) : findContact_(std::move(findContact)) {}

ChatWindows::~ChatWindows() = default;

void ChatWindows::add(std::unique_ptr<IChatWindow> window, const std::wstring& jid) {
    if (!window) {
        return;
    }
    kestra::Mutex::Locker lock(lock_);
    auto& slot = windows_[jid];
    if (slot) {
        slot->destroyChatWindow();
    }
    slot = std::move(window);
    current_ = jid;
}

std::shared_ptr<IChatWindow> ChatWindows::find(const std::wstring& jid) const {
    kestra::Mutex::Locker lock(lock_);
    const auto it = windows_.find(jid);
    return it != windows_.end() ? it->second : nullptr;
}

std::size_t ChatWindows::size() const {
    kestra::Mutex::Locker lock(lock_);
    return windows_.size();
}

std::wstring ChatWindows::currentJid() const {
    kestra::Mutex::Locker lock(lock_);
    return current_;
}

std::shared_ptr<IChatWindow> ChatWindows::currentLocked() const {
    const auto it = windows_.find(current_);
    return it != windows_.end() ? it->second : nullptr;
}

bool ChatWindows::bringForward(const std::wstring& jid) {
    kestra::Mutex::Locker lock(lock_);
    const auto it = windows_.find(jid);
    if (it == windows_.end()) {
        return false;
    }
    current_ = jid;
    return it->second->showChatWindow();
}

void ChatWindows::bringCurrentForward() {
    kestra::Mutex::Locker lock(lock_);
    if (const auto window = currentLocked()) {
        window->showChatWindow();
    }
}

// The window hides later, on the GUI thread, so its own shown state is not asked.
void ChatWindows::hideCurrent() {
    kestra::Mutex::Locker lock(lock_);
    const auto current = currentLocked();
    if (!current) {
        current_.clear();
        return;
    }
    current->hideChatWindow();
    for (const auto& [jid, window] : windows_) {
        if (window != current && window->isChatWindowShown()) {
            return;
        }
    }
    current_.clear();
}

void ChatWindows::hideAll() {
    kestra::Mutex::Locker lock(lock_);
    for (const auto& entry : windows_) {
        entry.second->hideChatWindow();
    }
}

void ChatWindows::remove(const std::wstring& jid) {
    kestra::Mutex::Locker lock(lock_);
    const auto it = windows_.find(jid);
    if (it != windows_.end()) {
        it->second->destroyChatWindow();
        windows_.erase(it);
    }
    unread_.erase(jid);
    if (current_ == jid) {
        current_.clear();
    }
}

void ChatWindows::closeAll() {
    kestra::Mutex::Locker lock(lock_);
    for (const auto& entry : windows_) {
        entry.second->destroyChatWindow();
    }
    windows_.clear();
    current_.clear();
}

void ChatWindows::markUnread(const std::wstring& jid) {
    kestra::Mutex::Locker lock(lock_);
    unread_.insert(jid);
}

bool ChatWindows::takeUnread(const std::wstring& jid) {
    kestra::Mutex::Locker lock(lock_);
    return unread_.erase(jid) != 0;
}

bool ChatWindows::hasUnreadFrom(const std::wstring& jid) const {
    kestra::Mutex::Locker lock(lock_);
    return unread_.count(jid) != 0;
}

bool ChatWindows::hasUnread() const {
    kestra::Mutex::Locker lock(lock_);
    return !unread_.empty();
}

std::shared_ptr<LumoraContact> ChatWindows::firstUnreadContact() {
    kestra::Mutex::Locker lock(lock_);
    if (unread_.empty()) {
        return nullptr;
    }
    std::shared_ptr<LumoraContact> contact = findContact_(*unread_.begin());
    if (!contact) {
        unread_.clear();
        kestra::Log::error("ApplicationManager::getFirstContactFromMessageMap contact == NULL.");
    }
    return contact;
}
