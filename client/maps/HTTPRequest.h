#pragma once

#include <cstdint>
#include <string>

// One entry of the HTTPLoader's queue: what to fetch and where the body goes.
struct HTTPRequest {
    // Chosen by the caller and returned in the result, so one listener can tell its
    // requests apart.
    std::int32_t requestId = 0;
    // Full address, with or without "http://" ("https://" is kept as it is).
    std::wstring url;
    // false: the body is fetched into memory; true: it is downloaded (resumably) into
    // filePath.
    bool saveToFile = false;
    std::wstring filePath;
};
