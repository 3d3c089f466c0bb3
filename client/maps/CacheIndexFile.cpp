#include "client/maps/CacheIndexFile.h"

#include <charconv>
#include <cwctype>
#include <limits>

#include "kestra/Exceptions.h"
#include "kestra/Log.h"
#include "kestra/TextCodec.h"

namespace {

const wchar_t* const LOADERS[] = {L"google", L"microsoft", L"openStreet"};

[[noreturn]] void corrupt() {
    kestra::Log::error("CacheManager::loadIndex: Can not load index.");
    throw kestra::CacheIsCorruptException("CacheManager::loadIndex", "Can not load index.");
}

// Hands out the tokens of the file's UTF-16LE bytes one by one, straight from the bytes: a
// large index is parsed without first being turned into text.
class Tokens {
public:
    explicit Tokens(const std::string& bytes)
        : bytes_(reinterpret_cast<const unsigned char*>(bytes.data())), units_(bytes.size() / 2) {}

    // The next token as [begin, end) of code units; fails when there is none or it is too
    // long to be ours.
    void next(std::size_t& begin, std::size_t& end) {
        skipSpace();
        begin = at_;
        std::size_t characters = 0;
        while (at_ < units_) {
            std::size_t length = 1;
            const std::uint32_t c = character(at_, length);
            if (isSpace(c)) {
                break;
            }
            at_ += length;
            ++characters;
        }
        end = at_;
        if (characters == 0 || characters > CacheIndexFile::MAX_TOKEN) {
            corrupt();  // ran out of tokens, or one too long to be ours
        }
    }

    std::wstring text() {
        std::size_t begin = 0;
        std::size_t end = 0;
        next(begin, end);
        std::wstring token;
        token.reserve(end - begin);
        for (std::size_t k = begin; k < end;) {
            std::size_t length = 1;
            token.push_back(static_cast<wchar_t>(character(k, length)));
            k += length;
        }
        return token;
    }

    std::uint32_t number() {
        std::size_t begin = 0;
        std::size_t end = 0;
        next(begin, end);
        if (end - begin > 10) {
            corrupt();
        }
        std::uint64_t value = 0;
        for (std::size_t k = begin; k < end; ++k) {
            const std::uint32_t c = unit(k);
            if (c < '0' || c > '9') {
                corrupt();
            }
            value = value * 10 + (c - '0');
        }
        if (value > std::numeric_limits<std::uint32_t>::max()) {
            corrupt();
        }
        return static_cast<std::uint32_t>(value);
    }

    std::wstring field() {
        std::wstring token = text();
        return token == CacheIndexFile::EMPTY_TOKEN ? std::wstring() : token;
    }

    void expect(const char* word) {
        std::size_t begin = 0;
        std::size_t end = 0;
        next(begin, end);
        for (std::size_t k = begin; k < end; ++k, ++word) {
            if (*word == '\0' || unit(k) != static_cast<unsigned char>(*word)) {
                corrupt();
            }
        }
        if (*word != '\0') {
            corrupt();
        }
    }

    bool atEnd() {
        skipSpace();
        return at_ == units_;
    }

private:
    std::uint32_t unit(std::size_t k) const {
        return static_cast<std::uint32_t>(bytes_[2 * k]) |
               (static_cast<std::uint32_t>(bytes_[2 * k + 1]) << 8);
    }

    // The character at code unit k and how many units it takes; a broken surrogate pair
    // means the file is not UTF-16 text.
    std::uint32_t character(std::size_t k, std::size_t& length) const {
        const std::uint32_t u = unit(k);
        if (u < 0xD800 || u > 0xDFFF) {
            length = 1;
            return u;
        }
        if (u > 0xDBFF || k + 1 >= units_) {
            corrupt();
        }
        const std::uint32_t low = unit(k + 1);
        if (low < 0xDC00 || low > 0xDFFF) {
            corrupt();
        }
        length = 2;
        return 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00);
    }

    static bool isSpace(std::uint32_t c) {
        if (c < 0x80) {
            return c == ' ' || (c >= '\t' && c <= '\r');
        }
        return std::iswspace(static_cast<wint_t>(c)) != 0;
    }

    void skipSpace() {
        while (at_ < units_) {
            std::size_t length = 1;
            if (!isSpace(character(at_, length))) {
                return;
            }
            at_ += length;
        }
    }

    const unsigned char* bytes_;
    std::size_t units_;
    std::size_t at_ = 0;
};

