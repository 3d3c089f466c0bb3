#pragma once

#include <string>

#include "kestra/FileSync.h"

namespace platform {

// Forces a file's data (or a folder's entries) to the disk. False when that failed.
bool syncToDisk(const std::string& path);

// Forces everything written to the file system that holds path to the disk (one call for
// many files, cheaper than forcing each). False when that failed.
bool syncFileSystem(const std::string& path);

// Writes bytes into a new file at path, mode 0600 from its creation, never through a link
// or into something that exists; forces the data to the disk. On a failed write or sync
// the file is removed.
kestra::NewFileResult writeNewPrivateFile(const std::string& path, const std::string& bytes);

// Makes kestra's durable writes (the settings file) use syncToDisk and writeNewPrivateFile.
void installFileSync();

}  // namespace platform
