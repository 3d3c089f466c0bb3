#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

#include "client/app/InstallPlace.h"
#include "kestra/Clock.h"

struct HTTPResult;

// The update check and download. At start the controller asks the service's "clientinfo/"
// which version is current. In update mode 1 a newer version's package is downloaded into
// the update folder and marked for installation at the next start; in any other mode the
// user is only told that an update exists, and so is a user whose installation cannot
// replace its own files (InstallPlace): nothing is downloaded for it. Results arrive on the
// HTTP loader's thread.
//
// States, as kept in the settings (S = splitter.startLoadUpdate, C =
// splitter.succeeesLoadUpdate):
//   nothing pending:         general.isUpdate 0 or missing
//   downloading version V:   S = V, C != V, isUpdate 0 (a partial package resumes)
//   V downloaded:            S = C = V, isUpdate 1 (the next start runs the updater)
//   installing:              S = C = V, isUpdate 0 (cleared just before the updater starts)
class UpdateChecker {
public:
    static constexpr unsigned int RETRY_MS = 10000;

    // Queues an HTTP request on the controller's loader (dropped when it does not run).
    using Request = std::function<void(const std::wstring& url, std::int32_t requestId,
                                       bool saveToFile, const std::wstring& filePath)>;
    // Shows a text to the user (the view manager's message line).
    using ShowMessage = std::function<void(const std::wstring& text)>;
    // Whether the loader still runs; the ten-second pauses end early when it stops.
    using KeepWaiting = std::function<bool()>;

    UpdateChecker(const std::wstring& applicationFolder, Request request, ShowMessage showMessage,
                  kestra::IClock& clock = kestra::SystemClock::instance());
    // The same, for an installation in the given place (the default is the running
    // program's folder).
    UpdateChecker(const std::wstring& applicationFolder, InstallPlace place, Request request,
                  ShowMessage showMessage, kestra::IClock& clock = kestra::SystemClock::instance());

    std::wstring updateFolder() const { return updateFolder_; }
    std::wstring packagePath() const { return updateFolder_ + L"/update.zip"; }
    static std::wstring versionUrl();

    // Asks for the version information.
    void startCheck();
    // Handles the result of a version or download request; false for other requests.
    bool handleResult(const HTTPResult& result, const KeepWaiting& keepWaiting);

    bool isVersionInfoReceived() const { return versionInfoReceived_.load(); }
    // Whether updates are downloaded and installed by the client itself, and why not.
    const InstallPlace& installPlace() const { return place_; }
    // The version the service announced when it is newer than this one (else empty).
    std::wstring newerVersion() const;
    // The address for a manual download, from the last version information (about window).
    std::wstring downloadAddress() const;

private:
    struct VersionInfo {
        std::wstring version;
        std::wstring update;
        std::wstring download;
        std::wstring fileSize;
        std::wstring updateSize;
    };

    void onVersionResult(const HTTPResult& result, const KeepWaiting& keepWaiting);
    bool parseVersionReply(const std::string& body, VersionInfo& info) const;
    void handleVersionReply(const std::string& body);
    void startDownload(const VersionInfo& info, const std::wstring& started,
                       const std::wstring& completed);
    void onDownloadResult(const HTTPResult& result, const KeepWaiting& keepWaiting);
    void pause(const KeepWaiting& keepWaiting);
    void flushSettings() const;

    std::wstring updateFolder_;
    InstallPlace place_;
    Request request_;
    ShowMessage showMessage_;
    kestra::IClock& clock_;
    std::atomic<bool> versionInfoReceived_{false};
    mutable std::mutex downloadAddressLock_;
    std::wstring downloadAddress_;
    std::wstring newerVersion_;
};
