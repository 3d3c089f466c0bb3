#pragma once

#include <map>
#include <string>

namespace updater {

// The folder placeholders that a package's destinations may use, and their folders on
// this system (docs/update.md gives the mapping). Ordered by placeholder.
class PlaceholderTable {
public:
    explicit PlaceholderTable(std::map<std::wstring, std::wstring> entries);

    // The table for the running user. programFolder is the folder that holds the programs;
    // its parent stands for the program files folder. Throws kestra::UpdateException when
    // a folder cannot be found.
    static PlaceholderTable fromSystem(const std::wstring& programFolder);

    // Replaces every placeholder in a destination folder ("\" becomes "/"). False when a
    // "%" remains (an unknown placeholder) or the result is not an absolute path.
    bool replaceIdInPath(const std::wstring& path, std::wstring& resolved) const;

    const std::map<std::wstring, std::wstring>& entries() const { return entries_; }

private:
    std::map<std::wstring, std::wstring> entries_;
};

}  // namespace updater
