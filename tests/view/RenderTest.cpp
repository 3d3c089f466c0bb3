// Frames of the map view, rendered headless from the real tile server, cache, maps loader,
// block matrix and drawing thread, checked pixel by pixel.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "LogCapture.h"
#include "RenderSupport.h"
#include "client/maps/CacheManager.h"
#include "testing/view/MarkerArtwork.h"

using fixture::RenderRig;
using rendertest::expectedAt;
using rendertest::GUARD_MS;
using rendertest::wrongPixels;

namespace {

TEST(RenderTest, TilesAppearWhereTheProjectionPutsThem) {
    RenderRig rig;
    rig.start();
    ASSERT_TRUE(rig.waitForVisibleBlocks());
    const ILumoraImage& frame = rig.view->renderFrame();
    ASSERT_EQ(frame.getWidth(), 800);
    EXPECT_EQ(wrongPixels(rig, frame, Rect(0, 0, 800, 480)), 0);
    // The tile holding the view's centre is the one holding the stored centre.
    const MercatorCoords c = rig.project(rig.options.centre);
    EXPECT_EQ(frame.getContext().getPixel(400, 240),
              fixture::TileServer::colourOf(10, c.x / 256, c.y / 256));
    EXPECT_TRUE(rig.view->saveFrame(rendertest::screenshot("map_tiles.png")));
}

TEST(RenderTest, TheWorldBorderIsDrawnOnlyOnEdgesInsideTheView) {
    RenderRig::Options options;
    options.zoom = 2;  // the world is 512 pixels wide
    options.centre = fixture::degrees(1.0, 1.0);
    options.height = 600;
    RenderRig rig(options);
    rig.start();
    ASSERT_TRUE(rig.waitForVisibleBlocks());
    const ILumoraImage& tall = rig.view->renderFrame();
    const MercatorCoords c = rig.viewManager->getCentrePoint();
    const int left = 400 - c.x - 2;
    const int right = 400 - c.x + 512 + 2;
    const int top = 300 - c.y - 2;
    const int bottom = 300 - c.y + 512 + 2;
    const IDrawContext& dc = tall.getContext();
    const Rgb border = LumoraViewManager::BORDER_COLOUR;
    const Rgb none = LumoraViewManager::NO_MAP_COLOUR;
    // A 2-pixel pen on each edge line, the world inside, nothing drawn outside.
    for (int y : {top + 10, 300, bottom - 10}) {
        EXPECT_EQ(dc.getPixel(left - 1, y), border);
        EXPECT_EQ(dc.getPixel(left, y), border);
        EXPECT_EQ(dc.getPixel(left - 3, y), none);
        EXPECT_EQ(dc.getPixel(left + 3, y), expectedAt(rig, left + 3, y));
        EXPECT_EQ(dc.getPixel(right, y), border);
        EXPECT_EQ(dc.getPixel(right + 2, y), none);
    }
    for (int x : {left + 10, 400, right - 10}) {
        EXPECT_EQ(dc.getPixel(x, top), border);
        EXPECT_EQ(dc.getPixel(x, bottom), border);
        EXPECT_EQ(dc.getPixel(x, top - 3), none);
    }
    EXPECT_EQ(dc.getPixel(left - 20, top), none) << "each line is clipped to the world's edges";
    EXPECT_TRUE(rig.view->saveFrame(rendertest::screenshot("map_world_border.png")));

    // A view lower than the world: the top and bottom edges lie outside it.
    rig.options.height = 480;
    rig.view->setSize(800, 480);
    rig.view->logic()->resize(800, 480);
    ASSERT_TRUE(rig.waitForVisibleBlocks());
    const ILumoraImage& low = rig.view->renderFrame();
    int borderPixels = 0;
    for (int y = 0; y < 480; ++y) {
        for (int x = left + 4; x < right - 4; ++x) {
            borderPixels += low.getContext().getPixel(x, y) == border ? 1 : 0;
        }
    }
    EXPECT_EQ(borderPixels, 0);
    EXPECT_EQ(low.getContext().getPixel(left, 240), border);
}

TEST(RenderTest, ADragMovesThePictureAndTheMarkersByExactlyTheShift) {
    RenderRig rig;
    const MercatorCoords c = rig.project(rig.options.centre);
    MercatorCoords at;
    at.x = c.x + 120;
    at.y = c.y - 60;
    WorldCoords place;
    CoordinateUtils::mercatorProjectionToWorldCoords(at, 10, 256, place);
    rig.addContact(L"anna@lumora", place, LumoraContact::STATUS_ONLINE);
    rig.start();
    ASSERT_TRUE(rig.waitForVisibleBlocks());
    ASSERT_TRUE(rendertest::waitForMarkers(rig, 1));
    const MercatorCoords before = rig.view->markers().at(0).point;
    const ILumoraImage& first = rig.view->renderFrame();
    std::vector<Rgb> a(800 * 480);
    for (int y = 0; y < 480; ++y) {
        for (int x = 0; x < 800; ++x) {
            a[static_cast<std::size_t>(y * 800 + x)] = first.getContext().getPixel(x, y);
        }
    }

    const int dx = 37;
    const int dy = -23;
    IDrawLogic& logic = *rig.view->logic();
    logic.pressStarted({400, 240});
    logic.dragTo({400, 240});
    logic.dragTo({400 + dx, 240 + dy});
    logic.endDrag();
    logic.endPress();
    rig.view->renderFrame();
    const MercatorCoords after = rig.view->markers().at(0).point;
    EXPECT_EQ(after.x - before.x, dx) << "markers move with the picture at once";
    EXPECT_EQ(after.y - before.y, dy);

    ASSERT_TRUE(rig.waitForVisibleBlocks());
    const ILumoraImage& moved = rig.view->renderFrame();
    int wrong = 0;
    int compared = 0;
    for (int y = 0; y < 480; ++y) {
        for (int x = 0; x < 800; ++x) {
            const int ox = x - dx;
            const int oy = y - dy;
            const bool nearMarker = std::abs(x - after.x) < 40 && std::abs(y - after.y) < 40;
            if (ox < 0 || oy < 0 || ox >= 800 || oy >= 480 || nearMarker) {
                continue;
            }
            ++compared;
            wrong +=
                moved.getContext().getPixel(x, y) != a[static_cast<std::size_t>(oy * 800 + ox)];
        }
    }
    EXPECT_GT(compared, 300000);
    EXPECT_EQ(wrong, 0);
    // The strips the drag uncovered show their own tiles.
    EXPECT_EQ(wrongPixels(rig, moved, Rect(0, 0, dx, 480)), 0);
    EXPECT_EQ(wrongPixels(rig, moved, Rect(0, 480 + dy, 800, 480)), 0);
}

TEST(RenderTest, MarkersAndGroupLabelsSitAtTheProjectedPositions) {
    RenderRig::Options options;
    options.zoom = 14;
    RenderRig rig(options);
    const MercatorCoords c = rig.project(options.centre);
    auto placeAt = [&](int x, int y) {
        WorldCoords place;
        CoordinateUtils::mercatorProjectionToWorldCoords({c.x + x, c.y + y}, 14, 256, place);
        return place;
    };
    rig.addContact(L"anna@lumora", placeAt(-200, -100), LumoraContact::STATUS_ONLINE);
    rig.addContact(L"bob@lumora", placeAt(150, 90), LumoraContact::STATUS_ONLINE);
    rig.addContact(L"carl@lumora", placeAt(152, 94), LumoraContact::STATUS_OFFLINE);
    rig.addContact(L"dora@lumora", placeAt(156, 92), LumoraContact::STATUS_UNAVAILABLE);
    rig.profile->setNick(L"me");
    rig.start();
    rig.viewManager->setOwnPosition(placeAt(-50, 120));
    ASSERT_TRUE(rig.waitForVisibleBlocks());
    ASSERT_TRUE(rendertest::waitForMarkers(rig, 3));
    const ILumoraImage& frame = rig.view->renderFrame();
    const IDrawContext& dc = frame.getContext();

    auto screen = [&](int x, int y) { return MercatorCoords{400 + x, 240 + y}; };
    const auto markers = rig.view->markers();
    ASSERT_EQ(markers.size(), 3u);
    std::map<int, fixture::HeadlessMapsView::Marker> byKind;
    for (const auto& m : markers) {
        byKind[m.kind] = m;
    }
    ASSERT_EQ(byKind.count(IDrawContactsToMap::CONTACT_ONLINE), 1u);
    EXPECT_EQ(byKind[IDrawContactsToMap::CONTACT_ONLINE].point, screen(-200, -100));
    EXPECT_EQ(byKind[IDrawContactsToMap::CONTACT_ONLINE].label, L"anna");
    ASSERT_EQ(byKind.count(IDrawContactsToMap::GROUP_SOME_ONLINE), 1u);
    const auto group = byKind[IDrawContactsToMap::GROUP_SOME_ONLINE];
    EXPECT_EQ(group.label, L"3");
    EXPECT_NEAR(group.point.x, screen(153, 92).x, 2);
    EXPECT_NEAR(group.point.y, screen(153, 92).y, 2);
    ASSERT_EQ(byKind.count(IDrawContactsToMap::OWN_OFFLINE), 1u);
    EXPECT_EQ(byKind[IDrawContactsToMap::OWN_OFFLINE].point, screen(-50, 120));

    // The marker images at those points, and the label boxes below them.
    for (const auto& m : markers) {
        EXPECT_EQ(dc.getPixel(m.point.x, m.point.y), fixture::MarkerArtwork::colourOf(m.kind));
        int w = 0;
        int h = 0;
        auto probe = rig.factory.createEmptyImage(1, 1, 0);
        ASSERT_TRUE(probe->getContext().measureText(m.label, TextStyle{11, true}, w, h));
        const Rect box = rig.markers->labelBox(m.kind, m.point, w, h);
        EXPECT_EQ(dc.getPixel(box.left, box.top), MapMarkers::LABEL_PEN);
        EXPECT_EQ(dc.getPixel(box.right - 1, box.bottom - 1), MapMarkers::LABEL_PEN);
        const Rgb brush = m.kind == IDrawContactsToMap::GROUP_SOME_ONLINE
                              ? MapMarkers::GROUP_BRUSH
                              : MapMarkers::CONTACT_BRUSH;
        EXPECT_EQ(dc.getPixel(box.left + 2, box.top + 2), brush);
        int ink = 0;
        for (int y = box.top + 1; y < box.bottom - 1; ++y) {
            for (int x = box.left + 1; x < box.right - 1; ++x) {
                ink += redOf(dc.getPixel(x, y)) < 100 ? 1 : 0;
            }
        }
        EXPECT_GT(ink, 10) << "the label's text";
    }
    EXPECT_TRUE(rig.view->saveFrame(rendertest::screenshot("map_markers.png")));
}

TEST(RenderTest, DecodingNeverHappensOnTheWindowsThread) {
    RenderRig rig;
    const MercatorCoords c = rig.project(rig.options.centre);
    rig.tiles.serveAround(10, {c.x + 600, c.y + 200}, 800, 480);  // where the drags lead
    rig.tiles.serveAround(11, {2 * c.x, 2 * c.y}, 800, 480);
    std::thread controller([&] { rig.start(); });  // the controller sets up
    controller.join();
    ASSERT_TRUE(rig.waitForVisibleBlocks());
    const long atStart = rig.factory.decodes();
    EXPECT_GT(atStart, 0);
    // The window's thread (this one): paints, drags far enough to need new blocks, resizes,
    // taps and asks for a zoom.
    IDrawLogic& logic = *rig.view->logic();
    rig.view->renderFrame(true);
    logic.pressStarted({400, 240});
    // Away and back: the way back needs blocks that left the matrix but are in the cache.
    for (int step = 0; step <= 20; ++step) {
        const int k = step <= 10 ? step : 20 - step;
        logic.dragTo({400 - k * 60, 240 - k * 20});
        rig.view->renderFrame();
        if (step == 10) {
            ASSERT_TRUE(rig.waitForVisibleBlocks());
        }
    }
    logic.endDrag();
    logic.tap({400, 240});
    logic.endPress();
    ASSERT_TRUE(rig.waitForVisibleBlocks());
    const long afterDrags = rig.factory.decodes();
    EXPECT_GT(afterDrags, atStart) << "the dragged-in blocks";
    rig.view->setSize(640, 400);
    logic.resize(640, 400);
    rig.options.width = 640;
    rig.options.height = 400;
    logic.requestZoom(IMapsLoaderManager::ZOOM_IN);
    ASSERT_TRUE(testsupport::waitUntil([&] { return rig.maps->getLevel() == 11; }, GUARD_MS));
    ASSERT_TRUE(rig.waitForVisibleBlocks());
    rig.view->renderFrame(true);
    EXPECT_GT(rig.factory.decodes(), afterDrags) << "the new level's blocks";
    EXPECT_FALSE(rig.factory.decodedOn(std::this_thread::get_id()));
}

TEST(RenderTest, BadTilesAndContactsAreLoggedAndTheRestIsDrawn) {
    LogCapture log;
    RenderRig rig;
    const MercatorCoords c = rig.project(rig.options.centre);
    const int cx = c.x / 256;
    const int cy = c.y / 256;
    rig.tiles.serveBytes(10, cx, cy, "<html>login page</html>");
    // A tile of 512 pixels is drawn at the block's 256.
    rig.tiles.serveBytes(
        10, cx + 1, cy,
        fixture::TileServer::png(fixture::TileServer::colourOf(10, cx + 1, cy), 512));
    rig.addContact(L"nowhere@lumora", WorldCoords(), LumoraContact::STATUS_ONLINE);
    rig.addContact(L"pole@lumora", fixture::degrees(89.9, 13.4), LumoraContact::STATUS_ONLINE);
    rig.addContact(L"here@lumora", rig.options.centre, LumoraContact::STATUS_ONLINE);
    rig.start();
    ASSERT_TRUE(testsupport::waitUntil(
        [&] { return log.contains("MapsManager::cacheMapBlock block was loaded from internet."); },
        GUARD_MS));
    EXPECT_TRUE(log.contains("[ERROR] QuadTree::addEllement bad coordinates: pole@lumora"));
    ASSERT_TRUE(rendertest::waitForMarkers(rig, 1));
    ASSERT_TRUE(testsupport::waitUntil(
        [&] { return rig.maps->getCellState(4, 3) == BlockMatrix::PRESENT; }, GUARD_MS));
    const ILumoraImage& frame = rig.view->renderFrame();
    EXPECT_EQ(rig.view->markers().size(), 1u) << "only the contact with a place on the map";
    // The undecodable block stays "no map" (and is asked for again); the big one is scaled.
    MercatorCoords corner;
    CoordinateUtils::worldToScreen(c, {cx * 256, cy * 256}, corner, 800, 480);
    EXPECT_EQ(frame.getContext().getPixel(corner.x + 5, corner.y + 20),
              LumoraViewManager::NO_MAP_COLOUR);
    EXPECT_EQ(frame.getContext().getPixel(corner.x + 256 + 5, corner.y + 20),
              fixture::TileServer::colourOf(10, cx + 1, cy));
    EXPECT_EQ(frame.getContext().getPixel(corner.x + 256 + 120, corner.y + 200),
              fixture::TileServer::colourOf(10, cx + 1, cy));
    // Around the hole the map fills in.
    ASSERT_TRUE(rig.waitForVisibleBlocks(GUARD_MS, 3, 3));
    EXPECT_EQ(rig.maps->getCellState(3, 3) == BlockMatrix::PRESENT, false);
    rig.view->renderFrame();
    EXPECT_TRUE(rig.view->saveFrame(rendertest::screenshot("map_bad_tiles.png")));
}

TEST(RenderTest, EmptyAndHugeViewsAndTheOuterZoomsDrawWhatTheyCan) {
    LogCapture log;
    {
        RenderRig::Options options;
        options.width = 0;
        options.height = 0;
        RenderRig rig(options);
        rig.start();
        rig.view->renderFrame();
        EXPECT_EQ(rig.view->frame(), nullptr);
        EXPECT_TRUE(log.contains("[ERROR] WinCEImageFactory::createBMPBufferAndDC == NULL."));
        rig.view->logic()->dragTo({10, 10});
        rig.view->logic()->tap({0, 0});
    }
    {
        RenderRig::Options options;
        options.width = 4000;
        options.height = 4000;
        RenderRig rig(options);
        rig.start();
        ASSERT_TRUE(testsupport::waitUntil(
            [&] {
                for (int k = 0; k < 4; ++k) {
                    if (rig.maps->getCellState(2 + k % 2, 2 + k / 2) != BlockMatrix::PRESENT) {
                        return false;
                    }
                }
                return true;
            },
            GUARD_MS));
        const ILumoraImage& frame = rig.view->renderFrame();
        ASSERT_EQ(frame.getWidth(), 4000);
        // The matrix of 6 x 6 blocks covers the middle of such a view; the rest has no map.
        EXPECT_EQ(wrongPixels(rig, frame, Rect(1800, 1800, 2200, 2200)), 0);
        EXPECT_EQ(frame.getContext().getPixel(5, 5), LumoraViewManager::NO_MAP_COLOUR);
    }
    RenderRig rig;
    rig.start();
    ASSERT_TRUE(rig.waitForVisibleBlocks());
    LumoraViewManager& vm = *rig.viewManager;
    // Zoom 25: no tiles from 25 down to the current level; zoom 1: the source starts at 2.
    rig.view->setZoomSliderLevel(25);
    vm.requestZoom(IMapsLoaderManager::ZOOM_TO_SLIDER);
    ASSERT_TRUE(testsupport::waitUntil(
        [&] { return vm.getStatusText() == L"No map at this zoom level."; }, GUARD_MS));
    EXPECT_EQ(vm.getZoom(), 10);
    rig.tiles.serveAround(2, rig.project(rig.options.centre, 2), 800, 480);
    rig.view->setZoomSliderLevel(1);
    vm.requestZoom(IMapsLoaderManager::ZOOM_TO_SLIDER);
    ASSERT_TRUE(testsupport::waitUntil([&] { return rig.maps->getLevel() == 2; }, GUARD_MS));
    EXPECT_EQ(vm.getZoom(), 2);
    rig.options.zoom = 2;
    ASSERT_TRUE(rig.waitForVisibleBlocks());
    // The world of 512 pixels (inside its border) and the grey around it.
    const MercatorCoords centre = vm.getCentrePoint();
    const int left = 400 - centre.x;
    const int top = 240 - centre.y;
    const ILumoraImage& frame = rig.view->renderFrame();
    EXPECT_EQ(wrongPixels(rig, frame, Rect(left + 2, std::max(top + 2, 0), left + 510, 440)), 0);
    EXPECT_EQ(wrongPixels(rig, frame, Rect(0, 0, left - 4, 440)), 0);
}

}  // namespace
