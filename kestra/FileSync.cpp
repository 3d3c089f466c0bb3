#include "kestra/FileSync.h"

#include <atomic>
#include <cstdio>
#include <filesystem>

namespace kestra {
namespace {

std::atomic<FileSyncFunction> syncFunction{nullptr};
std::atomic<NewPrivateFileFunction> newFileFunction{nullptr};

NewFileResult writeWithStandardLibrary(const std::string& path, const std::string& bytes) {
    namespace fs = std::filesystem;
    // "x": exclusive creation, which also refuses a link at the path.
    std::FILE* file = std::fopen(path.c_str(), "wbx");
    if (file == nullptr) {
        return NewFileResult::NotCreated;
    }
    std::error_code ec;
    fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write, fs::perm_options::replace,
                    ec);
    const bool written = !ec && std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size() &&
                         std::fflush(file) == 0;
    if (std::fclose(file) != 0 || !written) {
        fs::remove(path, ec);
        return NewFileResult::NotWritten;
    }
    return NewFileResult::Written;
}

}  // namespace

void setFileSyncFunction(FileSyncFunction function) {
    syncFunction = function;
}

bool syncFileToDisk(const std::string& path) {
    const FileSyncFunction function = syncFunction.load();
    return function != nullptr && function(path);
}

void setNewPrivateFileFunction(NewPrivateFileFunction function) {
    newFileFunction = function;
}

NewFileResult writeNewPrivateFile(const std::string& path, const std::string& bytes) {
    const NewPrivateFileFunction function = newFileFunction.load();
    return function != nullptr ? function(path, bytes) : writeWithStandardLibrary(path, bytes);
}

}  // namespace kestra
