#include "platform/DurableFile.h"

#include <cstdio>
#include <filesystem>

#include "platform/FileSystemSync.h"
#include "platform/FileWriter.h"

namespace platform {

bool writeFileDurably(const std::string& path, const std::string& bytes, unsigned int mode) {
    const std::string temporary = path + ".tmp";
    FileWriter writer;
    bool ok =
        writer.open(temporary, mode) && writer.write(bytes.data(), bytes.size()) && writer.sync();
    ok = writer.close() && ok;
    ok = ok && std::rename(temporary.c_str(), path.c_str()) == 0;
    if (!ok) {
        std::remove(temporary.c_str());
        return false;
    }
    syncToDisk(std::filesystem::path(path).parent_path().string());
    return true;
}

}  // namespace platform
