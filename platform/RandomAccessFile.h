#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace platform {

// One regular file kept open and read or written at given offsets (pread and pwrite), so
// that many threads can read it at once without sharing a file position. Opening never
// follows a symbolic link in the last part of the path.
class RandomAccessFile {
public:
    // The file at path opened for reading and writing; created (mode 0644 less the umask)
    // when create is set and it does not exist. Null when it cannot be opened.
    static std::unique_ptr<RandomAccessFile> open(const std::string& path, bool create);
    RandomAccessFile(const RandomAccessFile&) = delete;
    RandomAccessFile& operator=(const RandomAccessFile&) = delete;
    ~RandomAccessFile();

    // Exactly size bytes at offset; false on an error or when the file ends before.
    bool readAt(std::uint64_t offset, void* data, std::size_t size) const;
    // All size bytes at offset; false on an error or a short write (a full disk).
    bool writeAt(std::uint64_t offset, const void* data, std::size_t size);
    // The file's size; -1 when it cannot be asked.
    std::int64_t size() const;
    // Forces the file's data to the disk.
    bool sync();
    bool truncate(std::uint64_t size);
    // False once the file has no name left in any folder (it, or its folder, was removed):
    // whatever is written then is lost with the last handle.
    bool isLinked() const;

private:
    explicit RandomAccessFile(int fd) : fd_(fd) {}
    int fd_;
};

// The whole file at path, read with one read of its size (more only when the file grew in
// between). False when it cannot be opened or read.
bool readWholeFile(const std::string& path, std::string& bytes);

}  // namespace platform
