#include "client/contacts/ChatHistory.h"

#include <algorithm>
#include <cstdint>
#include <cwchar>
#include <deque>
#include <mutex>

#include "client/contacts/NumberText.h"
#include "client/contacts/Utf16File.h"
#include "client/contacts/Utf16Text.h"
#include "kestra/Exceptions.h"
#include "kestra/Lexical.h"
#include "kestra/Log.h"
#include "kestra/TextCodec.h"
#include "platform/AppFolders.h"

using kestra::Log;

const wchar_t* const ChatHistory::MESSAGE_FILE = L".messagefile";
const wchar_t* const ChatHistory::DATE_INDEX_FILE = L".dateindexfile";

namespace {

constexpr wchar_t LINE_FEED = L'\n';
constexpr std::int64_t INDEX_TAIL_BYTES = 100;
constexpr std::size_t DATE_LENGTH = 10;

std::mutex folderMutex;
std::wstring contactsFolder;

std::string filePath(const std::wstring& folderName, const wchar_t* file) {
    return kestra::wideToUtf8(ChatHistory::getContactsFolder() + folderName + L"/" + file);
}

[[noreturn]] void fail(const char* module, const char* condition, const char* logLine) {
    Log::error(logLine);
    throw kestra::IOStreamException(module, condition);
}

// One line of the index: a day and the byte range of its records.
struct IndexLine {
    std::wstring date;
    std::int64_t start = 0;
    std::int64_t end = 0;
};

bool parseIndexLine(const std::wstring& line, IndexLine& out) {
    if (line.size() <= DATE_LENGTH) {
        return false;
    }
    out.date = line.substr(0, DATE_LENGTH);
    const std::wstring rest = line.substr(DATE_LENGTH);
    const std::size_t dash = rest.find(L'-');
    if (dash == std::wstring::npos) {
        return false;
    }
    const std::size_t first = rest.find_first_not_of(L' ');
    bool startOk = false;
    bool endOk = false;
    out.start = numbertext::leadingInteger(rest, first, &startOk);
    out.end = numbertext::leadingInteger(rest, dash + 1, &endOk);
    return startOk && endOk && out.start >= 0 && out.start <= out.end;
}

// The index as lines; false when it cannot be read.
bool readIndexLines(const std::wstring& folderName, std::vector<std::wstring>& lines) {
    Utf16File in;
    if (!in.open(filePath(folderName, ChatHistory::DATE_INDEX_FILE), Utf16File::Mode::Read)) {
        return false;
    }
    const std::int64_t size = in.size();
    const std::wstring text = utf16text::decode(in.read(size > 0 ? size : 0));
    if (!in.good()) {
        return false;
    }
    std::size_t begin = 0;
    while (begin <= text.size()) {
        std::size_t end = text.find(LINE_FEED, begin);
        if (end == std::wstring::npos) {
            end = text.size();
        }
        if (end > begin) {
            lines.push_back(text.substr(begin, end - begin));
        }
        begin = end + 1;
    }
    return true;
}

// Appends the day header and the day's records to the list, keeping only the latest
// maxCount records of the day.
void appendDay(const std::wstring& folderName, const IndexLine& day,
               std::vector<std::wstring>& list, std::size_t maxCount) {
    const std::wstring text = ChatHistory::returnStringOffSet(folderName, day.start, day.end);
    list.push_back(std::to_wstring(ChatHistory::DAY_HEADER) + day.date);
    std::deque<std::wstring> records;
    for (std::size_t i = 0; i < text.size();) {
        if (static_cast<unsigned>(text[i]) >= 5) {
            ++i;  // a range that does not start on a record: skip to the next record
            continue;
        }
        std::size_t next = i + 1;
        while (next < text.size() && static_cast<unsigned>(text[next]) >= 5) {
            ++next;
        }
        records.push_back(std::to_wstring(static_cast<unsigned>(text[i])) +
                          text.substr(i + 1, next - i - 1));
        if (records.size() > maxCount) {
            records.pop_front();
        }
        i = next;
    }
    list.insert(list.end(), records.begin(), records.end());
}

void appendDays(const std::wstring& folderName, const std::vector<std::wstring>& lines,
                std::vector<std::wstring>& list, std::size_t maxCount) {
    for (const std::wstring& line : lines) {
        IndexLine day;
        if (!parseIndexLine(line, day)) {
            Log::warning(L"ChatHistory: unreadable index line \"" + line + L"\" of " + folderName +
                         L" skipped.");
            continue;
        }
        appendDay(folderName, day, list, maxCount);
    }
}

// The last bytes of the index, with the file offset of every character, so that a number
// found in it can be rewritten in place. Line feeds stay in, so that a number read at the
// end of one line never runs on into the next.
struct IndexTail {
    std::wstring text;
    std::vector<std::int64_t> offsets;
    std::int64_t fileSize = 0;
};

IndexTail readIndexTail(const std::string& path) {
    Utf16File in;
    if (!in.open(path, Utf16File::Mode::Read)) {
        fail("ChatHistory::addDateIndex", "input_file.fail()",
             "ChatHistory::addDateIndex : input_file.fail()");
    }
    IndexTail tail;
    tail.fileSize = std::max<std::int64_t>(in.size(), 0);
    std::int64_t from = tail.fileSize - std::min(tail.fileSize, INDEX_TAIL_BYTES);
    from += from % 2;  // stay on whole characters even in a damaged file
    in.seek(from);
    const std::string bytes = in.read(static_cast<std::size_t>(tail.fileSize - from));
    if (!in.good()) {
        fail("ChatHistory::addDateIndex", "input_file.fail()",
             "ChatHistory::addDateIndex : input_file.fail()");
    }
    for (std::size_t i = 0; i < utf16text::unitCount(bytes); ++i) {
        tail.text.push_back(static_cast<wchar_t>(utf16text::unitAt(bytes, i)));
        tail.offsets.push_back(from + 2 * static_cast<std::int64_t>(i));
    }
    return tail;
}

void writeIndex(const std::string& path, Utf16File::Mode mode, std::int64_t offset,
                const std::wstring& text) {
    Utf16File out;
    const bool ok = out.open(path, mode) && (mode == Utf16File::Mode::Append || out.seek(offset)) &&
                    out.write(utf16text::encode(text)) && out.close();
    if (!ok) {
        fail("ChatHistory::addDateIndex", "output_file.fail()",
             "ChatHistory::addDateIndex : output_file.fail()");
    }
}

}  // namespace

