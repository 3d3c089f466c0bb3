#pragma once

#include <cstddef>
#include <string>

namespace platform {

// MD5 digest of a byte string: 16 raw bytes, or empty when the digest is unavailable.
std::string md5(const void* data, std::size_t size);
inline std::string md5(const std::string& bytes) {
    return md5(bytes.data(), bytes.size());
}

// The same digest as 32 lowercase hexadecimal digits (empty on failure).
std::string md5Hex(const void* data, std::size_t size);
inline std::string md5Hex(const std::string& bytes) {
    return md5Hex(bytes.data(), bytes.size());
}

}  // namespace platform
