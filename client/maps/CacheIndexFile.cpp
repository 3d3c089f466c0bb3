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

// Hands out the tokens of the text one by one.
class Tokens {
public:
    explicit Tokens(const std::wstring& text) : text_(text) {}

    std::wstring next() {
        while (at_ < text_.size() && std::iswspace(text_[at_])) {
            ++at_;
        }
        const std::size_t start = at_;
        while (at_ < text_.size() && !std::iswspace(text_[at_])) {
            ++at_;
        }
        if (start == at_ || at_ - start > CacheIndexFile::MAX_TOKEN) {
            corrupt();  // ran out of tokens, or one too long to be ours
        }
        return text_.substr(start, at_ - start);
    }

    std::uint32_t number() {
        const std::wstring token = next();
        std::uint64_t value = 0;
        for (wchar_t c : token) {
            if (c < L'0' || c > L'9' || token.size() > 10) {
                corrupt();
            }
            value = value * 10 + static_cast<std::uint64_t>(c - L'0');
        }
        if (value > std::numeric_limits<std::uint32_t>::max()) {
            corrupt();
        }
        return static_cast<std::uint32_t>(value);
    }

    std::wstring field() {
        const std::wstring token = next();
        return token == CacheIndexFile::EMPTY_TOKEN ? std::wstring() : token;
    }

    void expect(const wchar_t* word) {
        if (next() != word) {
            corrupt();
        }
    }

    bool atEnd() {
        while (at_ < text_.size() && std::iswspace(text_[at_])) {
            ++at_;
        }
        return at_ == text_.size();
    }

private:
    const std::wstring& text_;
    std::size_t at_ = 0;
};

CacheItem readItem(Tokens& tokens, std::uint64_t dataSize) {
    tokens.expect(L"nextItem");
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
    tokens.expect(L"nextIndex");
    const std::wstring loader = tokens.next();
    if (!CacheIndexFile::isKnownLoader(loader)) {
        kestra::Log::error("CacheManager::loadIndex: Unsupported loader");
        throw kestra::CacheException("CacheManager::cleanup", "Unsupported loader");
    }
    LoaderIndex& index = indices[loader];
    const std::uint32_t blocks = tokens.number();
    for (std::uint32_t b = 0; b < blocks; ++b) {
        const std::wstring name = tokens.next();
        if (name.empty()) {
            corrupt();
        }
        BlockList& list = index[name];
        const std::uint32_t items = tokens.number();
        for (std::uint32_t i = 0; i < items; ++i) {
            list.push_back(readItem(tokens, dataSize));
        }
        if (list.empty()) {
            index.erase(name);
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
    indices.clear();
    try {
        Tokens tokens(text);
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
