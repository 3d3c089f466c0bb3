#pragma once

#include <cstdint>
#include <string>

struct LoadedBlock;

namespace MapsDataTypes {

// Map types shared by the sources, the view and the settings.
enum MapType { MAP_SATELLITE = 0, MAP_ROADMAP = 1, MAP_HYBRID = 2, MAP_ROADMAP_ALIAS = 3 };

// One map block as a tile source names it. Created by a source (createBlockProp) and owned
// by whoever asked for it.
struct ImageBlockProp {
    // The source's own block name (query part or path part of its address).
    std::wstring name;
    // Block column and row at the level as requested (not wrapped; the name uses the
    // wrapped numbers).
    std::int32_t x = 0;
    std::int32_t y = 0;
    std::int32_t mapType = 0;
    // After a download: the part of the Content-Type after "image/" (e.g. "png").
    std::wstring imageType;
    // The source's getName; the tile cache keys its items by it.
    std::wstring loaderName;
    std::int32_t level = 0;
};

// Receives finished blocks from the maps loader (the block matrix does), on the loader's
// thread.
class IMapsHandler {
public:
    virtual ~IMapsHandler() = default;
    // The block's data may be moved out: it belongs to the receiver.
    virtual void onBlockLoaded(LoadedBlock& block) = 0;
    // About once a second while the loader runs.
    virtual void onLoaderTick() = 0;
};

}  // namespace MapsDataTypes
