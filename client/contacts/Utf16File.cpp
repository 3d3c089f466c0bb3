#include "client/contacts/Utf16File.h"

#include <filesystem>
#include <system_error>

#include "platform/PrivateFile.h"

namespace fs = std::filesystem;

Utf16File::~Utf16File() {
    close();
}

bool Utf16File::open(const std::string& path, Mode mode) {
    close();
    failed_ = false;
    const char* how = "rb";
    if (mode != Mode::Append && !exists(path)) {
        return false;  // a folder in its place opens on Linux but cannot be read
    }
    if (mode == Mode::Update) {
        how = "r+b";
    } else if (mode == Mode::Append) {
        if (!createPrivate(path)) {
            return false;
        }
        how = "ab";
    }
    file_ = std::fopen(path.c_str(), how);
    return file_ != nullptr;
}

std::int64_t Utf16File::size() {
    if (file_ == nullptr) {
        return -1;
    }
    const long here = std::ftell(file_);
    if (here < 0 || std::fseek(file_, 0, SEEK_END) != 0) {
        return -1;
    }
    const long end = std::ftell(file_);
    std::fseek(file_, here, SEEK_SET);
    return end;
}

bool Utf16File::seek(std::int64_t offset) {
    if (file_ == nullptr || offset < 0 ||
        std::fseek(file_, static_cast<long>(offset), SEEK_SET) != 0) {
        failed_ = true;
        return false;
    }
    return true;
}

std::string Utf16File::read(std::size_t byteCount) {
    std::string bytes(byteCount, '\0');
    if (file_ == nullptr || byteCount == 0) {
        return std::string();
    }
    const std::size_t got = std::fread(&bytes[0], 1, byteCount, file_);
    if (got < byteCount && std::ferror(file_)) {
        failed_ = true;
    }
    bytes.resize(got);
    return bytes;
}

std::string Utf16File::readLine(std::size_t maxUnits) {
    std::string line;
    if (file_ == nullptr) {
        return line;
    }
    for (std::size_t n = 0; n < maxUnits; ++n) {
        unsigned char unit[2];
        if (std::fread(unit, 1, 2, file_) != 2) {
            break;
        }
        if (unit[0] == 0x0A && unit[1] == 0x00) {
            break;
        }
        line.push_back(static_cast<char>(unit[0]));
        line.push_back(static_cast<char>(unit[1]));
    }
    if (std::ferror(file_)) {
        failed_ = true;
    }
    return line;
}

bool Utf16File::write(const std::string& utf16leBytes) {
    if (file_ == nullptr) {
        return false;
    }
    if (std::fwrite(utf16leBytes.data(), 1, utf16leBytes.size(), file_) != utf16leBytes.size()) {
        failed_ = true;
    }
    return !failed_;
}

bool Utf16File::close() {
    if (file_ == nullptr) {
        return !failed_;
    }
    if (std::fflush(file_) != 0) {
        failed_ = true;
    }
    if (std::fclose(file_) != 0) {
        failed_ = true;
    }
    file_ = nullptr;
    return !failed_;
}

bool Utf16File::createPrivate(const std::string& path) {
    return platform::createPrivateFile(path);
}

bool Utf16File::exists(const std::string& path) {
    std::error_code ec;
    return fs::is_regular_file(path, ec);
}

std::int64_t Utf16File::fileSize(const std::string& path) {
    std::error_code ec;
    const std::uintmax_t size = fs::file_size(path, ec);
    return ec ? -1 : static_cast<std::int64_t>(size);
}

bool Utf16File::truncate(const std::string& path, std::int64_t size) {
    std::error_code ec;
    fs::resize_file(path, static_cast<std::uintmax_t>(size), ec);
    return !ec;
}