void ChatHistory::setContactsFolder(const std::wstring& folder) {
    std::lock_guard<std::mutex> guard(folderMutex);
    contactsFolder = folder;
}

std::wstring ChatHistory::getContactsFolder() {
    std::lock_guard<std::mutex> guard(folderMutex);
    return contactsFolder;
}

void ChatHistory::createNewContact(const std::wstring& folderName, kestra::Mutex& lock) {
    if (folderName.empty()) {
        fail("ChatHistory::createNewContact", "0 == hashContactName.length()",
             "ChatHistory::createNewContact, 0 == hashContactName.length()");
    }
    kestra::Mutex::Locker guard(lock);
    const std::wstring folder = getContactsFolder();
    if (folder.empty() || !platform::createPrivateFolder(folder + folderName)) {
        fail("ChatHistory::createNewContact",
             "0 == CreateDirectory(ChatHistory::contactsFolder.c_str(),NULL)",
             "ChatHistory::createNewContact, 0 == "
             "CreateDirectory(ChatHistory::contactsFolder.c_str(),NULL)");
    }
    if (!Utf16File::createPrivate(filePath(folderName, DATE_INDEX_FILE))) {
        fail("ChatHistory::createNewContact", "INVALID_HANDLE_VALUE == dateIndexFile",
             "ChatHistory::createNewContact: dateIndexFile creation error");
    }
    if (!Utf16File::createPrivate(filePath(folderName, MESSAGE_FILE))) {
        fail("ChatHistory::createNewContact", "INVALID_HANDLE_VALUE == dateMessageFile",
             "ChatHistory::createNewContact: dateMessageFile creation error");
    }
}

void ChatHistory::addMessage(const std::wstring& folderName, const std::wstring& date,
                             const std::wstring& recordText, MessageType type,
                             kestra::Mutex& lock) {
    const std::string messagePath = filePath(folderName, MESSAGE_FILE);
    const std::string indexPath = filePath(folderName, DATE_INDEX_FILE);
    if (folderName.empty() || !Utf16File::exists(indexPath)) {
        createNewContact(folderName, lock);
    }
    const std::string record = utf16text::unit(type) + utf16text::encode(recordText);

    kestra::Mutex::Locker guard(lock);
    // Sizes before the change, so that a failure can take the record back from both files
    // and the index never points past or into a half-written record.
    const std::int64_t messageSize = std::max<std::int64_t>(Utf16File::fileSize(messagePath), 0);
    const std::int64_t indexSize = Utf16File::fileSize(indexPath);
    Utf16File out;
    if (!out.open(messagePath, Utf16File::Mode::Append) || !out.write(record) || !out.close()) {
        Utf16File::truncate(messagePath, messageSize);
        fail("ChatHistory::addMessage", "output_file.fail()",
             "ChatHistory::addMessage : output_file.fail()");
    }
    try {
        addDateIndex(folderName, date, utf16text::unitCount(record));
    } catch (const kestra::IOStreamException&) {
        Utf16File::truncate(messagePath, messageSize);
        if (indexSize >= 0) {
            Utf16File::truncate(indexPath, indexSize);
        }
        throw;
    }
}

