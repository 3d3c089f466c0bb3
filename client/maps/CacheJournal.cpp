#include "client/maps/CacheJournal.h"

#include <cstring>

#include "client/maps/CacheIndexFile.h"
#include "kestra/TextCodec.h"

namespace {

const wchar_t* const LOADERS[] = {L"google", L"microsoft", L"openStreet"};
constexpr std::size_t HEADER = 4 + 8;
// Three tokens of at most 99 characters, each up to two UTF-16 units, and the numbers.
constexpr std::size_t MAX_PAYLOAD = 1 + 16 + 3 * (2 + 4 * CacheIndexFile::MAX_TOKEN);

std::uint64_t checksum(const char* data, std::size_t size) {
    std::uint64_t h = 14695981039346656037ull;
    for (std::size_t k = 0; k < size; ++k) {
        h = (h ^ static_cast<unsigned char>(data[k])) * 1099511628211ull;
    }
    return h;
}

void putNumber(std::string& out, std::uint64_t value, int bytes) {
    for (int k = 0; k < bytes; ++k) {
        out.push_back(static_cast<char>((value >> (8 * k)) & 0xFF));
    }
}

void putText(std::string& out, const std::wstring& text) {
    const std::string bytes = kestra::wideToUtf16le(text);
    putNumber(out, bytes.size(), 2);
    out += bytes;
}

// Reads from a payload; every read checks the bounds.
class Reader {
public:
    Reader(const char* data, std::size_t size) : data_(data), size_(size) {}
    bool number(std::uint64_t& value, int bytes) {
        if (size_ - at_ < static_cast<std::size_t>(bytes)) {
            return false;
        }
        value = 0;
        for (int k = 0; k < bytes; ++k) {
            value |= static_cast<std::uint64_t>(static_cast<unsigned char>(data_[at_ + k]))
                     << (8 * k);
        }
        at_ += static_cast<std::size_t>(bytes);
        return true;
    }
    bool number32(std::uint32_t& value) {
        std::uint64_t v = 0;
        const bool ok = number(v, 4);
        value = static_cast<std::uint32_t>(v);
        return ok;
    }
    bool text(std::wstring& value) {
        std::uint64_t length = 0;
        if (!number(length, 2) || length % 2 != 0 || size_ - at_ < length) {
            return false;
        }
        value = kestra::utf16leToWide(data_ + at_, static_cast<std::size_t>(length));
        const bool valid = !value.empty() || length == 0;  // empty means broken UTF-16
        at_ += static_cast<std::size_t>(length);
        return valid;
    }
    bool atEnd() const { return at_ == size_; }

private:
    const char* data_;
    std::size_t size_;
    std::size_t at_ = 0;
};

}  // namespace

std::string CacheJournal::encode(const std::wstring& loader, const std::wstring& blockName,
                                 const CacheItem& item) {
    std::string payload;
    std::uint64_t source = 0;
    while (source < 2 && loader != LOADERS[source]) {
        ++source;
    }
    putNumber(payload, source, 1);
    putNumber(payload, item.offset, 4);
    putNumber(payload, item.size, 4);
    putNumber(payload, item.savedHigh, 4);
    putNumber(payload, item.savedLow, 4);
    putText(payload, blockName);
    putText(payload, item.version);
    putText(payload, item.imageType);
    std::string record;
    record.reserve(HEADER + payload.size());
    putNumber(record, payload.size(), 4);
    putNumber(record, checksum(payload.data(), payload.size()), 8);
    return record + payload;
}

std::size_t CacheJournal::decode(const std::string& bytes, std::vector<Record>& records) {
    if (bytes.size() < MAGIC_SIZE || std::memcmp(bytes.data(), MAGIC, MAGIC_SIZE) != 0) {
        return 0;
    }
    std::size_t at = MAGIC_SIZE;
    while (bytes.size() - at >= HEADER) {
        Reader header(bytes.data() + at, HEADER);
        std::uint64_t length = 0;
        std::uint64_t sum = 0;
        header.number(length, 4);
        header.number(sum, 8);
        if (length > MAX_PAYLOAD || bytes.size() - at - HEADER < length) {
            break;
        }
        const char* payload = bytes.data() + at + HEADER;
        if (checksum(payload, static_cast<std::size_t>(length)) != sum) {
            break;
        }
        Reader in(payload, static_cast<std::size_t>(length));
        Record record;
        record.startsAt = at;
        std::uint64_t source = 0;
        const bool read = in.number(source, 1) && source < 3 && in.number32(record.item.offset) &&
                          in.number32(record.item.size) && in.number32(record.item.savedHigh) &&
                          in.number32(record.item.savedLow) && in.text(record.blockName) &&
                          in.text(record.item.version) && in.text(record.item.imageType) &&
                          in.atEnd();
        // What the index file could not hold is not ours, whatever its checksum says.
        if (!read || !CacheIndexFile::isStorable(record.blockName, false) ||
            !CacheIndexFile::isStorable(record.item.version, true) ||
            !CacheIndexFile::isStorable(record.item.imageType, true) ||
            record.item.version == L"__old__") {
            break;
        }
        record.loader = LOADERS[source];
        records.push_back(std::move(record));
        at += HEADER + static_cast<std::size_t>(length);
    }
    return at;
}
