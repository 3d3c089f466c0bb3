#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "client/maps/CacheItem.h"

// ".lumoracache.journal": the saves made since the index file was last written whole, one
// record each, appended in the order of the saves. The index file stays the complete
// description of the cache whenever the cache is shut down or compacted; between those
// points the journal is what makes a save durable at a cost that does not grow with the
// cache.
//
// The file starts with the eight bytes of MAGIC. Each record (numbers little-endian):
//
//   u32 payload length, u64 FNV-1a checksum of the payload, payload:
//     u8 source (0 google, 1 microsoft, 2 openStreet), u32 offset, u32 size,
//     u32 saved high, u32 saved low, then block name, version and image type, each as
//     u16 byte count and UTF-16LE bytes.
//
// A record torn by a crash or damaged on disk fails its checksum; reading stops there.
class CacheJournal {
public:
    static constexpr char MAGIC[9] = "LMCJRN01";
    static constexpr std::size_t MAGIC_SIZE = 8;

    struct Record {
        std::wstring loader;
        std::wstring blockName;
        CacheItem item;
        std::size_t startsAt = 0;  // where the record begins in the file
    };

    // The record's bytes; loader must be a known source and the texts storable tokens.
    static std::string encode(const std::wstring& loader, const std::wstring& blockName,
                              const CacheItem& item);
    // The records of a journal file's bytes up to the first that is torn, damaged or names
    // something the index could not hold. Returns the length of that intact part (0 when
    // the file does not start with MAGIC).
    static std::size_t decode(const std::string& bytes, std::vector<Record>& records);
};
