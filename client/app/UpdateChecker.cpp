#include "client/app/UpdateChecker.h"

#include <filesystem>
#include <pugixml.hpp>

#include "client/app/ApplicationMessages.h"
#include "client/app/ClientVersion.h"
#include "client/locale/Dictionary.h"
#include "client/maps/HTTPLoader.h"
#include "client/maps/HTTPResult.h"
#include "kestra/Log.h"
#include "kestra/Settings.h"
#include "kestra/TextCodec.h"
#include "platform/AppFolders.h"

using kestra::Log;
using kestra::Settings;

namespace {

constexpr unsigned int PAUSE_STEP_MS = 100;
const wchar_t* const STARTED_KEY = L"splitter.startLoadUpdate";
const wchar_t* const COMPLETED_KEY = L"splitter.succeeesLoadUpdate";

std::wstring trimmed(const std::wstring& text) {
    const std::size_t first = text.find_first_not_of(L" \t\r\n");
    if (first == std::wstring::npos) {
        return std::wstring();
    }
    return text.substr(first, text.find_last_not_of(L" \t\r\n") - first + 1);
}

}  // namespace

UpdateChecker::UpdateChecker(const std::wstring& applicationFolder, Request request,
                             ShowMessage showMessage, kestra::IClock& clock)
    : UpdateChecker(applicationFolder, InstallPlace(platform::programFolder()), std::move(request),
                    std::move(showMessage), clock) {}

UpdateChecker::UpdateChecker(const std::wstring& applicationFolder, InstallPlace place,
                             Request request, ShowMessage showMessage, kestra::IClock& clock)
    : updateFolder_(applicationFolder + L"/update"),
      place_(std::move(place)),
      request_(std::move(request)),
      showMessage_(std::move(showMessage)),
      clock_(clock) {
    if (!place_.canInstallUpdates()) {
        Log::info(L"UpdateChecker: " + place_.problem() +
                  L"; updates are announced, not downloaded.");
    }
}

std::wstring UpdateChecker::versionUrl() {
    return HTTPLoader::serviceWebRoot() + L"clientinfo/";
}

std::wstring UpdateChecker::downloadAddress() const {
    std::lock_guard<std::mutex> lock(downloadAddressLock_);
    return downloadAddress_;
}

std::wstring UpdateChecker::newerVersion() const {
    std::lock_guard<std::mutex> lock(downloadAddressLock_);
    return newerVersion_;
}

void UpdateChecker::startCheck() {
    request_(versionUrl(), static_cast<std::int32_t>(REQUEST_VERSION_INFO), false, L"");
}

bool UpdateChecker::handleResult(const HTTPResult& result, const KeepWaiting& keepWaiting) {
    if (result.requestId == static_cast<std::int32_t>(REQUEST_VERSION_INFO)) {
        onVersionResult(result, keepWaiting);
        return true;
    }
    if (result.requestId == static_cast<std::int32_t>(REQUEST_UPDATE_DOWNLOAD)) {
        onDownloadResult(result, keepWaiting);
        return true;
    }
    return false;
}

// No answer yet: ask again every ten seconds for as long as the program runs.
void UpdateChecker::onVersionResult(const HTTPResult& result, const KeepWaiting& keepWaiting) {
    if (result.error != 0) {
        pause(keepWaiting);
        request_(result.url, result.requestId, false, L"");
        return;
    }
    handleVersionReply(result.data);
    versionInfoReceived_ = true;
}

bool UpdateChecker::parseVersionReply(const std::string& body, VersionInfo& info) const {
    const std::wstring text = kestra::utf8ToWide(body);
    if (text.find(L"information") == std::wstring::npos) {
        Log::error("ApplicationManager ::-1 == xmlWContent.find(information).");
        return false;
    }
    pugi::xml_document document;
    if (!document.load_buffer(body.data(), body.size(), pugi::parse_default, pugi::encoding_utf8)) {
        Log::error("ApplicationManager ::(S_OK != res) || (VARIANT_TRUE != succeeded).");
        return false;
    }
    const pugi::xml_node root = document.document_element();
    if (!root) {
        Log::error("ApplicationManager ::(S_OK != res).");
        return false;
    }
    const std::pair<const char*, std::wstring VersionInfo::*> fields[] = {
        {"version", &VersionInfo::version},   {"updateSize", &VersionInfo::updateSize},
        {"update", &VersionInfo::update},     {"fileSize", &VersionInfo::fileSize},
        {"download", &VersionInfo::download},
    };
    for (const pugi::xml_node& node : root.children()) {
        for (const auto& [name, member] : fields) {
            if (node.type() == pugi::node_element && std::string(node.name()) == name) {
                info.*member = trimmed(kestra::utf8ToWide(node.text().get()));
                break;
            }
        }
    }
    return true;
}

