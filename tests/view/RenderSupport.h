#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "TestSupport.h"
#include "testing/view/RenderRig.h"

// Helpers of the tests that render frames through the headless view.
namespace rendertest {

constexpr int GUARD_MS = 20000;  // only keeps a broken test from hanging

// Where the frames for a person to look at are written.
inline std::string screenshot(const std::string& name) {
    return (testsupport::binaryDir().parent_path() / "screenshots" / name).string();
}

// The colour a view pixel must have: the tile under it, by the projection.
inline Rgb expectedAt(fixture::RenderRig& rig, int x, int y) {
    MercatorCoords world;
    CoordinateUtils::screenToWorld(rig.viewManager->getCentrePoint(), {x, y}, world,
                                   rig.options.width, rig.options.height);
    const int zoom = rig.viewManager->getZoom();
    const std::int64_t n = CoordinateUtils::blocksPerSide(zoom);
    const std::int64_t tx = world.x >= 0 ? world.x / fixture::TileServer::SIDE : -1;
    const std::int64_t ty = world.y >= 0 ? world.y / fixture::TileServer::SIDE : -1;
    if (tx < 0 || ty < 0 || tx >= n || ty >= n) {
        return LumoraViewManager::NO_MAP_COLOUR;
    }
    return fixture::TileServer::colourOf(zoom, static_cast<int>(tx), static_cast<int>(ty));
}

// Pixels of the frame inside rect that differ from their tile's colour.
inline int wrongPixels(fixture::RenderRig& rig, const ILumoraImage& frame, const Rect& rect) {
    int wrong = 0;
    for (int y = rect.top; y < rect.bottom; ++y) {
        for (int x = rect.left; x < rect.right; ++x) {
            wrong += frame.getContext().getPixel(x, y) != expectedAt(rig, x, y) ? 1 : 0;
        }
    }
    return wrong;
}

// Until the drawing thread has drawn its markers for the view as it is.
inline bool waitForMarkers(fixture::RenderRig& rig, std::size_t count) {
    return testsupport::waitUntil(
        [&] {
            rig.view->renderFrame();
            return rig.view->markers().size() >= count;
        },
        GUARD_MS);
}

}  // namespace rendertest
