#pragma once

#include <map>
#include <set>
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
//       <file value="tools/helper" program="1"><path>%CE1%\%AppName%\</path></file>
//     </files>
//   </update>
// Every child of "files" with a "value" attribute names one file of the package and its
// destination folder (with placeholders); program="1" (or "true", "yes") marks a file
// that must be installed executable whatever mode the package gave it.
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
    // The files marked as programs, in their safe form.
    const std::set<std::wstring>& programs() const { return programs_; }

private:
    void readFiles(const pugi::xml_node& root);

    std::wstring appName_;
    std::wstring exeName_;
    std::map<std::wstring, std::wstring> files_;
    std::set<std::wstring> programs_;
};

}  // namespace updater
