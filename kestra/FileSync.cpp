#include "kestra/FileSync.h"

#include <atomic>

namespace kestra {
namespace {
std::atomic<FileSyncFunction> syncFunction{nullptr};
}

void setFileSyncFunction(FileSyncFunction function) {
    syncFunction = function;
}

bool syncFileToDisk(const std::string& path) {
    const FileSyncFunction function = syncFunction.load();
    return function != nullptr && function(path);
}

}  // namespace kestra
