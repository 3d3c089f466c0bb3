#pragma once

#include <cstddef>
#include <string>

namespace platform {

// Writes one regular file. Opening never follows a symbolic link in the last part of the
// path, so a planted link cannot redirect the data to another file.
class FileWriter {
public:
    FileWriter() = default;
    FileWriter(const FileWriter&) = delete;
    FileWriter& operator=(const FileWriter&) = delete;
    ~FileWriter();

    // Creates the file (or empties an existing regular file) with the permission bits
    // mode (less the umask). False when the path names a link, a folder or cannot be written.
    bool open(const std::string& path, unsigned int mode);
    // Creates the file with the permission bits mode (less the umask); false when anything
    // exists at the path already (a file, a folder, a link: never followed).
    bool create(const std::string& path, unsigned int mode);
    // Writes all bytes; false on a short or failed write (a full disk, a size limit).
    bool write(const void* data, std::size_t size);
    // Forces the data to the disk.
    bool sync();
    // False when an earlier write or the close itself failed.
    bool close();
    bool isOpen() const { return fd_ >= 0; }
    // The system error of the last failure (0 when none).
    int lastError() const { return error_; }

private:
    bool openWith(const std::string& path, int flags, unsigned int mode);

    int fd_ = -1;
    int error_ = 0;
};

}  // namespace platform
