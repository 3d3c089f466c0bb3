#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "client/maps/CoordinateUtils.h"
#include "kestra/Mutex.h"

struct UserInfoRecord;
class UserInfoFile;

// The client's record of one person: the JID and the display identifier derived from it,
// the profile-card data, the presence status and the last known position with its GPS
// data. Every contact has a folder of its own, named by the MD5 digest of its JID:
//
//   <contacts folder>/<32 hex digits>/.userinfo       the record (see UserInfoFile)
//                                    /avatar.img      the avatar, when one is stored
//                                    /.messagefile    chat history (see ChatHistory)
//                                    /.dateindexfile
//
// The controller loads all folders at start (loadContactsListInfo) and saves them all at
// shutdown (saveContactsListInfo); single fields (telephone, birthday, "about", the avatar
// flag, the record kind) are written in place when they change, and a whole-record save
// never overwrites them once they exist.
//
// Threads: the accessors may be called from any thread (the session's, the drawing
// thread, the windows); each takes a short internal lock. The file operations take no lock
// of their own; each opens and closes the file within one call and failures are logged and
// thrown as kestra::IOStreamException. getLock() is the per-contact lock that the chat and
// history windows hold around their use of a contact (ChatHistory takes it too).
class LumoraContact {
public:
    enum StatusType {
        STATUS_ONLINE = 0,
        STATUS_FREE_FOR_CHAT = 1,
        STATUS_AWAY = 2,
        STATUS_DND = 3,
        STATUS_NA = 4,
        STATUS_INVISIBLE = 5,
        STATUS_UNAVAILABLE = 6,  // the user's own resource went offline
        STATUS_OFFLINE = 7,
        STATUS_CONNECTING = 8,  // a session is being opened
    };
    enum Gender { GENDER_MALE = 0, GENDER_FEMALE = 1, GENDER_UNKNOWN = 2 };

    // Contacts keyed by JID. The map owns its contacts; other parts keep shared pointers
    // (or plain pointers while the controller's contact-map lock is held), so a contact
    // removed on one thread stays valid for another that still draws or shows it.
    using ContactMap = std::map<std::wstring, std::shared_ptr<LumoraContact>>;
    using ContactList = std::vector<std::shared_ptr<LumoraContact>>;

    // The telephone, birthday and "about" text as stored in the file.
    struct AdditionalInfo {
        std::wstring telephone;
        int day = 0;
        int month = 0;
        int year = 0;
        std::wstring about;
    };

    static const wchar_t* const INFO_FILE;    // ".userinfo"
    static const wchar_t* const AVATAR_FILE;  // "avatar.img"

    // ---- Class-wide ----

    // folder (the Jabber folder) + "/" when missing + "Contacts/" becomes the contacts
    // folder; it is created when missing (readable by the user only) and handed to
    // ChatHistory. Throws kestra::IOStreamException when it cannot be created.
    static void setContactsFolder(const std::wstring& folder);
    static std::wstring getContactsFolder();
    // The chat service's host (CHAT_HOST). A JID of that domain is one of the service's own
    // users, shown by its numeric user id; any other JID is "foreign" and shown whole. Set
    // by the controller before contacts are made or loaded.
    static void setServiceHost(const std::wstring& host);
    static std::wstring getServiceHost();
    // The folder name of a JID: MD5 of its UTF-16LE bytes as 32 lowercase hex digits.
    static std::wstring hashContactName(const std::wstring& jid);

    // Empties the map and fills it with every contact folder of record kind 0; returns the
    // records of kind 2 (the user's own profile, possibly of earlier user ids). Removed
    // contacts (kind 1) are not loaded; folders without a readable ".userinfo" or a JID and
    // records of an unknown kind are logged and skipped.
    static ContactList loadContactsListInfo(ContactMap& contacts);
    // Saves every contact of the map, then empties it. A contact that cannot be saved is
    // logged and the others are still saved; afterwards kestra::IOStreamException reports
    // that something was not saved.
    static void saveContactsListInfo(ContactMap& contacts);

    // ---- Construction ----

    // Empty strings, gender 2, status 7, unknown positions, searchValue -1, numbers 0.
    LumoraContact();
    // As the loader builds a contact: status 7, hasInfo set, identifier and paths computed.
    LumoraContact(const std::wstring& jid, const std::wstring& nick, const std::wstring& firstName,
                  const std::wstring& lastName, const std::wstring& email, int gender,
                  double gpsValue, double speed, double course, double altitude, bool hasAvatar);
    LumoraContact(const LumoraContact&) = delete;
    LumoraContact& operator=(const LumoraContact&) = delete;
    virtual ~LumoraContact();

    // ---- Virtual operations ----

