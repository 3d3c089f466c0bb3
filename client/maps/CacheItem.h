#pragma once

#include <cstdint>
#include <list>
#include <map>
#include <string>

// One stored block image: where its bytes lie in the data file, its version and when it
// was stored (a Windows FILETIME: 100-ns steps since 1601-01-01 UTC, in two words, as the
// index file keeps it).
struct CacheItem {
    std::wstring imageType;
    std::uint32_t offset = 0;
    std::uint32_t size = 0;
    std::wstring version;
    std::uint32_t savedHigh = 0;
    std::uint32_t savedLow = 0;

    std::uint64_t savedAt() const {
        return (static_cast<std::uint64_t>(savedHigh) << 32) | savedLow;
    }
    void setSavedAt(std::uint64_t fileTime) {
        savedHigh = static_cast<std::uint32_t>(fileTime >> 32);
        savedLow = static_cast<std::uint32_t>(fileTime & 0xFFFFFFFFu);
    }
};

// The copies of one block, newest version first; replaced copies ("__old__") at the end.
using BlockList = std::list<CacheItem>;
// Block name -> its copies, for one tile source.
using LoaderIndex = std::map<std::wstring, BlockList>;
// Source name ("google", "microsoft", "openStreet") -> its index. The map's order is the
// order in which the index file lists the sources.
using CacheIndices = std::map<std::wstring, LoaderIndex>;
