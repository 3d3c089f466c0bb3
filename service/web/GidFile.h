#pragma once

#include <string>

namespace fixture {

// The next GID to hand out, kept in a file so that ids stay unique across restarts. The
// file holds one decimal number; it is replaced through a temporary file that is forced to
// disk before the rename, so a crash leaves the old or the new number, never a torn one.
class GidFile {
public:
    // Reads the file when it exists; a missing file starts at firstGid. Throws
    // std::runtime_error when the file exists but does not hold a number.
    GidFile(const std::string& path, long long firstGid);

    // Records that the id after the current one is next, then returns the current one. An
    // id is handed out only once it is on disk; throws std::runtime_error when it cannot
    // be written (the id is then not used).
    long long take();

    long long next() const { return next_; }

private:
    void write(long long next) const;

    std::string path_;
    long long next_;
};

}  // namespace fixture
