#pragma once

#include <string>

namespace platform {

// Replaces path with bytes so that a crash or a power cut at any moment leaves either the
// old file or the complete new one: the bytes go to path + ".tmp" (never through a link),
// are forced to disk, the temporary file is renamed over path and the folder entry is
// forced to disk. False (the old file untouched, no temporary file left) on failure.
bool writeFileDurably(const std::string& path, const std::string& bytes, unsigned int mode);

}  // namespace platform
