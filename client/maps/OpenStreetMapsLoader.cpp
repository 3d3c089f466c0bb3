#include "client/maps/OpenStreetMapsLoader.h"

#include "client/maps/HTTPHandler.h"
#include "kestra/Lexical.h"

OpenStreetMapsLoader::OpenStreetMapsLoader()
    : tileHost_(settingOr(L"maps.openStreet.tileHost", DEFAULT_TILE_HOST)) {}

void OpenStreetMapsLoader::getZoomInterval(int& minLevel, int& maxLevel, int) {
    minLevel = 2;
    maxLevel = 20;
}

void OpenStreetMapsLoader::getBlockURL(std::wstring& url, int, const std::wstring& blockName) {
    url = tileHost_ + L"/" + blockName + L".png";
}

void OpenStreetMapsLoader::getTestURL(std::wstring& url, int) {
    url = HTTPHandler::completeUrl(tileHost_ + L"/0/0/0.png");
}

std::unique_ptr<MapsDataTypes::ImageBlockProp> OpenStreetMapsLoader::createBlockProp(int level,
                                                                                     int x, int y,
                                                                                     int mapType) {
    int wx = 0;
    int wy = 0;
    std::unique_ptr<MapsDataTypes::ImageBlockProp> block = newBlockProp(
        level, x, y, mapType, wx, wy, "OpenStreetMapsLoader::createBlockPropForRoadmap",
        "while: new OpenStreetImageBlockProp()");
    block->name = kestra::toText(level - 1) + L"/" + kestra::toText(wx) + L"/" + kestra::toText(wy);
    return block;
}
