#include "client/contacts/LumoraContact.h"

#include <filesystem>
#include <system_error>

#include "client/contacts/ChatHistory.h"
#include "client/contacts/NumberText.h"
#include "client/contacts/UserInfoFile.h"
#include "kestra/Exceptions.h"
#include "kestra/Log.h"
#include "kestra/TextCodec.h"
#include "platform/AppFolders.h"
#include "platform/Md5.h"

using kestra::Log;

const wchar_t* const LumoraContact::INFO_FILE = L".userinfo";
const wchar_t* const LumoraContact::AVATAR_FILE = L"avatar.img";

namespace {

std::mutex classLock;
std::wstring contactsFolder;
std::wstring serviceHost;

[[noreturn]] void fail(const char* module, const char* condition, const std::string& logLine) {
    Log::error(logLine);
    throw kestra::IOStreamException(module, condition);
}

[[noreturn]] void failIO(const char* module, const char* condition) {
    fail(module, condition, std::string(module) + ", " + condition);
}

bool fitsField(int value, int maximum) {
    return value > 0 && value <= maximum;
}

}  // namespace

// ---- Class-wide ----

void LumoraContact::setContactsFolder(const std::wstring& folder) {
    std::wstring formed = folder;
    if (formed.empty() || formed.back() != L'/') {
        formed += L'/';
    }
    formed += L"Contacts/";
    {
        std::lock_guard<std::mutex> guard(classLock);
        contactsFolder = formed;
    }
    if (!platform::createPrivateFolder(formed)) {
        failIO("LumoraContact::setContactsFolder",
               "0 == CreateDirectory(LumoraContact::contactsFolder.c_str(),NULL)");
    }
    ChatHistory::setContactsFolder(formed);
}

std::wstring LumoraContact::getContactsFolder() {
    std::lock_guard<std::mutex> guard(classLock);
    return contactsFolder;
}

void LumoraContact::setServiceHost(const std::wstring& host) {
    std::lock_guard<std::mutex> guard(classLock);
    serviceHost = host;
}

std::wstring LumoraContact::getServiceHost() {
    std::lock_guard<std::mutex> guard(classLock);
    return serviceHost;
}

std::wstring LumoraContact::hashContactName(const std::wstring& jid) {
    return kestra::utf8ToWide(platform::md5Hex(kestra::wideToUtf16le(jid)));
}

LumoraContact::ContactList LumoraContact::loadContactsListInfo(ContactMap& contacts) {
    contacts.clear();
    ContactList ownRecords;
    const std::string folder = kestra::wideToUtf8(getContactsFolder());
    std::error_code ec;
    std::filesystem::directory_iterator entries(folder, ec);
    if (folder.empty() || ec) {
        Log::warning("LumoraContact::loadContactsListInfo: the contacts folder \"" + folder +
                     "\" cannot be listed.");
        return ownRecords;
    }
    for (const auto& entry : entries) {
        if (entry.is_directory(ec)) {
            loadOneFolder(kestra::utf8ToWide(entry.path().filename().string()), contacts,
                          ownRecords);
        }
    }
    return ownRecords;
}

void LumoraContact::loadOneFolder(const std::wstring& entryName, ContactMap& contacts,
                                  ContactList& ownRecords) {
    const UserInfoFile file(kestra::wideToUtf8(getContactsFolder() + entryName + L"/" + INFO_FILE));
    UserInfoRecord r;
    if (!file.readRecord(r) || r.jid.empty()) {
        Log::error(L"LumoraContact::loadContactsListInfo, " + entryName + L" contact error");
        return;
    }
    if (r.kind == UserInfoFile::REMOVED) {
        return;
    }
    if (r.kind != UserInfoFile::CONTACT && r.kind != UserInfoFile::OWN_PROFILE) {
        Log::warning(L"LumoraContact::loadContactsListInfo, " + entryName +
                     L" unknown record kind " + std::to_wstring(r.kind) + L", skipped");
        return;
    }
    auto contact =
        std::make_shared<LumoraContact>(r.jid, r.nick, r.firstName, r.lastName, r.email, r.gender,
                                        r.gpsValue, r.speed, r.course, r.altitude, r.hasAvatar);
    contact->fillFrom(r);
    if (contact->getHashContactName() != entryName) {
        // The file holds a JID cut to its field width: keep the folder it was found in, so
        // the history and the avatar stay with the contact.
        Log::warning(L"LumoraContact::loadContactsListInfo, " + entryName +
                     L" holds a shortened JID; the folder is kept");
        contact->useFolderName(entryName);
    }
    if (r.kind == UserInfoFile::CONTACT) {
        contacts[r.jid] = contact;
    } else {
        ownRecords.push_back(contact);
    }
}

