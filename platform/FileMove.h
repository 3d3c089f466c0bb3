#pragma once

#include <string>

namespace platform {

// Moves a regular file to a new path, replacing a file there. Within one file system this
// is a rename. Across file systems the data is copied to a temporary file beside the
// target, forced to disk and renamed over the target, and only then is the source removed:
// a full disk or any other failure leaves the source as it was, the target unchanged and
// no partial file behind. Returns false on failure; error (when given) gets the errno.
bool moveFile(const std::string& from, const std::string& to, int* error = nullptr);

// Copies a regular file (never through a link) to a new path with the same mode, the same
// way: into a temporary file beside the target, forced to disk, renamed over the target.
bool copyFile(const std::string& from, const std::string& to, int* error = nullptr);

}  // namespace platform
