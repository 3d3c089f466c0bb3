#include "client/contacts/UserContactProfile.h"

#include <algorithm>
#include <cwctype>

#include "client/contacts/UserInfoFile.h"
#include "kestra/Exceptions.h"
#include "kestra/Settings.h"

using kestra::Settings;

namespace {

std::wstring trimmed(const std::wstring& text) {
    const auto isBlank = [](wchar_t c) { return std::iswspace(static_cast<wint_t>(c)) != 0; };
    const auto first = std::find_if_not(text.begin(), text.end(), isBlank);
    const auto last = std::find_if_not(text.rbegin(), text.rend(), isBlank).base();
    return first < last ? std::wstring(first, last) : std::wstring();
}

}  // namespace

UserContactProfile::UserContactProfile() {
    std::wstring jid;
    if (Settings::getStringValue(KEY_USER_ID, &jid) && !jid.empty()) {
        setJid(jid);
        reloadFromFile();
        std::wstring password;
        Settings::getStringValue(KEY_PASSWORD, &password);
        std::lock_guard<std::mutex> guard(profileLock_);
        password_ = password;
    }
    int visibility = INVISIBLE;
    if (!Settings::getIntValue(KEY_VISIBILITY, &visibility)) {
        visibility = INVISIBLE;
        Settings::setIntValue(KEY_VISIBILITY, INVISIBLE);
    }
    std::lock_guard<std::mutex> guard(profileLock_);
    visibility_ = visibility;
}

UserContactProfile::~UserContactProfile() = default;

// A profile whose file was never written (a user id assigned but not yet saved) keeps
// what it has; a file that cannot be read is logged where it failed.
void UserContactProfile::reloadFromFile() {
    if (!infoFileExists()) {
        return;
    }
    try {
        loadAllInfo();
        const AdditionalInfo info = loadAdditionalInfo();
        std::lock_guard<std::mutex> guard(profileLock_);
        telephone_ = info.telephone;
        birthDay_ = info.day;
        birthMonth_ = info.month;
        birthYear_ = info.year;
        about_ = info.about;
    } catch (const kestra::IOStreamException&) {
    }
}

void UserContactProfile::saveContactsInfo() {
    const std::wstring jid = getJid();
    if (jid.empty()) {
        return;
    }
    setJid(jid);  // the folder follows the contacts folder and host in force now
    saveRecord(UserInfoFile::OWN_PROFILE);
}

void UserContactProfile::writeTelephone(const std::wstring& telephone) {
    {
        std::lock_guard<std::mutex> guard(profileLock_);
        telephone_ = telephone;
    }
    if (!getInfoFilePath().empty()) {
        LumoraContact::writeTelephone(telephone);
    }
}

std::wstring UserContactProfile::readTelephone() {
    std::lock_guard<std::mutex> guard(profileLock_);
    return telephone_;
}

void UserContactProfile::writeBirthday(int day, int month, int year) {
    {
        std::lock_guard<std::mutex> guard(profileLock_);
        birthDay_ = day;
        birthMonth_ = month;
        birthYear_ = year;
    }
    if (!getInfoFilePath().empty()) {
        LumoraContact::writeBirthday(day, month, year);
    }
}

bool UserContactProfile::readBirthday(int& day, int& month, int& year) {
    std::lock_guard<std::mutex> guard(profileLock_);
    day = birthDay_;
    month = birthMonth_;
    year = birthYear_;
    return day != 0 && month != 0 && year != 0;
}

void UserContactProfile::writeAbout(const std::wstring& about) {
    {
        std::lock_guard<std::mutex> guard(profileLock_);
        about_ = about;
    }
    if (!getInfoFilePath().empty()) {
        LumoraContact::writeAbout(about);
    }
}

std::wstring UserContactProfile::readAbout() {
    std::lock_guard<std::mutex> guard(profileLock_);
    return about_;
}

