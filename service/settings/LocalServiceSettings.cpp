#include "LocalServiceSettings.h"

#include "kestra/Settings.h"
#include "kestra/TextCodec.h"

using kestra::Settings;

namespace service {

namespace {

std::wstring wide(const std::string& text) {
    return kestra::utf8ToWide(text);
}

std::wstring decimal(int value) {
    return std::to_wstring(value);
}

}  // namespace

LocalServiceSettings::LocalServiceSettings(const std::wstring& settingsFile) {
    Settings::startup(settingsFile);
}

LocalServiceSettings::~LocalServiceSettings() {
    Settings::shutdown();
}

bool LocalServiceSettings::hasOwnServer(const std::string& localCaFile) const {
    std::wstring host;
    if (!Settings::getStringValue(L"lumoraServer.host", &host) || host.empty()) {
        return false;
    }
    std::wstring caFile;
    Settings::getStringValue(L"lumoraServer.cafile", &caFile);
    if (!caFile.empty() && caFile == wide(localCaFile)) {
        return false;
    }
    const int port = Settings::getIntValue(L"lumoraServer.port", 5222);
    const bool builtInDefault = host == L"localhost" && port == 5222 && caFile.empty();
    return !builtInDefault;
}

std::string LocalServiceSettings::configuredServer() const {
    return kestra::wideToUtf8(Settings::getStringValue(L"lumoraServer.host")) + ":" +
           std::to_string(Settings::getIntValue(L"lumoraServer.port", 5222));
}

// The tile sources are served by one local server. Google builds its tile hosts as "mt" and
// "kh" followed by its domain suffix, so the suffix is ".localhost:<port>" (any name under
// "localhost" is the loopback address); the version pages name the same suffixes.
std::vector<std::pair<std::wstring, std::wstring>> LocalServiceSettings::keysFor(
    const Service& service) {
    const std::wstring tiles = L"127.0.0.1:" + decimal(service.tilePort);
    const std::wstring suffix = L".localhost:" + decimal(service.tilePort);
    return {
        {L"lumoraServer.host", wide(service.xmppHost)},
        {L"lumoraServer.port", decimal(service.xmppPort)},
        {L"lumoraServer.cafile", wide(service.caFile)},
        {L"lumoraServer.webRoot", L"http://127.0.0.1:" + decimal(service.webPort) + L"/"},
        {L"maps.google.domain", suffix},
        {L"maps.google.pageHost", tiles},
        {L"maps.microsoft.tileHost", tiles},
        {L"maps.microsoft.tileDomain", suffix},
        {L"maps.microsoft.pageHost", tiles},
        {L"maps.openStreet.tileHost", L"http://" + tiles},
    };
}

bool LocalServiceSettings::pointAt(const Service& service) {
    for (const auto& [key, value] : keysFor(service)) {
        if (!Settings::setStringValue(key, value)) {
            return false;
        }
    }
    try {
        Settings::flush();
    } catch (const std::exception&) {
        return false;
    }
    return true;
}

}  // namespace service
