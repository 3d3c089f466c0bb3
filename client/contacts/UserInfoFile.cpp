#include "client/contacts/UserInfoFile.h"

#include "client/contacts/NumberText.h"
#include "client/contacts/UserInfoCodec.h"
#include "client/contacts/Utf16File.h"
#include "client/contacts/Utf16Text.h"

namespace {

constexpr std::size_t ABOUT_BLOCK_UNITS = 70;

bool isPresent(const std::string& bytes, std::int64_t offset) {
    const auto at = static_cast<std::size_t>(offset);
    return bytes.size() >= at + 2 && utf16text::unitAt(bytes, at / 2) >= 2;
}

// The units of the line at offset: up to a line feed, MAX_LINE_UNITS or the end.
std::wstring rawLineAt(const std::string& bytes, std::int64_t offset) {
    const std::size_t first = static_cast<std::size_t>(offset) / 2;
    const std::size_t count = utf16text::unitCount(bytes);
    std::size_t end = first;
    while (end < count && end - first < UserInfoFile::MAX_LINE_UNITS &&
           utf16text::unitAt(bytes, end) != UserInfoCodec::LINE_FEED) {
        ++end;
    }
    if (first >= end) {
        return std::wstring();
    }
    return utf16text::decode(bytes.substr(2 * first, 2 * (end - first)));
}

std::wstring fieldAt(const std::string& bytes, std::int64_t offset) {
    return UserInfoCodec::cutAtPad(rawLineAt(bytes, offset));
}

int integerAt(const std::string& bytes, std::int64_t offset) {
    return static_cast<int>(numbertext::leadingInteger(fieldAt(bytes, offset)));
}

// A gender is one digit; anything else (garbage, a hole) is "unknown".
int genderAt(const std::string& bytes) {
    const std::size_t at = static_cast<std::size_t>(UserInfoFile::GENDER.offset) / 2;
    if (utf16text::unitCount(bytes) <= at) {
        return 2;
    }
    const char16_t u = utf16text::unitAt(bytes, at);
    return u >= u'0' && u <= u'2' ? static_cast<int>(u - u'0') : 2;
}

std::wstring genderText(int gender) {
    return std::to_wstring(gender >= 0 && gender <= 2 ? gender : 2);
}

std::string emptyField(const UserInfoFile::Field& field) {
    return UserInfoCodec::fieldLine(std::wstring(), field.width);
}

bool hasKnownPosition(const WorldCoords& p) {
    return p.latDegrees >= 0 && p.lonDegrees >= 0 && CoordinateUtils::isValid(p);
}

// Gender to record kind: the part of the record from offset 486 on.
std::string numbersPart(const UserInfoRecord& r, int kind) {
    const bool known = hasKnownPosition(r.position);
    std::string bytes = UserInfoCodec::plainLine(genderText(r.gender));
    bytes +=
        UserInfoCodec::fieldLine(numbertext::numberText(r.gpsValue), UserInfoFile::GPS_VALUE.width);
    bytes += UserInfoCodec::fieldLine(
        known ? UserInfoCodec::latitudeText(r.position)
              : UserInfoCodec::noPositionText(UserInfoCodec::LATITUDE_WIDTH),
        UserInfoFile::LATITUDE.width);
    bytes += UserInfoCodec::fieldLine(
        known ? UserInfoCodec::longitudeText(r.position)
              : UserInfoCodec::noPositionText(UserInfoCodec::LONGITUDE_WIDTH),
        UserInfoFile::LONGITUDE.width);
    bytes += UserInfoCodec::fieldLine(UserInfoCodec::speedCourseText(r.speed, r.course),
                                      UserInfoFile::SPEED_COURSE.width);
    bytes +=
        UserInfoCodec::fieldLine(numbertext::numberText(r.altitude), UserInfoFile::ALTITUDE.width);
    bytes += UserInfoCodec::fieldLine(std::to_wstring(kind), UserInfoFile::RECORD_KIND.width);
    return bytes;
}

bool writeAt(Utf16File& file, std::int64_t offset, const std::string& bytes) {
    return file.seek(offset) && file.write(bytes);
}

// Reads the text from the current position block by block up to its first pad (or NUL).
std::wstring readUpToPad(Utf16File& file) {
    std::string text;
    for (;;) {
        const std::string block = file.read(2 * ABOUT_BLOCK_UNITS);
        const std::string kept = utf16text::cutBelow(block, 2);
        text += kept;
        if (kept.size() < block.size() || block.size() < 2 * ABOUT_BLOCK_UNITS) {
            break;
        }
    }
    return utf16text::decode(text);
}

std::wstring withoutPads(const std::wstring& text) {
    std::wstring out;
    for (wchar_t c : text) {
        if (static_cast<unsigned>(c) >= 2) {
            out.push_back(c);
        }
    }
    return out;
}

}  // namespace

bool UserInfoFile::exists() const {
    return Utf16File::exists(path_);
}

bool UserInfoFile::create() const {
    return Utf16File::createPrivate(path_);
}

bool UserInfoFile::readPresence(Presence& presence) const {
    Utf16File in;
    if (!in.open(path_, Utf16File::Mode::Read)) {
        return false;
    }
    const std::string bytes = in.read(static_cast<std::size_t>(ABOUT_OFFSET) + 2);
    if (!in.good()) {
        return false;
    }
    presence.avatar = isPresent(bytes, AVATAR.offset);
    presence.telephone = isPresent(bytes, TELEPHONE.offset);
    presence.birthday = isPresent(bytes, BIRTH_DAY.offset);
    presence.about = isPresent(bytes, ABOUT_OFFSET);
    return true;
}

