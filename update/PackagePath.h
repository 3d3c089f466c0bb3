#pragma once

#include <string>

namespace updater {

// Names of files inside an update package, made safe to use below a folder.
class PackagePath {
public:
    // The relative path (with "/" separators) under which a stored name is extracted and
    // installed. Leading drives ("C:") and separators are removed, and so is everything up
    // to a parent step ("\..\", "/../" and their mixes) until none is left; then empty,
    // "." and ".." parts are dropped, so the result never leaves the folder it is put
    // under. Both "\" and "/" separate folders. Empty when nothing remains.
    static std::wstring normalize(const std::wstring& storedName);
};

}  // namespace updater
