#pragma once

#include <sstream>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "client/maps/MapsDataTypes.h"
#include "kestra/TextCodec.h"

namespace cachetest {

inline MapsDataTypes::ImageBlockProp block(const std::wstring& name) {
    MapsDataTypes::ImageBlockProp b;
    b.name = name;
    return b;
}

// Image bytes that say which block and version they belong to, followed by a pattern
// derived from both, so that any mix-up or damage is visible.
inline std::string imageFor(const std::wstring& name, const std::wstring& version,
                            std::size_t size) {
    std::string data = kestra::wideToUtf8(name + L"|" + version + L"|");
    unsigned int x = 2166136261u;
    for (char c : data) {
        x = (x ^ static_cast<unsigned char>(c)) * 16777619u;
    }
    while (data.size() < size) {
        x = x * 1103515245u + 12345u;
        data.push_back(static_cast<char>(x >> 16));
    }
    return data;
}

// Whether the bytes are exactly what imageFor made for the name and version they carry.
inline bool isIntactImage(const std::string& data, std::wstring* name = nullptr,
                          std::wstring* version = nullptr) {
    const std::size_t bar1 = data.find('|');
    const std::size_t bar2 = bar1 == std::string::npos ? bar1 : data.find('|', bar1 + 1);
    if (bar2 == std::string::npos) {
        return false;
    }
    const std::wstring n = kestra::utf8ToWide(data.substr(0, bar1));
    const std::wstring v = kestra::utf8ToWide(data.substr(bar1 + 1, bar2 - bar1 - 1));
    if (name != nullptr) {
        *name = n;
    }
    if (version != nullptr) {
        *version = v;
    }
    return imageFor(n, v, data.size()) == data;
}

// The tokens of an index file.
inline std::vector<std::wstring> indexTokens(const std::filesystem::path& file) {
    std::wistringstream in(kestra::utf16leToWide(testsupport::readFile(file)));
    std::vector<std::wstring> tokens;
    std::wstring token;
    while (in >> token) {
        tokens.push_back(token);
    }
    return tokens;
}

}  // namespace cachetest