void LumoraContact::saveContactsListInfo(ContactMap& contacts) {
    bool allSaved = true;
    for (auto& entry : contacts) {
        try {
            entry.second->saveContactsInfo();
        } catch (const kestra::IOStreamException&) {
            allSaved = false;  // logged where it failed; the others are still saved
        }
    }
    contacts.clear();
    if (!allSaved) {
        throw kestra::IOStreamException("LumoraContact::saveContactsListInfo",
                                        "saveContactsInfo failed");
    }
}

WorldCoords LumoraContact::unknownPosition() {
    WorldCoords p;
    p.latDegrees = -1;
    p.lonDegrees = -1;
    return p;
}

// ---- Construction ----

LumoraContact::LumoraContact() = default;

LumoraContact::LumoraContact(const std::wstring& jid, const std::wstring& nick,
                             const std::wstring& firstName, const std::wstring& lastName,
                             const std::wstring& email, int gender, double gpsValue, double speed,
                             double course, double altitude, bool hasAvatar)
    : jid_(jid),
      nick_(nick),
      firstName_(firstName),
      lastName_(lastName),
      email_(email),
      gender_(gender),
      hasAvatar_(hasAvatar),
      hasInfo_(true),
      gpsValue_(gpsValue),
      speed_(speed),
      course_(course),
      altitude_(altitude) {
    std::lock_guard<std::mutex> guard(dataLock_);
    computeIdentity();
}

LumoraContact::~LumoraContact() = default;

// Called with dataLock_ held.
void LumoraContact::computeIdentity() {
    const std::size_t at = jid_.rfind(L'@');
    if (at != std::wstring::npos && jid_.substr(at + 1) == getServiceHost()) {
        isForeign_ = 0;
        gid_ = jid_.substr(0, at);
    } else {
        isForeign_ = 1;
        gid_ = jid_;
    }
    const std::wstring base = getContactsFolder();
    if (jid_.empty() || base.empty()) {
        // Without a JID or a contacts folder there is no place for the files.
        hashContactName_.clear();
        folder_.clear();
        infoFilePath_.clear();
        return;
    }
    hashContactName_ = hashContactName(jid_);
    folder_ = base + hashContactName_;
    infoFilePath_ = folder_ + L"/" + INFO_FILE;
}

void LumoraContact::useFolderName(const std::wstring& folderName) {
    std::lock_guard<std::mutex> guard(dataLock_);
    hashContactName_ = folderName;
    folder_ = getContactsFolder() + folderName;
    infoFilePath_ = folder_ + L"/" + INFO_FILE;
}

// ---- Whole record ----

UserInfoFile LumoraContact::infoFile() const {
    return UserInfoFile(kestra::wideToUtf8(getInfoFilePath()));
}

bool LumoraContact::infoFileExists() const {
    return !getInfoFilePath().empty() && infoFile().exists();
}

UserInfoRecord LumoraContact::snapshot() const {
    std::lock_guard<std::mutex> guard(dataLock_);
    UserInfoRecord r;
    r.jid = jid_;
    r.nick = nick_;
    r.hasAvatar = hasAvatar_;
    r.firstName = firstName_;
    r.lastName = lastName_;
    r.email = email_;
    r.gender = gender_;
    r.gpsValue = gpsValue_;
    r.position = hasPosition_ ? position_ : unknownPosition();
    r.speed = speed_;
    r.course = course_;
    r.altitude = altitude_;
    return r;
}

