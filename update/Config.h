#pragma once

#include <map>
#include <string>

namespace pugi {
class xml_node;
}

namespace updater {

// The package's description, "updateConfig.xml":
//   <update>
//     <appName>Lumora</appName>
//     <exeName>postUpdate</exeName>                       (optional)
//     <files>
//       <file value="Lumora"><path>%CE1%\%AppName%\</path></file>
//     </files>
//   </update>
// Every child of "files" with a "value" attribute names one file of the package and its
// destination folder (with placeholders).
class Config {
public:
    // Reads the file; every failure is logged and thrown as kestra::UpdateException.
    // File names are kept in their safe form (PackagePath::normalize), the form under
    // which the zip wrapper extracted them.
    void parsConfig(const std::wstring& file);

    const std::wstring& appName() const { return appName_; }
    const std::wstring& exeName() const { return exeName_; }
    // File name in the package -> destination folder, ordered by file name.
    const std::map<std::wstring, std::wstring>& files() const { return files_; }

private:
    void readFiles(const pugi::xml_node& root);

    std::wstring appName_;
    std::wstring exeName_;
    std::map<std::wstring, std::wstring> files_;
};

}  // namespace updater
