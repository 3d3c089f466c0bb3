#pragma once

#include <string>

#include "client/maps/BasicMapsLoader.h"

// The Microsoft tile source (loader id 1, "microsoft"): satellite (0), road (1) and hybrid
// (2) blocks named by a type letter and a quadkey of "0" to "3". The version is read from
// the service's page ("282" when the page names none). Blank "no imagery" tiles are
// recognised by their MD5 digest and not kept.
//
// Hosts come from the settings when the source is created: "maps.microsoft.tileHost",
// "maps.microsoft.tileDomain" (the suffix, starting with a dot, with which the tile hosts
// named on the page end) and "maps.microsoft.pageHost".
class MicrosoftMapsLoader : public BasicMapsLoader {
public:
    static constexpr const wchar_t* DEFAULT_TILE_HOST = L"ecn.t0.tiles.virtualearth.net";
    static constexpr const wchar_t* DEFAULT_TILE_DOMAIN = L".tiles.virtualearth.net";
    static constexpr const wchar_t* DEFAULT_PAGE_HOST = L"www.bing.com";
    static constexpr const wchar_t* DEFAULT_VERSION = L"282";
    static constexpr const char* BLANK_TILE_MD5 = "c13269481c73de6e18589f9fbc3bdf7e";

    MicrosoftMapsLoader();

    void getZoomInterval(int& minLevel, int& maxLevel, int mapType) override;
    void refresh(int mapType, int level, const WorldCoords& centre,
                 IMapsLoaderManager* manager) override;
    bool isMapTypeSupported(int mapType) override;
    void getBlockURL(std::wstring& url, int mapType, const std::wstring& blockName) override;
    void updateVersion(int mapType, int level, const WorldCoords& centre) override;
    void getTestURL(std::wstring& url, int mapType) override;
    std::unique_ptr<MapsDataTypes::ImageBlockProp> createBlockProp(int level, int x, int y,
                                                                   int mapType) override;
    void clearVersion() override {}
    void getName(std::wstring& name) override { name = L"microsoft"; }
    std::wstring getAttribution() override { return L"(c) Microsoft"; }
    int getLoaderId() override { return 1; }
    bool isValidImage(const std::string& data) override;

    // The type letter ("r" road, "a" satellite, "h" hybrid) and one quadkey digit per
    // level below the first.
    static std::wstring getBlockNameByLevelAndBlockNumber(int level, int x, int y, int mapType);

    // Fetches the page and reads the version. Throws kestra::MapLoaderException for a bad
    // reply.
    std::wstring getVersionFromURL();
    // The first run of up to 10 digits after tileDomain + "/tiles/" + letter and "?g=", for
    // the letters r, a, h in turn; empty when there is none.
    std::wstring findVersion(const std::wstring& page) const;

private:
    std::wstring tileHost_;
    std::wstring tileDomain_;
    std::wstring pageHost_;
};
