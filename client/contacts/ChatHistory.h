#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

#include "kestra/Clock.h"
#include "kestra/Mutex.h"

// The chat history of every contact, per contact and per day, in the contact's folder
// (the contacts folder + the contact's folder name, see LumoraContact):
//
// ".messagefile"   UTF-16LE, no byte-order mark, no line breaks: the records of all days
//                  one after another. A record is its MessageType as one character, the
//                  local time "HH:MM:SS" and the message text.
// ".dateindexfile" UTF-16LE, one line per day, lines separated by U+000A (none after the
//                  last): "dd.mm.yyyy start-end", the byte range of that day's records in
//                  the message file, e.g. "06.12.2026 0-60".
//
// Every operation takes the contact's lock that the caller passes (LumoraContact::getLock),
// so a reader sees a record together with its index update or not at all. Folder names are
// the contacts' folder names (32 hexadecimal digits), without a trailing "/".
class ChatHistory {
public:
    // The first character of every record. Readers take any character below 5 as the start
    // of a record; DAY_HEADER marks a day in the lists that the load operations return.
    enum MessageType : char16_t { RECEIVED = 0, SENT = 1, DAY_HEADER = 4 };

    // Set by LumoraContact::setContactsFolder; ends with "/".
    static void setContactsFolder(const std::wstring& folder);
    static std::wstring getContactsFolder();

    // Creates the contact's folder and both (empty) files when they are missing.
    static void createNewContact(const std::wstring& folderName, kestra::Mutex& lock);

    // Appends one record (type + recordText, where recordText is the time and the message)
    // and counts it in the index line of date ("dd.mm.yyyy"). Creates the files on the
    // first message. When either file cannot be written, neither keeps the record.
    static void addMessage(const std::wstring& folderName, const std::wstring& date,
                           const std::wstring& recordText, MessageType type, kestra::Mutex& lock);
    // The same with the local date and time of the clock.
    static void addMessageNow(const std::wstring& folderName, const std::wstring& message,
                              MessageType type, kestra::Mutex& lock,
                              const kestra::IClock& clock = kestra::SystemClock::instance());

    // Adds recordLength characters to the last index line when it is of date, or starts a
    // new line for date where the previous day ended.
    static void addDateIndex(const std::wstring& folderName, const std::wstring& date,
                             std::size_t recordLength);

    // The text of the message file between two byte offsets (empty when both are 0). A range
    // that reaches past the end of the file gives what the file holds.
    static std::wstring returnStringOffSet(const std::wstring& folderName, std::int64_t start,
                                           std::int64_t end);

    // Every day: an entry "4" + date, then one entry per record: the decimal type ("0"
    // received, "1" sent) followed by the time and the text. A missing or unreadable index
    // gives an empty list; unreadable index lines are logged and skipped.
    static void loadAllDays(const std::wstring& folderName, std::vector<std::wstring>& list,
                            kestra::Mutex& lock);
    // The last day only: its header and at most maxCount of its latest records.
    static void loadLastDay(const std::wstring& folderName, std::vector<std::wstring>& list,
                            std::size_t maxCount, kestra::Mutex& lock);

    // "dd.mm.yyyy" and "HH:MM:SS" of a calendar time, in local time.
    static std::wstring dateText(std::time_t time);
    static std::wstring timeText(std::time_t time);

    static const wchar_t* const MESSAGE_FILE;
    static const wchar_t* const DATE_INDEX_FILE;
};
