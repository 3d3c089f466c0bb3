#include "client/maps/MicrosoftMapsLoader.h"

#include <new>

#include "kestra/Exceptions.h"
#include "kestra/Lexical.h"
#include "kestra/Log.h"
#include "kestra/Settings.h"
#include "platform/Md5.h"

using kestra::Log;

namespace {

std::wstring typeLetter(int mapType) {
    switch (mapType) {
        case 1:
            return L"r";
        case 0:
            return L"a";
        case 2:
            return L"h";
        default:
            return L"";
    }
}

[[noreturn]] void versionFailure(const std::string& text) {
    Log::error("MicrosoftMapsLoader::getVersionFromURL: " + text);
    throw kestra::MapLoaderException("MicrosoftMapsLoader::getVersionFromURL", text);
}

}  // namespace

MicrosoftMapsLoader::MicrosoftMapsLoader()
    : tileHost_(settingOr(L"maps.microsoft.tileHost", DEFAULT_TILE_HOST)),
      tileDomain_(settingOr(L"maps.microsoft.tileDomain", DEFAULT_TILE_DOMAIN)),
      pageHost_(settingOr(L"maps.microsoft.pageHost", DEFAULT_PAGE_HOST)) {}

void MicrosoftMapsLoader::getZoomInterval(int& minLevel, int& maxLevel, int mapType) {
    if (mapType == 0 || mapType == 2) {
        minLevel = 2;
        maxLevel = 18;
    } else if (mapType == 1) {
        minLevel = 2;
        maxLevel = 20;
    } else {
        throw kestra::MapLoaderException("MicrosoftMapsLoader::getZoomInterval",
                                         "Unsupported map type.");
    }
}

bool MicrosoftMapsLoader::isMapTypeSupported(int mapType) {
    return mapType == 0 || mapType == 1 || mapType == 2;
}

void MicrosoftMapsLoader::refresh(int mapType, int level, const WorldCoords& centre,
                                  IMapsLoaderManager*) {
    updateVersion(mapType, level, centre);
}

void MicrosoftMapsLoader::updateVersion(int, int, const WorldCoords&) {
    if (!hasVersion()) {
        setVersion(getVersionFromURL());
    }
}

void MicrosoftMapsLoader::getBlockURL(std::wstring& url, int, const std::wstring& blockName) {
    url = tileHost_ + L"//tiles//" + blockName + L"?g=" + getCurrentVersion();
}

void MicrosoftMapsLoader::getTestURL(std::wstring& url, int mapType) {
    const std::wstring block = mapType == 2 ? L"h0" : (mapType == 0 ? L"a0" : L"r0");
    url = L"http://" + tileHost_ + L"//tiles//" + block + L"?g=" + getCurrentVersion();
}

bool MicrosoftMapsLoader::isValidImage(const std::string& data) {
    return platform::md5Hex(data) != BLANK_TILE_MD5;
}

std::wstring MicrosoftMapsLoader::getBlockNameByLevelAndBlockNumber(int level, int x, int y,
                                                                    int mapType) {
    static const wchar_t digits[4] = {L'0', L'1', L'2', L'3'};
    return typeLetter(mapType) +
           quadtreePath(level, x, y, digits,
                        "MicrosoftMapsLoader::getBlockNameByLevelAndBlockNumber: level > "
                        "MAX_LEVELS_NUM.");
}

std::unique_ptr<MapsDataTypes::ImageBlockProp> MicrosoftMapsLoader::createBlockProp(int level,
                                                                                    int x, int y,
                                                                                    int mapType) {
    int wx = 0;
    int wy = 0;
    std::unique_ptr<MapsDataTypes::ImageBlockProp> block =
        newBlockProp(level, x, y, mapType, wx, wy, "MicrosoftMapsLoader::createBlockPropForRoadmap",
                     "while: new MicrosoftImageBlockProp()");
    block->name = getBlockNameByLevelAndBlockNumber(level, wx, wy, mapType);
    if (block->name.empty()) {
        Log::error("MicrosoftMapsLoader: Error block name.");
    }
    return block;
}

std::wstring MicrosoftMapsLoader::getVersionFromURL() {
    std::wstring contentType;
    int status = 0;
    const std::string body = loadPage(pageHost_, L"/", contentType, status);
    if (status != 200) {
        versionFailure("HTTP not ok status. ERROR code = " + kestra::toNarrowText(status));
    }
    if (body.empty()) {
        versionFailure("Load data size is 0.");
    }
    const std::wstring page =
        isUnicode(contentType) ? decodeUnicode(body, contentType) : widen(body);
    const std::wstring version = findVersion(page);
    return version.empty() ? DEFAULT_VERSION : version;
}

std::wstring MicrosoftMapsLoader::findVersion(const std::wstring& page) const {
    for (const wchar_t* letter : {L"r", L"a", L"h"}) {
        const std::wstring pattern = tileDomain_ + L"/tiles/" + letter;
        const std::size_t at = page.find(pattern);
        if (at == std::wstring::npos) {
            continue;
        }
        const std::size_t query = page.find(L"?g=", at + pattern.size());
        if (query == std::wstring::npos) {
            continue;
        }
        std::wstring digits;
        for (std::size_t i = query + 3; i < page.size() && digits.size() < 10; ++i) {
            if (page[i] < L'0' || page[i] > L'9') {
                break;
            }
            digits.push_back(page[i]);
        }
        if (!digits.empty()) {
            return digits;
        }
    }
    return L"";
}