// Everything but the JID, which named the file.
void LumoraContact::fillFrom(const UserInfoRecord& r) {
    const bool plausible = r.position.latDegrees != -1 && r.position.lonDegrees != -1 &&
                           CoordinateUtils::isValid(r.position);
    std::lock_guard<std::mutex> guard(dataLock_);
    nick_ = r.nick;
    hasAvatar_ = r.hasAvatar;
    firstName_ = r.firstName;
    lastName_ = r.lastName;
    email_ = r.email;
    gender_ = r.gender;
    gpsValue_ = r.gpsValue;
    hasPosition_ = plausible;
    position_ = plausible ? r.position : unknownPosition();
    speed_ = r.speed;
    course_ = r.course;
    altitude_ = r.altitude;
}

void LumoraContact::saveContactsInfo() {
    saveRecord(UserInfoFile::CONTACT);
}

void LumoraContact::saveRecord(int kind) {
    const UserInfoRecord record = snapshot();
    if (record.jid.empty()) {
        return;  // nothing identifies the record yet
    }
    const UserInfoFile file = infoFile();
    if (!file.exists()) {
        if (getFolder().empty() || !platform::createPrivateFolder(getFolder())) {
            failIO("LumoraContact::saveContactsInfo",
                   "0 == CreateDirectory((LumoraContact::contactsFolder + "
                   "hashContactName).c_str(),NULL)");
        }
        if (!file.create()) {
            fail("LumoraContact::saveContactsInfo", "INVALID_HANDLE_VALUE == file",
                 "LumoraContact::saveContactsInfo : .userInfo creation error");
        }
    }
    UserInfoFile::Presence presence;
    if (!file.readPresence(presence)) {
        failIO("LumoraContact::saveContactsInfo", "inputContact_file.fail()");
    }
    if (!file.writeRecord(record, kind, presence)) {
        failIO("LumoraContact::saveContactsInfo", "outputContact_file.fail()");
    }
}

void LumoraContact::loadAllInfo() {
    UserInfoRecord record;
    if (getInfoFilePath().empty() || !infoFile().readRecord(record)) {
        failIO("LumoraContact::loadAllInfo", "inputContact_file.fail()");
    }
    fillFrom(record);
}

LumoraContact::AdditionalInfo LumoraContact::loadAdditionalInfo() {
    UserInfoExtras extras;
    if (getInfoFilePath().empty() || !infoFile().readExtras(extras)) {
        failIO("LumoraContact::loadAdditionalInfo", "inputContact_file.fail()");
    }
    AdditionalInfo info;
    info.telephone = extras.telephone;
    info.day = extras.day;
    info.month = extras.month;
    info.year = extras.year;
    info.about = extras.about;
    return info;
}

// ---- Single fields ----

void LumoraContact::writeInfoToFileOffSetOpenClose(const std::wstring& value, std::size_t width,
                                                   std::int64_t offset) {
    // A field may change before the first whole save (a card arrives for a new contact):
    // the file is then made here, and the save later fills in the other fields around it.
    const UserInfoFile file = infoFile();
    const bool ready =
        !getInfoFilePath().empty() &&
        (file.exists() || (platform::createPrivateFolder(getFolder()) && file.create()));
    if (!ready || !file.writeField(value, width, offset)) {
        failIO("LumoraContact::writeInfoToFileOffSetOpenClose", "outputContact_file.fail()");
    }
}

std::wstring LumoraContact::readInfoFromFileOffSetOpenClose(std::int64_t offset) {
    std::wstring value;
    if (getInfoFilePath().empty() || !infoFile().readField(offset, value)) {
        failIO("LumoraContact::readInfoFromFileOffSetOpenClose", "inFile.fail()");
    }
    return value;
}

void LumoraContact::setTelephone(const std::wstring& telephone) {
    writeTelephone(telephone);
}

void LumoraContact::setBirthday(int day, int month, int year) {
    writeBirthday(day, month, year);
}

