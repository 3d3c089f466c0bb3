#pragma once

#include <string>

#include "client/maps/BasicMapsLoader.h"

// The OpenStreetMap tile source (loader id 2, "openStreet"): road blocks (1) only, named
// "<level - 1>/<x>/<y>", without any version. The tile host comes from the setting
// "maps.openStreet.tileHost" when the source is created (its public tile server by default;
// it may carry "https://").
class OpenStreetMapsLoader : public BasicMapsLoader {
public:
    static constexpr const wchar_t* DEFAULT_TILE_HOST = L"https://tile.openstreetmap.org";

    OpenStreetMapsLoader();

    void getZoomInterval(int& minLevel, int& maxLevel, int mapType) override;
    void refresh(int, int, const WorldCoords&, IMapsLoaderManager*) override {}
    bool isMapTypeSupported(int mapType) override { return mapType == 1; }
    void getBlockURL(std::wstring& url, int mapType, const std::wstring& blockName) override;
    void updateVersion(int, int, const WorldCoords&) override {}
    void getTestURL(std::wstring& url, int mapType) override;
    std::unique_ptr<MapsDataTypes::ImageBlockProp> createBlockProp(int level, int x, int y,
                                                                   int mapType) override;
    void clearVersion() override {}
    void getName(std::wstring& name) override { name = L"openStreet"; }
    // The tile usage policy asks for this credit on the map itself.
    std::wstring getAttribution() override { return L"(c) OpenStreetMap contributors"; }
    int getLoaderId() override { return 2; }
    bool isValidImage(const std::string&) override { return true; }

private:
    std::wstring tileHost_;
};