void ChatHistory::addMessageNow(const std::wstring& folderName, const std::wstring& message,
                                MessageType type, kestra::Mutex& lock,
                                const kestra::IClock& clock) {
    const std::time_t now = clock.now();
    addMessage(folderName, dateText(now), timeText(now) + message, type, lock);
}

void ChatHistory::addDateIndex(const std::wstring& folderName, const std::wstring& date,
                               std::size_t recordLength) {
    const std::string indexPath = filePath(folderName, DATE_INDEX_FILE);
    const IndexTail tail = readIndexTail(indexPath);
    const std::int64_t added = 2 * static_cast<std::int64_t>(recordLength);
    const std::size_t dot = tail.text.rfind(L'.');
    const std::size_t dash = tail.text.rfind(L'-');
    std::wstring lastDate;
    if (dot != std::wstring::npos && dot >= 5) {
        lastDate = tail.text.substr(dot - 5, DATE_LENGTH);
    }
    // The last line can only be extended when it is of the same day and has its "-" (a
    // damaged last line gets a new line instead of a rewrite in the wrong place).
    const bool sameDay = !tail.text.empty() && dot != std::wstring::npos && lastDate == date &&
                         dash != std::wstring::npos && dash > dot;
    if (!sameDay) {
        const std::int64_t previousEnd =
            dash == std::wstring::npos ? 0 : numbertext::leadingInteger(tail.text, dash + 1);
        const std::wstring line = (tail.fileSize > 0 ? std::wstring(1, LINE_FEED) : L"") + date +
                                  L" " + std::to_wstring(previousEnd) + L"-" +
                                  std::to_wstring(previousEnd + added);
        writeIndex(indexPath, Utf16File::Mode::Append, 0, line);
        return;
    }
    const std::int64_t end = numbertext::leadingInteger(tail.text, dash + 1);
    const std::int64_t at =
        dash + 1 < tail.offsets.size() ? tail.offsets[dash + 1] : tail.offsets[dash] + 2;
    writeIndex(indexPath, Utf16File::Mode::Update, at, std::to_wstring(end + added));
}

std::wstring ChatHistory::returnStringOffSet(const std::wstring& folderName, std::int64_t start,
                                             std::int64_t end) {
    if (start == 0 && end == 0) {
        return std::wstring();
    }
    Utf16File in;
    if (!in.open(filePath(folderName, MESSAGE_FILE), Utf16File::Mode::Read)) {
        fail("ChatHistory::returnStringOffSet", "input_file.fail()",
             "ChatHistory::returnStringOffSet : input_file.fail()");
    }
    if (start < 0 || end <= start) {
        return std::wstring();
    }
    const std::int64_t size = in.size();
    const std::int64_t stop = std::min(end, size);
    if (stop <= start || !in.seek(start)) {
        return std::wstring();
    }
    return utf16text::decode(in.read(static_cast<std::size_t>(stop - start)));
}

void ChatHistory::loadAllDays(const std::wstring& folderName, std::vector<std::wstring>& list,
                              kestra::Mutex& lock) {
    kestra::Mutex::Locker guard(lock);
    std::vector<std::wstring> lines;
    if (!readIndexLines(folderName, lines)) {
        return;
    }
    try {
        appendDays(folderName, lines, list, SIZE_MAX);
    } catch (const kestra::IOStreamException&) {
        // The message file could not be read (logged); the days read so far are kept.
    }
}

void ChatHistory::loadLastDay(const std::wstring& folderName, std::vector<std::wstring>& list,
                              std::size_t maxCount, kestra::Mutex& lock) {
    kestra::Mutex::Locker guard(lock);
    std::vector<std::wstring> lines;
    if (!readIndexLines(folderName, lines) || lines.empty()) {
        return;
    }
    try {
        appendDays(folderName, {lines.back()}, list, maxCount);
    } catch (const kestra::IOStreamException&) {
        // The message file could not be read (logged).
    }
}

std::wstring ChatHistory::dateText(std::time_t time) {
    const std::tm t = kestra::localTime(time);
    wchar_t text[32];
    std::swprintf(text, sizeof(text) / sizeof(text[0]), L"%02d.%02d.%04d", t.tm_mday, t.tm_mon + 1,
                  t.tm_year + 1900);
    return text;
}

std::wstring ChatHistory::timeText(std::time_t time) {
    const std::tm t = kestra::localTime(time);
    wchar_t text[32];
    std::swprintf(text, sizeof(text) / sizeof(text[0]), L"%02d:%02d:%02d", t.tm_hour, t.tm_min,
                  t.tm_sec);
    return text;
}
