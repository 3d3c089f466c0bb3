#pragma once

#include <string>
#include <vector>

namespace updatetest {

// Writes real zip files with minizip's writer, including the odd entries that a hostile
// package may hold (absolute names, parent steps, links, Windows-made entries).
class ZipBuilder {
public:
    struct Entry {
        std::string name;                 // stored name, bytes as written
        std::string content;              // file data, or the link target for a link
        unsigned int unixMode = 0100644;  // 0: made on Windows (no Unix mode)
    };

    ZipBuilder& add(const std::string& name, const std::string& content,
                    unsigned int unixMode = 0100644);
    ZipBuilder& addLink(const std::string& name, const std::string& target);
    ZipBuilder& addFolder(const std::string& name);
    // Writes the archive; throws std::runtime_error when minizip fails.
    void write(const std::string& path) const;

private:
    std::vector<Entry> entries_;
};

// The text of an updateConfig.xml naming (file, destination folder) pairs.
std::string updateConfig(const std::vector<std::pair<std::string, std::string>>& files,
                         const std::string& exeName = std::string(),
                         const std::string& appName = "Lumora");

}  // namespace updatetest