CacheItem readItem(Tokens& tokens, std::uint64_t dataSize) {
    tokens.expect("nextItem");
    CacheItem item;
    item.version = tokens.field();
    item.imageType = tokens.field();
    item.offset = tokens.number();
    item.size = tokens.number();
    item.savedHigh = tokens.number();
    item.savedLow = tokens.number();
    if (static_cast<std::uint64_t>(item.offset) + item.size > dataSize) {
        corrupt();  // the bytes it names are not in the data file
    }
    return item;
}

void readSection(Tokens& tokens, std::uint64_t dataSize, CacheIndices& indices) {
    tokens.expect("nextIndex");
    const std::wstring loader = tokens.text();
    if (!CacheIndexFile::isKnownLoader(loader)) {
        kestra::Log::error("CacheManager::loadIndex: Unsupported loader");
        throw kestra::CacheException("CacheManager::cleanup", "Unsupported loader");
    }
    LoaderIndex& index = indices[loader];
    const std::uint32_t blocks = tokens.number();
    for (std::uint32_t b = 0; b < blocks; ++b) {
        // The file lists the blocks in order: each goes in at the end, without a search.
        const auto at = index.emplace_hint(index.end(), tokens.text(), BlockList());
        BlockList& list = at->second;
        const std::uint32_t items = tokens.number();
        for (std::uint32_t i = 0; i < items; ++i) {
            list.push_back(readItem(tokens, dataSize));
        }
        if (list.empty()) {
            index.erase(at);
        }
    }
}

// The index is rewritten whole every few saves, so it is written straight as UTF-16LE
// bytes: one pass, no intermediate text.
void appendText(std::string& bytes, const std::wstring& text) {
    for (wchar_t c : text) {
        if (static_cast<std::uint32_t>(c) < 0x80) {
            bytes.push_back(static_cast<char>(c));
            bytes.push_back('\0');
        } else {
            bytes += kestra::wideToUtf16le(std::wstring(1, c));
        }
    }
}

void appendToken(std::string& bytes, const std::wstring& token) {
    if (token.empty()) {
        appendText(bytes, CacheIndexFile::EMPTY_TOKEN);
    } else {
        appendText(bytes, token);
    }
    bytes.append("\n\0", 2);
}

void appendNumber(std::string& bytes, std::uint64_t number) {
    char digits[24];
    const std::to_chars_result r = std::to_chars(digits, digits + sizeof(digits), number);
    for (const char* d = digits; d != r.ptr; ++d) {
        bytes.push_back(*d);
        bytes.push_back('\0');
    }
    bytes.append("\n\0", 2);
}

}  // namespace

bool CacheIndexFile::isKnownLoader(const std::wstring& name) {
    for (const wchar_t* loader : LOADERS) {
        if (name == loader) {
            return true;
        }
    }
    return false;
}

bool CacheIndexFile::isStorable(const std::wstring& text, bool mayBeEmpty) {
    if (text.empty()) {
        return mayBeEmpty;
    }
    if (text.size() > MAX_TOKEN || text == EMPTY_TOKEN) {
        return false;
    }
    for (wchar_t c : text) {
        if (std::iswspace(c) || c == 0) {
            return false;
        }
    }
    return true;
}

std::string CacheIndexFile::serialize(const CacheIndices& indices) {
    std::size_t sections = 0;
    for (const auto& entry : indices) {
        sections += entry.second.empty() ? 0 : 1;
    }
    std::string text;
    appendNumber(text, sections);
    for (const auto& [loader, index] : indices) {
        if (index.empty()) {
            continue;
        }
        appendToken(text, L"nextIndex");
        appendToken(text, loader);
        appendNumber(text, index.size());
        for (const auto& [name, list] : index) {
            appendToken(text, name);
            appendNumber(text, list.size());
            for (const CacheItem& item : list) {
                appendToken(text, L"nextItem");
                appendToken(text, item.version);
                appendToken(text, item.imageType);
                appendNumber(text, item.offset);
                appendNumber(text, item.size);
                appendNumber(text, item.savedHigh);
                appendNumber(text, item.savedLow);
            }
        }
    }
    return text;
}

void CacheIndexFile::parse(const std::wstring& text, std::uint64_t dataSize,
                           CacheIndices& indices) {
    parseBytes(kestra::wideToUtf16le(text), dataSize, indices);
}

void CacheIndexFile::parseBytes(const std::string& bytes, std::uint64_t dataSize,
                                CacheIndices& indices) {
    indices.clear();
    try {
        Tokens tokens(bytes);
        const std::uint32_t sections = tokens.number();
        if (sections > 3) {
            corrupt();
        }
        for (std::uint32_t s = 0; s < sections; ++s) {
            readSection(tokens, dataSize, indices);
        }
        if (!tokens.atEnd()) {
            corrupt();  // more than the counts announce: not a file we wrote
        }
    } catch (...) {
        indices.clear();
        throw;
    }
}