    // Writes the whole record as a contact (kind 0), creating the folder and the file when
    // missing. The avatar flag, telephone, birthday and "about" already in the file are
    // kept; on a new file they are written empty.
    virtual void saveContactsInfo();
    // Setters of the separately stored fields; for a contact they write the file.
    virtual void setTelephone(const std::wstring& telephone);
    virtual void setBirthday(int day, int month, int year);
    virtual void setAbout(const std::wstring& about);
    // In memory only; the next save writes them.
    virtual void setNick(const std::wstring& nick);
    virtual void setFirstName(const std::wstring& firstName);
    virtual void setLastName(const std::wstring& lastName);
    // The file forms of the separately stored fields. A write creates the folder and the
    // file when they are missing. A birthday with any part 0 (or one that does not fit its
    // field) is written as three empty fields; readBirthday is true when all three are set.
    virtual void writeTelephone(const std::wstring& telephone);
    virtual std::wstring readTelephone();
    virtual void writeBirthday(int day, int month, int year);
    virtual bool readBirthday(int& day, int& month, int& year);
    virtual void setGender(int gender);
    virtual int getGender() const;
    virtual void writeAbout(const std::wstring& about);
    virtual std::wstring readAbout();
    virtual std::wstring getAvatarPath() const;
    // Status and position; the user's profile tells its listeners about changes.
    virtual void setStatus(int status);
    // Stores the position; hasPosition follows its plausibility (CoordinateUtils::isValid),
    // so the "no position" marker of a hidden contact clears it.
    virtual void setPosition(const WorldCoords& position);

    // ---- File operations ----

    // Writes one field (fitted to width, then a line feed) at a byte offset of ".userinfo".
    void writeInfoToFileOffSetOpenClose(const std::wstring& value, std::size_t width,
                                        std::int64_t offset);
    // Reads the field at a byte offset (up to its first pad).
    std::wstring readInfoFromFileOffSetOpenClose(std::int64_t offset);
    AdditionalInfo loadAdditionalInfo();
    // Reloads every field of the record from the file except the JID (which named the file).
    void loadAllInfo();
    // Avatar flag in memory and in the file ("1" or empty at its offset).
    void setAvatarFlag();
    void clearAvatarFlag();
    // Marks the file as the user's own profile (record kind 2).
    void markAsOwnProfile();
    // Erases the contact's entry from the map and marks its file as removed (kind 1), so it
    // is not loaded again. Keep a shared pointer if the contact is still needed afterwards.
    void removeFromMap(ContactMap& contacts);
    bool infoFileExists() const;

    // ---- Accessors ----

    // Setting the JID recomputes the display identifier, the folder name and the paths.
    void setJid(const std::wstring& jid);
    std::wstring getJid() const;
    // The numeric user id for the service's users, the whole JID for foreign ones.
    std::wstring getGid() const;
    int isForeign() const;
    std::wstring getHashContactName() const;
    std::wstring getFolder() const;
    std::wstring getInfoFilePath() const;

    std::wstring getNick() const;
    std::wstring getFirstName() const;
    std::wstring getLastName() const;
    std::wstring getEmail() const;
    void setEmail(const std::wstring& email);
    bool hasAvatar() const;
    bool hasInfo() const;
    void setHasInfo(bool hasInfo);
    int getStatus() const;
    double getGpsValue() const;
    void setGpsValue(double value);
    bool hasPosition() const;
    void setHasPosition(bool hasPosition);
    WorldCoords getPosition() const;
    // A second position kept beside the position; not interpreted by the contact.
    WorldCoords getSecondPosition() const;
    void setSecondPosition(const WorldCoords& position);
    double getSpeed() const;
    double getCourse() const;
    double getAltitude() const;
    void setGpsData(double speed, double course, double altitude);
    int getSearchValue() const;
    void setSearchValue(int value);

    kestra::Mutex& getLock() { return lock_; }

    // Degrees -1: no known position.
    static WorldCoords unknownPosition();

protected:
    // Writes the whole record with the given kind (see saveContactsInfo).
    void saveRecord(int kind);
    void computeIdentity();

private:
    // A member read or written under the data lock.
    template <class T>
    T locked(T LumoraContact::*member) const {
        std::lock_guard<std::mutex> guard(dataLock_);
        return this->*member;
    }
    template <class T, class V>
    void assign(T LumoraContact::*member, const V& value) {
        std::lock_guard<std::mutex> guard(dataLock_);
        this->*member = value;
    }
    void fillFrom(const UserInfoRecord& record);
    UserInfoRecord snapshot() const;
    UserInfoFile infoFile() const;
    // Points the contact at an existing folder whose name is not the digest of its JID.
    void useFolderName(const std::wstring& folderName);
    static void loadOneFolder(const std::wstring& entryName, ContactMap& contacts,
                              ContactList& ownRecords);

    kestra::Mutex lock_;
    mutable std::mutex dataLock_;

    bool hasPosition_ = false;
    std::wstring jid_;
    std::wstring infoFilePath_;
    std::wstring nick_;
    std::wstring firstName_;
    std::wstring lastName_;
    std::wstring email_;
    int gender_ = GENDER_UNKNOWN;
    bool hasAvatar_ = false;
    bool hasInfo_ = false;
    int status_ = STATUS_OFFLINE;
    double gpsValue_ = 0.0;
    WorldCoords position_ = unknownPosition();
    WorldCoords secondPosition_ = unknownPosition();
    double speed_ = 0.0;
    double course_ = 0.0;
    double altitude_ = 0.0;
    int searchValue_ = -1;
    std::wstring folder_;
    std::wstring hashContactName_;
    int isForeign_ = 0;
    std::wstring gid_;
};
