#pragma once

#include <cstdint>
#include <string>

// What the HTTPLoader hands its listener for each request; the listener owns it.
struct HTTPResult {
    std::int32_t requestId = 0;
    std::wstring url;
    // HTTP status code, 0 when no response arrived.
    std::int32_t status = 0;
    std::wstring contentType;
    // The body of an in-memory request (empty for file downloads and failures).
    std::string data;
    // Body bytes: for in-memory requests the size of data; for file downloads the bytes
    // the file now holds (written in this attempt plus those already present).
    std::uint64_t size = 0;
    // 0 success, 1 failure; for a file download the download's own result code when it is
    // not a failure (2: stopped, or the complete file was already there and is kept).
    std::int32_t error = 0;
};
