#pragma once

#include <filesystem>

namespace testsupport {

// Makes a folder refuse new entries for the scope, also for root (which permission bits do
// not stop: the folder is made immutable instead); undone at the end.
class ReadOnlyFolder {
public:
    explicit ReadOnlyFolder(const std::filesystem::path& folder);
    ~ReadOnlyFolder();
    ReadOnlyFolder(const ReadOnlyFolder&) = delete;
    ReadOnlyFolder& operator=(const ReadOnlyFolder&) = delete;
    bool ok() const { return ok_; }

private:
    std::filesystem::path folder_;
    bool ok_ = false;
    bool immutable_ = false;
};

}  // namespace testsupport
