#pragma once

#include <string>

#include "client/maps/BasicMapsLoader.h"

// The Google tile source (loader id 0, "google"): satellite (0) and road (1; 3 is an alias)
// blocks. Road blocks are named by column, row and an inverted zoom, satellite blocks by a
// quadtree path of "q", "r", "t", "s". The version is found on the maps page and
// forgotten when the map type changes.
//
// Hosts come from the settings when the source is created: "maps.google.domain" (the
// domain suffix, starting with a dot: road tiles come from "mt" + it, satellite tiles from
// "kh" + it) and "maps.google.pageHost" (the maps page).
class GoogleMapsLoader : public BasicMapsLoader {
public:
    static constexpr const wchar_t* DEFAULT_DOMAIN = L".google.com";
    static constexpr const wchar_t* DEFAULT_PAGE_HOST = L"maps.google.com";

    GoogleMapsLoader();

    void getZoomInterval(int& minLevel, int& maxLevel, int mapType) override;
    void refresh(int mapType, int level, const WorldCoords& centre,
                 IMapsLoaderManager* manager) override;
    bool isMapTypeSupported(int mapType) override;
    void getBlockURL(std::wstring& url, int mapType, const std::wstring& blockName) override;
    void updateVersion(int mapType, int level, const WorldCoords& centre) override;
    void getTestURL(std::wstring& url, int mapType) override;
    std::unique_ptr<MapsDataTypes::ImageBlockProp> createBlockProp(int level, int x, int y,
                                                                   int mapType) override;
    void clearVersion() override { setVersion(L""); }
    void getName(std::wstring& name) override { name = L"google"; }
    std::wstring getAttribution() override { return L"(c) Google"; }
    int getLoaderId() override { return 0; }
    bool isValidImage(const std::string&) override { return true; }

    // "t" followed by one of q, r, t, s per level below the first.
    static std::wstring getBlockNameByLevelAndBlockNumber(int level, int x, int y);

    // Fetches the maps page around centre and reads the version from it. Throws
    // kestra::HTTPException for a bad reply and kestra::MapLoaderException when no version
    // is found.
    std::wstring getVersion(int mapType, int level, const WorldCoords& centre);
    // The version in a page: the text after the first server's tile address up to the
    // next "\x26". Empty when not found.
    std::wstring findStrByPattern(const std::wstring& page, int mapType) const;

private:
    static bool isRoad(int mapType) { return mapType == 1 || mapType == 3; }

    std::wstring domain_;
    std::wstring pageHost_;
};
