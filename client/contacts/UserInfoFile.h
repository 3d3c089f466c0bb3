#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "client/maps/CoordinateUtils.h"

// What a ".userinfo" file holds apart from the separately written fields (telephone,
// birthday, "about").
struct UserInfoRecord {
    std::wstring jid;
    std::wstring nick;
    bool hasAvatar = false;
    std::wstring firstName;
    std::wstring lastName;
    std::wstring email;
    int gender = 2;
    double gpsValue = 0.0;
    // Degrees -1 when the file holds no position.
    WorldCoords position{-1, 0.0, -1, 0.0, 0, 0};
    double speed = 0.0;
    double course = 0.0;
    double altitude = 0.0;
    int kind = 0;
};

// The telephone, birthday and "about" text of a ".userinfo" file.
struct UserInfoExtras {
    std::wstring telephone;
    int day = 0;
    int month = 0;
    int year = 0;
    std::wstring about;
};

// One contact's ".userinfo": UTF-16LE, no byte-order mark, a series of lines at fixed byte
// offsets (widths in UTF-16 units; each line is followed by a line feed):
//
//   offset width field            offset width field
//        0   49  JID                 486    1  gender (0 male, 1 female, 2 unknown)
//      100   49  nick                490   10  gpsValue
//      200    1  avatar flag "1"     512    9  latitude
//      204   29  first name          532   10  longitude
//      264   29  last name           554   11  speed and course
//      324   49  e-mail              578    9  altitude
//      424   19  telephone           598    1  record kind (0 contact, 1 removed,
//      464    2  birthday day                      2 the user's own profile)
//      470    2  birthday month      602  any  "about" text, ended by one U+0001
//      476    4  birthday year
//
// Each operation opens the file, does its job and closes it; operations report failure
// with false and leave the logging to the caller. The file is created readable by the
// user only.
class UserInfoFile {
public:
    struct Field {
        std::int64_t offset;
        std::size_t width;
    };
    static constexpr Field JID{0, 49};
    static constexpr Field NICK{100, 49};
    static constexpr Field AVATAR{200, 1};
    static constexpr Field FIRST_NAME{204, 29};
    static constexpr Field LAST_NAME{264, 29};
    static constexpr Field EMAIL{324, 49};
    static constexpr Field TELEPHONE{424, 19};
    static constexpr Field BIRTH_DAY{464, 2};
    static constexpr Field BIRTH_MONTH{470, 2};
    static constexpr Field BIRTH_YEAR{476, 4};
    static constexpr Field GENDER{486, 1};
    static constexpr Field GPS_VALUE{490, 10};
    static constexpr Field LATITUDE{512, 9};
    static constexpr Field LONGITUDE{532, 10};
    static constexpr Field SPEED_COURSE{554, 11};
    static constexpr Field ALTITUDE{578, 9};
    static constexpr Field RECORD_KIND{598, 1};
    static constexpr std::int64_t ABOUT_OFFSET = 602;
    // The longest line a reader takes.
    static constexpr std::size_t MAX_LINE_UNITS = 69;

    enum RecordKind { CONTACT = 0, REMOVED = 1, OWN_PROFILE = 2 };

    // Which separately written fields already hold a value; a save never overwrites those.
    struct Presence {
        bool avatar = false;
        bool telephone = false;
        bool birthday = false;
        bool about = false;
    };

    explicit UserInfoFile(std::string path) : path_(std::move(path)) {}
    const std::string& path() const { return path_; }

    bool exists() const;
    bool create() const;
    // A place counts as present when its character is U+0002 or above.
    bool readPresence(Presence& presence) const;
    // Writes the record with the given kind; fields marked present are left as they are,
    // absent ones are written empty so that every later line starts at its offset.
    bool writeRecord(const UserInfoRecord& record, int kind, const Presence& presence) const;
    bool readRecord(UserInfoRecord& record) const;
    bool readExtras(UserInfoExtras& extras) const;

    // One field at its offset: the value fitted to width and a line feed.
    bool writeField(const std::wstring& value, std::size_t width, std::int64_t offset) const;
    // One line at the offset, cut at its first pad.
    bool readField(std::int64_t offset, std::wstring& value) const;
    // The "about" text at its offset, followed by one U+0001.
    bool writeAbout(const std::wstring& about) const;
    bool readAbout(std::wstring& about) const;

    // Parses the first ABOUT_OFFSET bytes of a file (fewer when the file is shorter).
    static UserInfoRecord parseRecord(const std::string& bytes);

private:
    std::string path_;
};