void LumoraContact::setAbout(const std::wstring& about) {
    writeAbout(about);
}

void LumoraContact::writeTelephone(const std::wstring& telephone) {
    writeInfoToFileOffSetOpenClose(telephone, UserInfoFile::TELEPHONE.width,
                                   UserInfoFile::TELEPHONE.offset);
}

std::wstring LumoraContact::readTelephone() {
    return readInfoFromFileOffSetOpenClose(UserInfoFile::TELEPHONE.offset);
}

void LumoraContact::writeBirthday(int day, int month, int year) {
    const bool known = fitsField(day, 99) && fitsField(month, 99) && fitsField(year, 9999);
    writeInfoToFileOffSetOpenClose(known ? std::to_wstring(day) : L"",
                                   UserInfoFile::BIRTH_DAY.width, UserInfoFile::BIRTH_DAY.offset);
    writeInfoToFileOffSetOpenClose(known ? std::to_wstring(month) : L"",
                                   UserInfoFile::BIRTH_MONTH.width,
                                   UserInfoFile::BIRTH_MONTH.offset);
    writeInfoToFileOffSetOpenClose(known ? std::to_wstring(year) : L"",
                                   UserInfoFile::BIRTH_YEAR.width, UserInfoFile::BIRTH_YEAR.offset);
}

bool LumoraContact::readBirthday(int& day, int& month, int& year) {
    const auto number = [this](const UserInfoFile::Field& field) {
        return static_cast<int>(
            numbertext::leadingInteger(readInfoFromFileOffSetOpenClose(field.offset)));
    };
    day = number(UserInfoFile::BIRTH_DAY);
    month = number(UserInfoFile::BIRTH_MONTH);
    year = number(UserInfoFile::BIRTH_YEAR);
    return day != 0 && month != 0 && year != 0;
}

void LumoraContact::writeAbout(const std::wstring& about) {
    if (getInfoFilePath().empty() || !infoFile().writeAbout(about)) {
        failIO("LumoraContact::writeInfoToFileOffSetOpenClose", "outputContact_file.fail()");
    }
}

std::wstring LumoraContact::readAbout() {
    std::wstring about;
    if (getInfoFilePath().empty() || !infoFile().readAbout(about)) {
        failIO("LumoraContact::readInfoFromFileOffSetOpenClose", "inFile.fail()");
    }
    return about;
}

void LumoraContact::setAvatarFlag() {
    {
        std::lock_guard<std::mutex> guard(dataLock_);
        hasAvatar_ = true;
    }
    writeInfoToFileOffSetOpenClose(L"1", UserInfoFile::AVATAR.width, UserInfoFile::AVATAR.offset);
}

void LumoraContact::clearAvatarFlag() {
    {
        std::lock_guard<std::mutex> guard(dataLock_);
        hasAvatar_ = false;
    }
    writeInfoToFileOffSetOpenClose(L"", UserInfoFile::AVATAR.width, UserInfoFile::AVATAR.offset);
}

void LumoraContact::markAsOwnProfile() {
    writeInfoToFileOffSetOpenClose(std::to_wstring(UserInfoFile::OWN_PROFILE),
                                   UserInfoFile::RECORD_KIND.width,
                                   UserInfoFile::RECORD_KIND.offset);
}

void LumoraContact::removeFromMap(ContactMap& contacts) {
    std::shared_ptr<LumoraContact> keep;  // the entry may be this contact's last owner
    const auto it = contacts.find(getJid());
    if (it != contacts.end()) {
        keep = it->second;
        contacts.erase(it);
    }
    if (infoFileExists()) {
        writeInfoToFileOffSetOpenClose(std::to_wstring(UserInfoFile::REMOVED),
                                       UserInfoFile::RECORD_KIND.width,
                                       UserInfoFile::RECORD_KIND.offset);
    }
}

std::wstring LumoraContact::getAvatarPath() const {
    return getFolder() + L"/" + AVATAR_FILE;
}

// ---- Accessors ----

