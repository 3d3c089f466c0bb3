#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

// One open of a file of 16-bit little-endian characters (no byte-order mark), for one job:
// reading, updating in place (no truncation) or appending. Text goes in and out as raw
// UTF-16LE bytes so that callers can cut fields by UTF-16 units; offsets are byte offsets.
// The file is closed when the object goes; close() reports whether everything written
// reached the file.
class Utf16File {
public:
    enum class Mode { Read, Update, Append };

    Utf16File() = default;
    ~Utf16File();
    Utf16File(const Utf16File&) = delete;
    Utf16File& operator=(const Utf16File&) = delete;

    // Opens an existing file; Append also creates a missing one (readable by the user only).
    bool open(const std::string& path, Mode mode);
    bool isOpen() const { return file_ != nullptr; }
    // False once a read or write failed since the open.
    bool good() const { return file_ != nullptr && !failed_; }

    // Size in bytes, or -1 when it cannot be told.
    std::int64_t size();
    bool seek(std::int64_t offset);
    // Reads up to byteCount bytes from the current position; fewer at the end of the file.
    std::string read(std::size_t byteCount);
    // Reads from the current position up to maxUnits characters or up to a line feed,
    // which is consumed and not returned. Empty at the end of the file.
    std::string readLine(std::size_t maxUnits);
    bool write(const std::string& utf16leBytes);
    // Flushes and closes; false when a write or the flush failed.
    bool close();

    // Creates the file readable by the user only when it is missing.
    static bool createPrivate(const std::string& path);
    static bool exists(const std::string& path);
    // Size of a file in bytes, or -1 when it does not exist or cannot be read.
    static std::int64_t fileSize(const std::string& path);
    // Cuts a file back to size bytes (used to take back a failed append).
    static bool truncate(const std::string& path, std::int64_t size);

private:
    std::FILE* file_ = nullptr;
    bool failed_ = false;
};
