#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "client/contacts/IUserContactProfileListener.h"
#include "client/contacts/LumoraContact.h"
#include "kestra/Mutex.h"

// The signed-in user's own record: a LumoraContact stored in the same folder tree with
// record kind 2, plus what only the user has: the password, the visibility of the
// position, the telephone, birthday and "about" kept in memory, and listeners.
//
// Identity, password, visibility and the pending-change flags live in the settings store
// (which must be started before a profile is made) under the keys below:
//   user.lumoraid       the JID (user id + "@" + the chat host); absent before registration
//   user.password       the password
//   user.newpassword    a new password not yet confirmed by the server
//   user.newemail       a new e-mail address not yet sent
//   user.emailpassflag  1: a password change waits to be sent
//   user.infoflag       1: the profile data changed and the card waits to be stored
//   user.avatarpathflag 1: the avatar changed
//   user.aboutflag      1: the "about" text changed
//   user.contactstodelete  JIDs of contacts removed while offline (a list)
//   user.posState       the visibility (VISIBLE_FOR_ALL, VISIBLE_FOR_FRIENDS, INVISIBLE)
class UserContactProfile : public LumoraContact {
public:
    enum Visibility { VISIBLE_FOR_ALL = 0, VISIBLE_FOR_FRIENDS = 1, INVISIBLE = 2 };

    static constexpr const wchar_t* KEY_USER_ID = L"user.lumoraid";
    static constexpr const wchar_t* KEY_PASSWORD = L"user.password";
    static constexpr const wchar_t* KEY_NEW_PASSWORD = L"user.newpassword";
    static constexpr const wchar_t* KEY_NEW_EMAIL = L"user.newemail";
    static constexpr const wchar_t* KEY_PASSWORD_FLAG = L"user.emailpassflag";
    static constexpr const wchar_t* KEY_INFO_FLAG = L"user.infoflag";
    static constexpr const wchar_t* KEY_AVATAR_FLAG = L"user.avatarpathflag";
    static constexpr const wchar_t* KEY_ABOUT_FLAG = L"user.aboutflag";
    static constexpr const wchar_t* KEY_CONTACTS_TO_DELETE = L"user.contactstodelete";
    static constexpr const wchar_t* KEY_VISIBILITY = L"user.posState";

    // Reads the JID; when there is one, reloads the record, the telephone, birthday and
    // "about" from the user's ".userinfo" (when it exists) and reads the password. Reads the
    // visibility, writing INVISIBLE when it is missing.
    UserContactProfile();
    ~UserContactProfile() override;

    // Writes the record as the user's own profile (kind 2); nothing without a JID.
    void saveContactsInfo() override;

    // Telephone, birthday and "about": kept in memory and, once the profile has a JID (and
    // so a file), written to the file too. The readers answer from memory.
    void writeTelephone(const std::wstring& telephone) override;
    std::wstring readTelephone() override;
    void writeBirthday(int day, int month, int year) override;
    bool readBirthday(int& day, int& month, int& year) override;
    void writeAbout(const std::wstring& about) override;
    std::wstring readAbout() override;

    // Store the value, then tell every listener.
    void setStatus(int status) override;
    void setPosition(const WorldCoords& position) override;

    // Trims white space at both ends, sets the JID and writes it to user.lumoraid.
    virtual void setJidFromText(const std::wstring& text);
    // The same, then tells every listener about the new JID.
    void setJidAndNotify(const std::wstring& text);
    // A new user id assigned by the service: setJidAndNotify with the JID, and the stored
    // password, pending password and pending e-mail are emptied.
    void setNewUserJid(const std::wstring& jid);
    // Takes the JID of the user's own record found among the contacts, clears telephone,
    // birthday and "about", takes its position, and reloads everything from the file.
    void takeOverContact(const LumoraContact& contact);
    // True once the profile has a JID (the user has registered).
    bool hasUserId() const;

    void setPassword(const std::wstring& password);
    std::wstring getPassword() const;
    // The server confirmed the password change: user.newpassword becomes user.password and
    // user.emailpassflag is cleared.
    void applyNewPassword();
    // The server stored the profile card: the three change flags are cleared.
    void clearChangeFlags();

    void setVisibility(int visibility);
    int getVisibility() const;

    void addListener(IUserContactProfileListener* listener);
    void removeListener(IUserContactProfileListener* listener);

private:
    void reloadFromFile();

    std::wstring password_;
    std::vector<IUserContactProfileListener*> listeners_;
    kestra::Mutex listenersLock_;
    int visibility_ = INVISIBLE;
    int birthDay_ = 0;
    int birthMonth_ = 0;
    int birthYear_ = 0;
    std::wstring telephone_;
    std::wstring about_;
    mutable std::mutex profileLock_;
};
