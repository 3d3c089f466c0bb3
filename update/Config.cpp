#include "update/Config.h"

#include <filesystem>
#include <fstream>
#include <pugixml.hpp>

#include "kestra/Exceptions.h"
#include "kestra/Log.h"
#include "kestra/TextCodec.h"
#include "update/PackagePath.h"

using kestra::Log;

namespace updater {
namespace {

constexpr std::size_t READ_PIECE = 2049;

[[noreturn]] void fail(const std::string& line) {
    Log::error(line);
    throw kestra::UpdateException("Process update", line);
}

std::string readWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        fail("Config::parsConfig, INVALID_HANDLE_VALUE == file)");
    }
    std::string bytes;
    char piece[READ_PIECE];
    while (in.read(piece, sizeof(piece)) || in.gcount() > 0) {
        bytes.append(piece, static_cast<std::size_t>(in.gcount()));
    }
    return bytes;
}

std::wstring childText(const pugi::xml_node& parent, const char* name) {
    return kestra::utf8ToWide(parent.child(name).text().get());
}

}  // namespace

void Config::parsConfig(const std::wstring& file) {
    appName_.clear();
    exeName_.clear();
    files_.clear();
    programs_.clear();
    const std::string path = kestra::wideToUtf8(file);
    std::error_code ec;
    if (path.empty() || !std::filesystem::exists(path, ec)) {
        fail("Config::parsConfig, 0 == GetFileAttributes(localeFolder)");
    }
    const std::wstring text = kestra::utf8ToWide(readWholeFile(path));
    if (text.find(L"update") == std::wstring::npos) {
        fail("Config::parsConfig: tag update not found.");
    }
    pugi::xml_document document;
    const std::string utf8 = kestra::wideToUtf8(text);
    const pugi::xml_parse_result parsed =
        document.load_buffer(utf8.data(), utf8.size(), pugi::parse_default, pugi::encoding_utf8);
    if (!parsed && parsed.status != pugi::status_no_document_element) {
        fail("Config::parsConfig: loadXML error.");
    }
    const pugi::xml_node root = document.document_element();
    if (!root) {
        fail("Config::parsConfig: get_documentElement error.");
    }
    appName_ = childText(root, "appName");
    if (appName_.empty()) {
        fail("Config::parsConfig no appName.");
    }
    readFiles(root);
    if (files_.empty()) {
        Log::info("Config::parsConfig no files to update.");
    }
    exeName_ = PackagePath::normalize(childText(root, "exeName"));
    if (exeName_.empty()) {
        Log::info("Config::parsConfig no exeName.");
    }
}

void Config::readFiles(const pugi::xml_node& root) {
    const pugi::xml_node files = root.child("files");
    if (!files) {
        fail("getListVariant: parent->get_childNodes(&nodelist);");
    }
    for (const pugi::xml_node& node : files.children()) {
        const pugi::xml_attribute value = node.attribute("value");
        if (node.type() != pugi::node_element || !value) {
            continue;
        }
        const pugi::xml_node pathNode = node.child("path");
        if (!pathNode) {
            fail("getChildEllementByName: no path for file;");
        }
        const std::wstring folder = kestra::utf8ToWide(pathNode.text().get());
        if (folder.empty()) {
            fail("getChildEllementByName: no path for file; bstrVal == NULL;");
        }
        const std::wstring name = PackagePath::normalize(kestra::utf8ToWide(value.value()));
        if (name.empty()) {
            fail("Config::parsConfig: no file name in \"" + std::string(value.value()) + "\".");
        }
        files_[name] = folder;
        const std::string program = node.attribute("program").value();
        if (program == "1" || program == "true" || program == "yes") {
            programs_.insert(name);
        }
    }
}

}  // namespace updater
