#pragma once

#include <string>

namespace kestra {

// Forcing file data to the disk and creating files that hold private data are OS
// services; the program installs the platform's routines at start
// (platform::installFileSync). Without them, syncFileToDisk() only reports that nothing
// was done, and writeNewPrivateFile() falls back to what the standard library can do.
using FileSyncFunction = bool (*)(const std::string& path);

void setFileSyncFunction(FileSyncFunction function);
bool syncFileToDisk(const std::string& path);

enum class NewFileResult {
    Written,     // created, written in full and forced to the disk
    NotCreated,  // something exists at the path already, or the file cannot be made
    NotWritten,  // a write, forcing it to the disk or closing failed; the file is removed
};

// Creates path as a new file that only the user may read and write from its creation
// (something already there, a link included, is never followed or reused), writes bytes
// and forces them to the disk.
using NewPrivateFileFunction = NewFileResult (*)(const std::string& path, const std::string& bytes);

void setNewPrivateFileFunction(NewPrivateFileFunction function);
// The installed routine; without one the file is still created exclusively, but its mode
// is set right after creation (before any byte is written) and it is not forced to disk.
NewFileResult writeNewPrivateFile(const std::string& path, const std::string& bytes);

}  // namespace kestra
