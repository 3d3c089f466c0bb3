#pragma once

#include <string>

namespace platform {

// Forces a file's data (or a folder's entries) to the disk. False when that failed.
bool syncToDisk(const std::string& path);

// Forces everything written to the file system that holds path to the disk (one call for
// many files, cheaper than forcing each). False when that failed.
bool syncFileSystem(const std::string& path);

// Makes kestra's durable writes (the settings file) use syncToDisk.
void installFileSync();

}  // namespace platform