void UpdateChecker::handleVersionReply(const std::string& body) {
    VersionInfo info;
    if (!parseVersionReply(body, info)) {
        return;
    }
    if (info.version.empty() || info.version == kestra::utf8ToWide(LUMORA_CLIENT_VERSION)) {
        return;
    }
    {
        std::lock_guard<std::mutex> lock(downloadAddressLock_);
        newerVersion_ = info.version;
    }
    // An installation that cannot replace its own files gets nothing downloaded, whatever
    // the update mode; the user still learns that a newer version exists.
    if (!place_.canInstallUpdates()) {
        if (!info.download.empty()) {
            std::lock_guard<std::mutex> lock(downloadAddressLock_);
            downloadAddress_ = info.download;
        }
        Log::info(L"UpdateChecker: version " + info.version + L" is available; " +
                  place_.problem() + L".");
        showMessage_(tr("Lumora update is available."));
        return;
    }
    const std::wstring started = Settings::getStringValue(STARTED_KEY);
    const std::wstring completed = Settings::getStringValue(COMPLETED_KEY);
    if (completed == info.version) {
        return;  // this version's package is here already
    }
    if (!info.download.empty()) {
        std::lock_guard<std::mutex> lock(downloadAddressLock_);
        downloadAddress_ = info.download;
    }
    const int mode = Settings::getIntValue(L"general.updateMode", 1);
    if (info.update.empty()) {
        return;
    }
    if (mode != 1) {
        showMessage_(tr("Lumora update is available."));
        return;
    }
    startDownload(info, started, completed);
}

// A partial package of the same version is kept so that its download resumes; anything
// else in its place (another version, an installed one) goes first.
void UpdateChecker::startDownload(const VersionInfo& info, const std::wstring& started,
                                  const std::wstring& completed) {
    const std::string package = kestra::wideToUtf8(packagePath());
    if (started == completed || started != info.version) {
        std::error_code ec;
        std::filesystem::remove(package, ec);
    }
    showMessage_(tr("Update download is started."));
    platform::createPrivateFolder(updateFolder_);
    Settings::setStringValue(STARTED_KEY, info.version);
    flushSettings();
    request_(info.update, static_cast<std::int32_t>(REQUEST_UPDATE_DOWNLOAD), true, packagePath());
}

void UpdateChecker::onDownloadResult(const HTTPResult& result, const KeepWaiting& keepWaiting) {
    if ((result.status == 200 || result.status == 206) && result.error == 0) {
        if (Settings::getIntValue(L"general.updateMode", 1) == 1) {
            showMessage_(tr("Lumora will be updated after restart!"));
            Settings::setIntValue(L"general.isUpdate", 1);
        }
        Settings::setStringValue(COMPLETED_KEY, Settings::getStringValue(STARTED_KEY));
        flushSettings();
        return;
    }
    if (result.error == 2) {
        return;  // the loader was stopped: the partial file resumes at the next start
    }
    showMessage_(tr("Error at loading update"));
    pause(keepWaiting);
    request_(result.url, result.requestId, true, packagePath());
}

// Ten seconds on the loader's thread, in short steps so that stopping the loader is not
// held up by the pause.
void UpdateChecker::pause(const KeepWaiting& keepWaiting) {
    for (unsigned int waited = 0; waited < RETRY_MS && keepWaiting(); waited += PAUSE_STEP_MS) {
        clock_.sleepMs(PAUSE_STEP_MS);
    }
}

// The download state must survive a crash: a lost "started" would delete a partial
// package at the next start, a lost "completed" would fetch a whole package again.
void UpdateChecker::flushSettings() const {
    try {
        Settings::flush();
    } catch (const std::exception&) {
        Log::error("UpdateChecker: the update state could not be saved.");
    }
}
