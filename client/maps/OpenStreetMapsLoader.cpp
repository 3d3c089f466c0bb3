#include "client/maps/OpenStreetMapsLoader.h"

#include <new>

#include "client/maps/HTTPHandler.h"
#include "kestra/Exceptions.h"
#include "kestra/Lexical.h"
#include "kestra/Log.h"
#include "kestra/Settings.h"

OpenStreetMapsLoader::OpenStreetMapsLoader() : tileHost_(DEFAULT_TILE_HOST) {
    std::wstring host;
    if (kestra::Settings::isReady() &&
        kestra::Settings::getStringValue(L"maps.openStreet.tileHost", &host) && !host.empty()) {
        tileHost_ = host;
    }
}

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
    int wx = x;
    int wy = y;
    wrap(wx, wy, level);
    std::unique_ptr<MapsDataTypes::ImageBlockProp> block;
    try {
        block = std::make_unique<MapsDataTypes::ImageBlockProp>();
    } catch (const std::bad_alloc&) {
        throw kestra::NullPointerException("OpenStreetMapsLoader::createBlockPropForRoadmap",
                                           "while: new OpenStreetImageBlockProp()");
    }
    block->name = kestra::toText(level - 1) + L"/" + kestra::toText(wx) + L"/" + kestra::toText(wy);
    if (block->name.empty()) {
        kestra::Log::error("OpenStreetMapsLoader: Error block name.");
    }
    block->x = x;
    block->y = y;
    block->mapType = mapType;
    block->level = level;
    return block;
}