void LumoraContact::setJid(const std::wstring& jid) {
    std::lock_guard<std::mutex> guard(dataLock_);
    jid_ = jid;
    computeIdentity();
}

std::wstring LumoraContact::getJid() const {
    return locked(&LumoraContact::jid_);
}
std::wstring LumoraContact::getGid() const {
    return locked(&LumoraContact::gid_);
}
int LumoraContact::isForeign() const {
    return locked(&LumoraContact::isForeign_);
}
std::wstring LumoraContact::getHashContactName() const {
    return locked(&LumoraContact::hashContactName_);
}
std::wstring LumoraContact::getFolder() const {
    return locked(&LumoraContact::folder_);
}
std::wstring LumoraContact::getInfoFilePath() const {
    return locked(&LumoraContact::infoFilePath_);
}
std::wstring LumoraContact::getNick() const {
    return locked(&LumoraContact::nick_);
}
std::wstring LumoraContact::getFirstName() const {
    return locked(&LumoraContact::firstName_);
}
std::wstring LumoraContact::getLastName() const {
    return locked(&LumoraContact::lastName_);
}
std::wstring LumoraContact::getEmail() const {
    return locked(&LumoraContact::email_);
}
int LumoraContact::getGender() const {
    return locked(&LumoraContact::gender_);
}
bool LumoraContact::hasAvatar() const {
    return locked(&LumoraContact::hasAvatar_);
}
bool LumoraContact::hasInfo() const {
    return locked(&LumoraContact::hasInfo_);
}
int LumoraContact::getStatus() const {
    return locked(&LumoraContact::status_);
}
double LumoraContact::getGpsValue() const {
    return locked(&LumoraContact::gpsValue_);
}
bool LumoraContact::hasPosition() const {
    return locked(&LumoraContact::hasPosition_);
}
WorldCoords LumoraContact::getPosition() const {
    return locked(&LumoraContact::position_);
}
WorldCoords LumoraContact::getSecondPosition() const {
    return locked(&LumoraContact::secondPosition_);
}
double LumoraContact::getSpeed() const {
    return locked(&LumoraContact::speed_);
}
double LumoraContact::getCourse() const {
    return locked(&LumoraContact::course_);
}
double LumoraContact::getAltitude() const {
    return locked(&LumoraContact::altitude_);
}
int LumoraContact::getSearchValue() const {
    return locked(&LumoraContact::searchValue_);
}

void LumoraContact::setNick(const std::wstring& value) {
    assign(&LumoraContact::nick_, value);
}
void LumoraContact::setFirstName(const std::wstring& value) {
    assign(&LumoraContact::firstName_, value);
}
void LumoraContact::setLastName(const std::wstring& value) {
    assign(&LumoraContact::lastName_, value);
}
void LumoraContact::setEmail(const std::wstring& value) {
    assign(&LumoraContact::email_, value);
}
void LumoraContact::setGender(int value) {
    assign(&LumoraContact::gender_, value);
}
void LumoraContact::setHasInfo(bool value) {
    assign(&LumoraContact::hasInfo_, value);
}
void LumoraContact::setStatus(int value) {
    assign(&LumoraContact::status_, value);
}
void LumoraContact::setGpsValue(double value) {
    assign(&LumoraContact::gpsValue_, value);
}
void LumoraContact::setHasPosition(bool value) {
    assign(&LumoraContact::hasPosition_, value);
}
void LumoraContact::setSecondPosition(const WorldCoords& value) {
    assign(&LumoraContact::secondPosition_, value);
}
void LumoraContact::setSearchValue(int value) {
    assign(&LumoraContact::searchValue_, value);
}

void LumoraContact::setPosition(const WorldCoords& position) {
    const bool plausible = CoordinateUtils::isValid(position);
    std::lock_guard<std::mutex> guard(dataLock_);
    position_ = position;
    hasPosition_ = plausible;
}

void LumoraContact::setGpsData(double speed, double course, double altitude) {
    std::lock_guard<std::mutex> guard(dataLock_);
    speed_ = speed;
    course_ = course;
    altitude_ = altitude;
}
