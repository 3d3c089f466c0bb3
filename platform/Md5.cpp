#include "platform/Md5.h"

#include <openssl/evp.h>

namespace platform {

std::string md5(const void* data, std::size_t size) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_Digest(data, size, digest, &length, EVP_md5(), nullptr) != 1) {
        return std::string();
    }
    return std::string(reinterpret_cast<const char*>(digest), length);
}

std::string md5Hex(const void* data, std::size_t size) {
    static const char* const digits = "0123456789abcdef";
    const std::string raw = md5(data, size);
    std::string hex;
    for (unsigned char c : raw) {
        hex.push_back(digits[c >> 4]);
        hex.push_back(digits[c & 0x0F]);
    }
    return hex;
}

}  // namespace platform