void UserContactProfile::setStatus(int status) {
    const int oldStatus = getStatus();
    LumoraContact::setStatus(status);
    kestra::Mutex::Locker guard(listenersLock_);
    for (IUserContactProfileListener* listener : listeners_) {
        listener->onUserStatusChanged(oldStatus, status);
    }
}

void UserContactProfile::setPosition(const WorldCoords& position) {
    LumoraContact::setPosition(position);
    kestra::Mutex::Locker guard(listenersLock_);
    for (IUserContactProfileListener* listener : listeners_) {
        listener->onUserPositionChanged(position);
    }
}

void UserContactProfile::setJidFromText(const std::wstring& text) {
    const std::wstring jid = trimmed(text);
    setJid(jid);
    Settings::setStringValue(KEY_USER_ID, jid);
}

void UserContactProfile::setJidAndNotify(const std::wstring& text) {
    setJidFromText(text);
    const std::wstring jid = getJid();
    kestra::Mutex::Locker guard(listenersLock_);
    for (IUserContactProfileListener* listener : listeners_) {
        listener->onUserJidChanged(jid);
    }
}

void UserContactProfile::setNewUserJid(const std::wstring& jid) {
    setJidAndNotify(jid);
    Settings::setStringValue(KEY_PASSWORD, L"");
    Settings::setStringValue(KEY_NEW_PASSWORD, L"");
    Settings::setStringValue(KEY_NEW_EMAIL, L"");
    std::lock_guard<std::mutex> guard(profileLock_);
    password_.clear();
}

void UserContactProfile::takeOverContact(const LumoraContact& contact) {
    setJid(contact.getJid());
    {
        std::lock_guard<std::mutex> guard(profileLock_);
        birthDay_ = birthMonth_ = birthYear_ = 0;
        telephone_.clear();
        about_.clear();
    }
    LumoraContact::setPosition(contact.getPosition());
    if (!contact.hasPosition()) {
        setHasPosition(false);
    }
    if (!getJid().empty()) {
        reloadFromFile();
    }
}

bool UserContactProfile::hasUserId() const {
    return !getJid().empty();
}

void UserContactProfile::setPassword(const std::wstring& password) {
    Settings::setStringValue(KEY_PASSWORD, password);
    std::lock_guard<std::mutex> guard(profileLock_);
    password_ = password;
}

std::wstring UserContactProfile::getPassword() const {
    std::lock_guard<std::mutex> guard(profileLock_);
    return password_;
}

void UserContactProfile::applyNewPassword() {
    Settings::setIntValue(KEY_PASSWORD_FLAG, 0);
    const std::wstring password = Settings::getStringValue(KEY_NEW_PASSWORD);
    Settings::setStringValue(KEY_PASSWORD, password);
    std::lock_guard<std::mutex> guard(profileLock_);
    password_ = password;
}

void UserContactProfile::clearChangeFlags() {
    Settings::setIntValue(KEY_AVATAR_FLAG, 0);
    Settings::setIntValue(KEY_ABOUT_FLAG, 0);
    Settings::setIntValue(KEY_INFO_FLAG, 0);
}

void UserContactProfile::setVisibility(int visibility) {
    {
        std::lock_guard<std::mutex> guard(profileLock_);
        visibility_ = visibility;
    }
    Settings::setIntValue(KEY_VISIBILITY, visibility);
}

int UserContactProfile::getVisibility() const {
    std::lock_guard<std::mutex> guard(profileLock_);
    return visibility_;
}

void UserContactProfile::addListener(IUserContactProfileListener* listener) {
    kestra::Mutex::Locker guard(listenersLock_);
    if (listener != nullptr &&
        std::find(listeners_.begin(), listeners_.end(), listener) == listeners_.end()) {
        listeners_.push_back(listener);
    }
}

void UserContactProfile::removeListener(IUserContactProfileListener* listener) {
    kestra::Mutex::Locker guard(listenersLock_);
    listeners_.erase(std::remove(listeners_.begin(), listeners_.end(), listener), listeners_.end());
}
