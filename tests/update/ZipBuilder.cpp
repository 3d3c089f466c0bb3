#include "ZipBuilder.h"

#include <minizip/zip.h>

#include <stdexcept>

namespace updatetest {

ZipBuilder& ZipBuilder::add(const std::string& name, const std::string& content,
                            unsigned int unixMode) {
    entries_.push_back({name, content, unixMode});
    return *this;
}

ZipBuilder& ZipBuilder::addLink(const std::string& name, const std::string& target) {
    return add(name, target, 0120777);
}

ZipBuilder& ZipBuilder::addFolder(const std::string& name) {
    return add(name, "", 040755);
}

void ZipBuilder::write(const std::string& path) const {
    zipFile zip = zipOpen64(path.c_str(), APPEND_STATUS_CREATE);
    if (zip == nullptr) {
        throw std::runtime_error("ZipBuilder: cannot create " + path);
    }
    for (const Entry& entry : entries_) {
        zip_fileinfo info{};
        info.tmz_date.tm_year = 2020;
        info.tmz_date.tm_mon = 5;
        info.tmz_date.tm_mday = 1;
        info.external_fa = static_cast<uLong>(entry.unixMode) << 16;
        const uLong madeBy = entry.unixMode != 0 ? (3UL << 8) | 20 : 20;
        const bool stored = entry.content.empty();
        int rc = zipOpenNewFileInZip4_64(
            zip, entry.name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr,
            stored ? 0 : Z_DEFLATED, stored ? 0 : Z_DEFAULT_COMPRESSION, 0, -MAX_WBITS,
            DEF_MEM_LEVEL, Z_DEFAULT_STRATEGY, nullptr, 0, madeBy, 0, 0);
        if (rc == ZIP_OK && !entry.content.empty()) {
            rc = zipWriteInFileInZip(zip, entry.content.data(),
                                     static_cast<unsigned int>(entry.content.size()));
        }
        if (rc == ZIP_OK) {
            rc = zipCloseFileInZip(zip);
        }
        if (rc != ZIP_OK) {
            zipClose(zip, nullptr);
            throw std::runtime_error("ZipBuilder: cannot write entry " + entry.name);
        }
    }
    if (zipClose(zip, nullptr) != ZIP_OK) {
        throw std::runtime_error("ZipBuilder: cannot close " + path);
    }
}

std::string updateConfig(const std::vector<std::pair<std::string, std::string>>& files,
                         const std::string& exeName, const std::string& appName) {
    std::string xml = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<update>\n";
    xml += "  <appName>" + appName + "</appName>\n";
    if (!exeName.empty()) {
        xml += "  <exeName>" + exeName + "</exeName>\n";
    }
    xml += "  <files>\n";
    for (const auto& [file, folder] : files) {
        xml += "    <file value=\"" + file + "\"><path>" + folder + "</path></file>\n";
    }
    xml += "  </files>\n</update>\n";
    return xml;
}

}  // namespace updatetest
