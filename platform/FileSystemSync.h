#pragma once

#include <string>

namespace platform {

// Forces a file's data (or a folder's entries) to the disk. False when that failed.
bool syncToDisk(const std::string& path);

// Makes kestra's durable writes (the settings file) use syncToDisk.
void installFileSync();

}  // namespace platform
