#pragma once

#include <string>

namespace platform {

// Creates path as an empty file that only the user may read and write (mode 0600) when it
// does not exist yet; an existing file is left exactly as it is. The mode is given at
// creation, so the file is never readable by others, not even for a moment. True when the
// file exists afterwards.
bool createPrivateFile(const std::string& path);

}  // namespace platform
