#include "client/maps/GoogleMapsLoader.h"

#include <new>

#include "kestra/Exceptions.h"
#include "kestra/Lexical.h"
#include "kestra/Log.h"
#include "kestra/Settings.h"

using kestra::Log;

namespace {

// "mt" for road blocks, "kh" for satellite blocks, nothing for other types.
std::wstring tilePrefix(int mapType) {
    if (mapType == 1 || mapType == 3) {
        return L"mt";
    }
    return mapType == 0 ? L"kh" : L"";
}

}  // namespace

GoogleMapsLoader::GoogleMapsLoader()
    : domain_(settingOr(L"maps.google.domain", DEFAULT_DOMAIN)),
      pageHost_(settingOr(L"maps.google.pageHost", DEFAULT_PAGE_HOST)) {}

void GoogleMapsLoader::getZoomInterval(int& minLevel, int& maxLevel, int mapType) {
    if (mapType == 0) {
        minLevel = 1;
        maxLevel = 20;
    } else if (isRoad(mapType)) {
        minLevel = 2;
        maxLevel = 18;
    } else {
        throw kestra::MapLoaderException("GoogleMapsLoader::getZoomInterval",
                                         "Unsupported map type");
    }
}

bool GoogleMapsLoader::isMapTypeSupported(int mapType) {
    return mapType == 0 || mapType == 1;
}

void GoogleMapsLoader::refresh(int mapType, int level, const WorldCoords& centre,
                               IMapsLoaderManager*) {
    updateVersion(mapType, level, centre);
}

void GoogleMapsLoader::updateVersion(int mapType, int level, const WorldCoords& centre) {
    if (!hasVersion()) {
        setVersion(getVersion(mapType, level, centre));
    }
}

void GoogleMapsLoader::getBlockURL(std::wstring& url, int mapType, const std::wstring& blockName) {
    const std::wstring prefix = tilePrefix(mapType);
    url = prefix + domain_ + L"//" + prefix + L"?n=404&v=" + getCurrentVersion() + blockName;
}

void GoogleMapsLoader::getTestURL(std::wstring& url, int mapType) {
    if (mapType == 0) {
        url = L"http://kh" + domain_ + L"/kh?n=404&t=t&v=" + getCurrentVersion();
    } else {
        url = L"http://mt" + domain_ + L"/mt?n=404&x=0&y=0&zoom=17&v=" + getCurrentVersion();
    }
}

std::wstring GoogleMapsLoader::getBlockNameByLevelAndBlockNumber(int level, int x, int y) {
    static const wchar_t symbols[4] = {L'q', L'r', L't', L's'};
    return L"t" + quadtreePath(level, x, y, symbols,
                               "GoogleMapsLoader::getBlockNameByLevelAndBlockNumber: level > "
                               "MAX_LEVELS_NUM.");
}

std::unique_ptr<MapsDataTypes::ImageBlockProp> GoogleMapsLoader::createBlockProp(int level, int x,
                                                                                 int y,
                                                                                 int mapType) {
    int wx = 0;
    int wy = 0;
    std::unique_ptr<MapsDataTypes::ImageBlockProp> block =
        newBlockProp(level, x, y, mapType, wx, wy, "GoogleMapsLoader::createBlockPropForRoadmap",
                     "while: new MapsDataTypes::ImageBlockProp().");
    if (isRoad(mapType)) {
        const int zoom = 18 - level;
        if (zoom < 0) {
            Log::error("GoogleMapsLoader::createBlockPropForRoadmap - bad zoom. Zoom = " +
                       kestra::toNarrowText(zoom));
        }
        block->name = L"&x=" + kestra::toText(wx) + L"&y=" + kestra::toText(wy) + L"&zoom=" +
                      kestra::toText(zoom);
        block->mapType = 1;
    } else {
        block->name = L"&t=" + getBlockNameByLevelAndBlockNumber(level, wx, wy);
        block->mapType = 0;
    }
    if (block->name.empty() || block->name == L"&t=") {
        Log::error("GoogleMapsLoader: Error block name.");
    }
    return block;
}

namespace {

// A version goes into addresses and into the cache index as one token: it must be short
// and plain. Anything else found on a page is not a version.
bool isPlainVersion(const std::wstring& text) {
    if (text.empty() || text.size() > 32) {
        return false;
    }
    for (wchar_t c : text) {
        const bool plain = (c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'z') ||
                           (c >= L'A' && c <= L'Z') || c == L'.' || c == L'_' || c == L'-';
        if (!plain) {
            return false;
        }
    }
    return true;
}

[[noreturn]] void versionFailure(bool http, const std::string& text) {
    Log::error("GoogleMapsLoader::getVersion: " + text);
    if (http) {
        throw kestra::HTTPException("GoogleMapsLoader::getVersion", text);
    }
    throw kestra::MapLoaderException("GoogleMapsLoader::getVersion", text);
}

}  // namespace

std::wstring GoogleMapsLoader::getVersion(int mapType, int level, const WorldCoords& centre) {
    const DecimalCoords decimal = toDecimal(centre);
    const std::wstring path = L"maps?q=" + kestra::toText(decimal.latitude) + L"," +
                              kestra::toText(decimal.longitude) + L"&z=" + kestra::toText(level);
    std::wstring contentType;
    int status = 0;
    const std::string body = loadPage(pageHost_, path, contentType, status);
    if (status != 200) {
        versionFailure(true, " HTTP not ok status.ERROR code = " + kestra::toNarrowText(status));
    }
    if (body.empty()) {
        versionFailure(true, "Load data size is 0.");
    }
    std::wstring version;
    if (isUnicode(contentType)) {
        version = findStrByPattern(decodeUnicode(body, contentType), mapType);
    } else {
        version = findStrByPattern(widen(body), mapType);
        if (version.empty()) {
            version = L"32";
        }
    }
    if (version.empty()) {
        versionFailure(false, "While  get version.");
    }
    return version;
}

// The page names its tile servers as, for road blocks,
// http://mt0<domain>/mt?n\x3d404\x26v\x3d<version>\x26... with the escapes as literal text.
std::wstring GoogleMapsLoader::findStrByPattern(const std::wstring& page, int mapType) const {
    const std::wstring server = mapType == 0 ? L"kh" : L"mt";
    const std::wstring extra = mapType == 0 ? L"m" : L"";
    const std::wstring ampersand = L"\\x26";
    for (int i = 0; i < 3; ++i) {
        const std::wstring pattern = L"http://" + server + extra + kestra::toText(i) + domain_ +
                                     L"/" + server + L"?n" + L"\\x3d" + L"404" + ampersand + L"v" +
                                     L"\\x3d";
        const std::size_t at = page.find(pattern);
        if (at == std::wstring::npos) {
            return L"";
        }
        const std::size_t start = at + pattern.size();
        const std::size_t end = page.find(ampersand, start);
        if (end != std::wstring::npos) {
            const std::wstring version = page.substr(start, end - start);
            return isPlainVersion(version) ? version : L"";
        }
    }
    return L"";
}
