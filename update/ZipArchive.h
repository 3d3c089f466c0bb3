#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace updater {

// Result codes of the zip wrapper.
enum ZipResult {
    ZR_OK = 0,
    ZR_ARGS,        // a bad index or no base folder
    ZR_CORRUPT,     // the archive or an entry cannot be read (bad data, checksum, name)
    ZR_WRITE,       // the extracted file or a folder cannot be written
    ZR_NOTALLOWED,  // an entry the updater refuses: a symbolic link, a path through a link
    ZR_PASSWORD,    // an encrypted entry
};

struct ZipEntry {
    int index = -1;     // for a query of item -1: the number of items
    std::wstring name;  // the stored name, as in the package
};

// The updater's wrapper over minizip's unzip reader. Usage: open the package, set the base
// folder, query item -1 for the count, query each item for its stored name, extract it,
// close. Every extraction stays below the base folder (PackagePath::normalize), creates
// only regular files and folders, and never follows a symbolic link found on the way.
class ZipArchive {
public:
    // Opens the package (no password); nullptr when it is missing or not a zip.
    static std::unique_ptr<ZipArchive> open(const std::wstring& file);
    ZipArchive(const ZipArchive&) = delete;
    ZipArchive& operator=(const ZipArchive&) = delete;
    ~ZipArchive();

    int setBaseFolder(const std::wstring& folder);
    // Item -1 gives the number of items in entry.index; item i its stored name.
    int getItem(int index, ZipEntry& entry);
    // Extracts item i under the base folder, at the safe form of its stored name.
    int unzipItem(int index, const std::wstring& storedName);
    int close();

private:
    struct Item {
        std::uint64_t directoryOffset = 0;
        std::uint64_t entryNumber = 0;
        std::wstring name;
        bool isFolder = false;
        bool isLink = false;
        bool isEncrypted = false;
        unsigned int mode = 0644;
    };

    explicit ZipArchive(void* handle);
    int listItems();
    int readCurrentItem(Item& item);
    int makeFolders(const std::string& relativeFolder);
    int writeItem(const Item& item, const std::string& path);

    void* handle_;
    std::string base_;
    bool listed_ = false;
    std::vector<Item> items_;
};

}  // namespace updater
