#pragma once

#include <string>

namespace kestra {

// Forcing file data to the disk is an OS service; the program installs the platform's
// routine at start. Without one, syncFileToDisk() only reports that nothing was done.
using FileSyncFunction = bool (*)(const std::string& path);

void setFileSyncFunction(FileSyncFunction function);
bool syncFileToDisk(const std::string& path);

}  // namespace kestra
