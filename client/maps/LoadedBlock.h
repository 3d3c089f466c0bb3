#pragma once

#include <cstdint>
#include <string>

// A finished block request, handed to the block matrix.
struct LoadedBlock {
    enum Status { IMAGE_PRESENT = 0, NO_IMAGE = 1 };

    std::int32_t status = NO_IMAGE;
    // The image bytes (empty without an image); the receiver may take them.
    std::string data;
    // Block column and row as requested.
    std::int32_t x = 0;
    std::int32_t y = 0;
    // From the cache item or the download, e.g. "png".
    std::wstring imageType;
    std::int32_t blockSide = 0;
    std::uint32_t size = 0;
    std::int32_t level = 0;
};