bool UserInfoFile::writeRecord(const UserInfoRecord& r, int kind, const Presence& presence) const {
    Utf16File out;
    if (!out.open(path_, Utf16File::Mode::Update)) {
        return false;
    }
    bool ok = writeAt(
        out, JID.offset,
        UserInfoCodec::fieldLine(r.jid, JID.width) + UserInfoCodec::fieldLine(r.nick, NICK.width));
    if (!presence.avatar) {
        ok = ok && writeAt(out, AVATAR.offset, emptyField(AVATAR));
    }
    ok = ok && writeAt(out, FIRST_NAME.offset,
                       UserInfoCodec::fieldLine(r.firstName, FIRST_NAME.width) +
                           UserInfoCodec::fieldLine(r.lastName, LAST_NAME.width) +
                           UserInfoCodec::fieldLine(r.email, EMAIL.width));
    if (!presence.telephone) {
        ok = ok && writeAt(out, TELEPHONE.offset, emptyField(TELEPHONE));
    }
    if (!presence.birthday) {
        ok =
            ok && writeAt(out, BIRTH_DAY.offset,
                          emptyField(BIRTH_DAY) + emptyField(BIRTH_MONTH) + emptyField(BIRTH_YEAR));
    }
    ok = ok && writeAt(out, GENDER.offset, numbersPart(r, kind));
    if (!presence.about) {
        ok = ok && writeAt(out, ABOUT_OFFSET, utf16text::unit(UserInfoCodec::PAD));
    }
    return out.close() && ok;
}

bool UserInfoFile::readRecord(UserInfoRecord& record) const {
    Utf16File in;
    if (!in.open(path_, Utf16File::Mode::Read)) {
        return false;
    }
    const std::string bytes = in.read(static_cast<std::size_t>(ABOUT_OFFSET));
    if (!in.good()) {
        return false;
    }
    record = parseRecord(bytes);
    return true;
}

bool UserInfoFile::readExtras(UserInfoExtras& extras) const {
    Utf16File in;
    if (!in.open(path_, Utf16File::Mode::Read)) {
        return false;
    }
    const std::string bytes = in.read(static_cast<std::size_t>(ABOUT_OFFSET));
    extras.telephone = fieldAt(bytes, TELEPHONE.offset);
    extras.day = integerAt(bytes, BIRTH_DAY.offset);
    extras.month = integerAt(bytes, BIRTH_MONTH.offset);
    extras.year = integerAt(bytes, BIRTH_YEAR.offset);
    extras.about = bytes.size() == static_cast<std::size_t>(ABOUT_OFFSET) ? readUpToPad(in) : L"";
    return in.good();
}

bool UserInfoFile::writeField(const std::wstring& value, std::size_t width,
                              std::int64_t offset) const {
    Utf16File out;
    if (!out.open(path_, Utf16File::Mode::Update)) {
        return false;
    }
    const bool ok = writeAt(out, offset, UserInfoCodec::fieldLine(value, width));
    return out.close() && ok;
}

bool UserInfoFile::readField(std::int64_t offset, std::wstring& value) const {
    Utf16File in;
    if (!in.open(path_, Utf16File::Mode::Read) || !in.seek(offset)) {
        return false;
    }
    const std::string line = in.readLine(MAX_LINE_UNITS);
    value = UserInfoCodec::cutAtPad(utf16text::decode(line));
    return in.good();
}

bool UserInfoFile::writeAbout(const std::wstring& about) const {
    Utf16File out;
    if (!out.open(path_, Utf16File::Mode::Update)) {
        return false;
    }
    const bool ok =
        writeAt(out, ABOUT_OFFSET,
                utf16text::encode(withoutPads(about)) + utf16text::unit(UserInfoCodec::PAD));
    return out.close() && ok;
}

bool UserInfoFile::readAbout(std::wstring& about) const {
    Utf16File in;
    if (!in.open(path_, Utf16File::Mode::Read) || !in.seek(ABOUT_OFFSET)) {
        return false;
    }
    about = readUpToPad(in);
    return in.good();
}

UserInfoRecord UserInfoFile::parseRecord(const std::string& bytes) {
    UserInfoRecord r;
    r.jid = fieldAt(bytes, JID.offset);
    r.nick = fieldAt(bytes, NICK.offset);
    r.hasAvatar = fieldAt(bytes, AVATAR.offset) == L"1";
    r.firstName = fieldAt(bytes, FIRST_NAME.offset);
    r.lastName = fieldAt(bytes, LAST_NAME.offset);
    r.email = fieldAt(bytes, EMAIL.offset);
    r.gender = genderAt(bytes);
    r.gpsValue = numbertext::leadingNumber(fieldAt(bytes, GPS_VALUE.offset));
    WorldCoords p = r.position;
    if (UserInfoCodec::readLatitude(rawLineAt(bytes, LATITUDE.offset), p.latDegrees, p.latMinutes,
                                    p.latitudeType) &&
        UserInfoCodec::readLongitude(rawLineAt(bytes, LONGITUDE.offset), p.lonDegrees, p.lonMinutes,
                                     p.longitudeType)) {
        r.position = p;
    }
    UserInfoCodec::readSpeedCourse(fieldAt(bytes, SPEED_COURSE.offset), r.speed, r.course);
    r.altitude = numbertext::leadingNumber(fieldAt(bytes, ALTITUDE.offset));
    r.kind = integerAt(bytes, RECORD_KIND.offset);
    return r;
}
