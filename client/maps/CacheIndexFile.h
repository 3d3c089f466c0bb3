#pragma once

#include <cstdint>
#include <string>

#include "client/maps/CacheItem.h"

// The text of ".lumoracache.index": tokens, each followed by a line feed, stored as
// UTF-16LE without a byte-order mark:
//
//   <number of sources>
//   per source with blocks: "nextIndex" <source name> <number of blocks>
//     per block: <block name> <number of copies>
//       per copy: "nextItem" <version> <image type> <offset> <size> <saved high> <saved low>
//
// Readers split on any white space, so a token holds none and is at most 99 characters.
// An empty version or image type (OpenStreetMap tiles have no version) is written as
// EMPTY_TOKEN and read back as empty.
class CacheIndexFile {
public:
    static constexpr std::size_t MAX_TOKEN = 99;
    static constexpr const wchar_t* EMPTY_TOKEN = L"<empty>";

    static bool isKnownLoader(const std::wstring& name);
    // Whether text can be written as a token (after the empty-token rule).
    static bool isStorable(const std::wstring& text, bool mayBeEmpty);

    // The file's bytes for the indices (only sources with blocks are written).
    static std::string serialize(const CacheIndices& indices);

    // Reads the file's text into indices (emptied first). Every copy must lie within the
    // first dataSize bytes of the data file. Throws kestra::CacheIsCorruptException for a
    // damaged text and kestra::CacheException for an unknown source name; indices are then
    // left empty.
    static void parse(const std::wstring& text, std::uint64_t dataSize, CacheIndices& indices);
    // The same, from the file's bytes as they are (UTF-16LE, an odd last byte ignored).
    static void parseBytes(const std::string& bytes, std::uint64_t dataSize, CacheIndices& indices);
};
