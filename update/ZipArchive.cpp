#include "update/ZipArchive.h"

#include <minizip/unzip.h>

#include <filesystem>
#include <vector>

#include "kestra/TextCodec.h"
#include "platform/FileWriter.h"
#include "update/PackagePath.h"

namespace fs = std::filesystem;

namespace updater {
namespace {

constexpr std::size_t NAME_LIMIT = 65535;
constexpr std::size_t CHUNK = 64 * 1024;
// A Unix-made entry keeps its file mode in the high half of the external attributes.
constexpr unsigned int HOST_UNIX = 3;
constexpr unsigned int MODE_TYPE = 0170000;
constexpr unsigned int MODE_LINK = 0120000;
constexpr unsigned int MODE_FOLDER = 0040000;

unzFile zipOf(void* handle) {
    return static_cast<unzFile>(handle);
}

bool endsWithSeparator(const std::string& name) {
    return !name.empty() && (name.back() == '/' || name.back() == '\\');
}

}  // namespace

std::unique_ptr<ZipArchive> ZipArchive::open(const std::wstring& file) {
    const std::string path = kestra::wideToUtf8(file);
    if (path.empty()) {
        return nullptr;
    }
    unzFile handle = unzOpen64(path.c_str());
    if (handle == nullptr) {
        return nullptr;
    }
    return std::unique_ptr<ZipArchive>(new ZipArchive(handle));
}

ZipArchive::ZipArchive(void* handle) : handle_(handle) {}

ZipArchive::~ZipArchive() {
    close();
}

int ZipArchive::close() {
    if (handle_ != nullptr) {
        unzClose(zipOf(handle_));
        handle_ = nullptr;
    }
    return ZR_OK;
}

int ZipArchive::setBaseFolder(const std::wstring& folder) {
    base_ = kestra::wideToUtf8(folder);
    while (base_.size() > 1 && base_.back() == '/') {
        base_.pop_back();
    }
    return base_.empty() ? ZR_ARGS : ZR_OK;
}

int ZipArchive::getItem(int index, ZipEntry& entry) {
    if (handle_ == nullptr) {
        return ZR_ARGS;
    }
    if (!listed_) {
        const int listing = listItems();
        if (listing != ZR_OK) {
            return listing;
        }
    }
    if (index == -1) {
        entry.index = static_cast<int>(items_.size());
        entry.name.clear();
        return ZR_OK;
    }
    if (index < 0 || static_cast<std::size_t>(index) >= items_.size()) {
        return ZR_ARGS;
    }
    entry.index = index;
    entry.name = items_[static_cast<std::size_t>(index)].name;
    return ZR_OK;
}

// Walks the central directory once and remembers where each entry is.
int ZipArchive::listItems() {
    items_.clear();
    int rc = unzGoToFirstFile(zipOf(handle_));
    while (rc == UNZ_OK) {
        Item item;
        const int read = readCurrentItem(item);
        if (read != ZR_OK) {
            items_.clear();
            return read;
        }
        items_.push_back(std::move(item));
        rc = unzGoToNextFile(zipOf(handle_));
    }
    if (rc != UNZ_END_OF_LIST_OF_FILE) {
        items_.clear();
        return ZR_CORRUPT;
    }
    listed_ = true;
    return ZR_OK;
}

int ZipArchive::readCurrentItem(Item& item) {
    unz_file_info64 info{};
    std::vector<char> name(NAME_LIMIT + 1, '\0');
    if (unzGetCurrentFileInfo64(zipOf(handle_), &info, name.data(), name.size(), nullptr, 0,
                                nullptr, 0) != UNZ_OK) {
        return ZR_CORRUPT;
    }
    const std::string raw(name.data(), info.size_filename);
    if (raw.empty() || raw.find('\0') != std::string::npos) {
        return ZR_CORRUPT;  // a name with a NUL would be cut short where it is used
    }
    item.name = kestra::utf8ToWide(raw);
    if (item.name.empty()) {
        return ZR_CORRUPT;
    }
    unz64_file_pos position{};
    if (unzGetFilePos64(zipOf(handle_), &position) != UNZ_OK) {
        return ZR_CORRUPT;
    }
    item.directoryOffset = position.pos_in_zip_directory;
    item.entryNumber = position.num_of_file;
    item.isFolder = endsWithSeparator(raw);
    item.isEncrypted = (info.flag & 1U) != 0;
    const unsigned int unixMode = static_cast<unsigned int>(info.external_fa >> 16) & 0177777U;
    if ((info.version >> 8) == HOST_UNIX && unixMode != 0) {
        item.isLink = (unixMode & MODE_TYPE) == MODE_LINK;
        item.isFolder = item.isFolder || (unixMode & MODE_TYPE) == MODE_FOLDER;
        item.mode = (unixMode & 0111U) != 0 ? 0755 : 0644;
    }
    return ZR_OK;
}

int ZipArchive::unzipItem(int index, const std::wstring& storedName) {
    if (handle_ == nullptr || base_.empty() || !listed_ || index < 0 ||
        static_cast<std::size_t>(index) >= items_.size()) {
        return ZR_ARGS;
    }
    const Item& item = items_[static_cast<std::size_t>(index)];
    if (item.isLink) {
        return ZR_NOTALLOWED;
    }
    if (item.isEncrypted) {
        return ZR_PASSWORD;
    }
    const std::string relative = kestra::wideToUtf8(PackagePath::normalize(storedName));
    if (relative.empty()) {
        return ZR_OK;  // nothing but folder steps: nothing to write
    }
    if (item.isFolder) {
        return makeFolders(relative);
    }
    const std::size_t slash = relative.rfind('/');
    if (slash != std::string::npos) {
        const int folders = makeFolders(relative.substr(0, slash));
        if (folders != ZR_OK) {
            return folders;
        }
    }
    return writeItem(item, base_ + "/" + relative);
}

// Creates the folders of a relative path under the base, one level at a time. A level that
// exists must be a real folder: a symbolic link there could lead outside the base.
int ZipArchive::makeFolders(const std::string& relativeFolder) {
    std::string path = base_;
    std::size_t start = 0;
    while (start < relativeFolder.size()) {
        std::size_t end = relativeFolder.find('/', start);
        if (end == std::string::npos) {
            end = relativeFolder.size();
        }
        path += "/" + relativeFolder.substr(start, end - start);
        std::error_code ec;
        const fs::file_status status = fs::symlink_status(path, ec);
        if (status.type() == fs::file_type::not_found) {
            if (!fs::create_directory(path, ec) && ec) {
                return ZR_WRITE;
            }
        } else if (status.type() != fs::file_type::directory) {
            return status.type() == fs::file_type::symlink ? ZR_NOTALLOWED : ZR_WRITE;
        }
        start = end + 1;
    }
    return ZR_OK;
}

int ZipArchive::writeItem(const Item& item, const std::string& path) {
    unz64_file_pos position{item.directoryOffset, item.entryNumber};
    if (unzGoToFilePos64(zipOf(handle_), &position) != UNZ_OK ||
        unzOpenCurrentFile(zipOf(handle_)) != UNZ_OK) {
        return ZR_CORRUPT;
    }
    platform::FileWriter writer;
    int result = writer.open(path, item.mode) ? ZR_OK : ZR_WRITE;
    std::vector<char> buffer(CHUNK);
    while (result == ZR_OK) {
        const int got = unzReadCurrentFile(zipOf(handle_), buffer.data(),
                                           static_cast<unsigned int>(buffer.size()));
        if (got < 0) {
            result = ZR_CORRUPT;
        } else if (got == 0) {
            break;
        } else if (!writer.write(buffer.data(), static_cast<std::size_t>(got))) {
            result = ZR_WRITE;
        }
    }
    // Closing the entry checks its CRC once the whole entry was read.
    if (unzCloseCurrentFile(zipOf(handle_)) != UNZ_OK && result == ZR_OK) {
        result = ZR_CORRUPT;
    }
    if (!writer.close() && result == ZR_OK) {
        result = ZR_WRITE;
    }
    if (result != ZR_OK) {
        std::error_code ec;
        if (fs::symlink_status(path, ec).type() == fs::file_type::regular) {
            fs::remove(path, ec);
        }
    }
    return result;
}

}  // namespace updater
