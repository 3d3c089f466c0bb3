#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "client/maps/CoordinateUtils.h"
#include "client/maps/MapsDataTypes.h"

class IMapsLoaderManager;

// A tile source: how one web map service names its blocks, which map types and levels it
// offers, how its addresses are written and how its current tile version is found. A
// source loads and caches nothing itself; the maps loader does.
class IMapsLoader {
public:
    virtual ~IMapsLoader() = default;

    // Levels offered for a map type; throws kestra::MapLoaderException for a type the
    // source does not offer.
    virtual void getZoomInterval(int& minLevel, int& maxLevel, int mapType) = 0;
    // Finds the service's current version when none is stored (may fetch a page; throws
    // kestra::HTTPException or kestra::MapLoaderException when that fails).
    virtual void refresh(int mapType, int level, const WorldCoords& centre,
                         IMapsLoaderManager* manager) = 0;
    virtual bool isMapTypeSupported(int mapType) = 0;
    virtual int getBlockSideSize() = 0;
    // The address of a block (no scheme unless the configured host has one).
    virtual void getBlockURL(std::wstring& url, int mapType, const std::wstring& blockName) = 0;
    // As refresh.
    virtual void updateVersion(int mapType, int level, const WorldCoords& centre) = 0;
    // A fixed block address, with scheme, used to test whether the service answers.
    virtual void getTestURL(std::wstring& url, int mapType) = 0;
    virtual std::wstring getCurrentVersion() = 0;
    // A new block description with its name; x and y are kept as requested.
    virtual std::unique_ptr<MapsDataTypes::ImageBlockProp> createBlockProp(int level, int x, int y,
                                                                           int mapType) = 0;
    virtual void clearVersion() = 0;
    virtual void getName(std::wstring& name) = 0;
    // The credit line the service's terms ask for on the map ("(c) OpenStreetMap
    // contributors").
    virtual std::wstring getAttribution() = 0;
    virtual int getLoaderId() = 0;
    // Whether downloaded bytes are worth keeping as a block.
    virtual bool isValidImage(const std::string& data) = 0;
    // The manager whose services the source uses (not owned).
    virtual void setMapsLoaderManager(IMapsLoaderManager* manager) = 0;
};
