// The view manager on the whole headless stack: first start, saving, zoom with its
// fallback and animation rule, the centring modes under drags and pans, the world's edges,
// taps and info windows, and switching the tile source.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "LogCapture.h"
#include "RenderSupport.h"
#include "kestra/Settings.h"
#include "kestra/TextCodec.h"

using fixture::RenderRig;
using kestra::Settings;
using rendertest::GUARD_MS;

namespace {

int intSetting(const wchar_t* key) {
    return Settings::getIntValue(key, -99);
}

// Waits until the view shows a picture at the level.
bool atLevel(RenderRig& rig, int level) {
    return testsupport::waitUntil(
        [&] {
            return rig.maps->getLevel() == level && rig.viewManager->getZoom() == level &&
                   rig.view->getZoomSliderLevel() == level;
        },
        GUARD_MS);
}

TEST(ViewManagerTest, AFirstStartTakesTheDefaultsAndTheSavedViewIsWhatWasShown) {
    RenderRig::Options options;
    options.writeView = false;
    options.loaderMode = -1;
    options.serveTiles = false;
    RenderRig rig(options);
    rig.start();
    LumoraViewManager& vm = *rig.viewManager;
    EXPECT_EQ(vm.getZoom(), 3);
    EXPECT_EQ(vm.getCentringMode(), LumoraViewManager::KEEP_POINT);
    EXPECT_EQ(vm.getLoaderMode(), 0);
    EXPECT_EQ(intSetting(L"lastZoom"), 3);
    EXPECT_EQ(intSetting(L"maps.loaderMode"), 0);
    WorldCoords defaultCentre;
    defaultCentre.latDegrees = 45;
    defaultCentre.latMinutes = 5.34213;
    defaultCentre.lonDegrees = 102;
    defaultCentre.lonMinutes = 8.0;
    defaultCentre.longitudeType = 1;
    EXPECT_EQ(vm.getCentrePoint(), rig.project(defaultCentre, 3));
    // OpenStreetMap has no satellite map: the message says so.
    EXPECT_EQ(vm.getMessageText(), L"Can't load map.");

    vm.pan(40, -30);
    vm.save();
    EXPECT_EQ(intSetting(L"lastZoom"), 3);
    EXPECT_EQ(intSetting(L"mapPosition"), LumoraViewManager::KEEP_POINT);
    WorldCoords saved;
    ASSERT_TRUE(CoordinateUtils::readFromSettings(L"userLastViewCoord", saved));
    MercatorCoords expected = rig.project(defaultCentre, 3);
    expected.x += 40;
    expected.y -= 30;
    EXPECT_EQ(rig.project(saved, 3), expected) << "the centre that was shown";
}

TEST(ViewManagerTest, ZoomFallsBackToLevelsWithTilesAndAnimatesByTheRule) {
    RenderRig::Options options;
    options.zoom = 19;
    RenderRig rig(options);
    rig.start();
    ASSERT_TRUE(rig.waitForVisibleBlocks());
    LumoraViewManager& vm = *rig.viewManager;
    // No tiles above 19 here: the level stays and the view says why.
    vm.requestZoom(IMapsLoaderManager::ZOOM_IN);
    ASSERT_TRUE(testsupport::waitUntil(
        [&] { return vm.getStatusText() == L"No map at this zoom level."; }, GUARD_MS));
    EXPECT_EQ(vm.getZoom(), 19);
    EXPECT_EQ(rig.view->getZoomSliderLevel(), 19);
    EXPECT_EQ(rig.view->animationFrames(), 0);

    for (int level = 14; level <= 18; ++level) {
        rig.tiles.serveAround(level, rig.project(options.centre, level), 800, 480);
    }
    // Zooming out animates when 2^levels is below 9, zooming in when it is below 5.
    const struct {
        int to;
        bool animates;
    } steps[] = {{18, true}, {14, false}, {18, false}, {15, true},
                 {17, true}, {14, true},  {17, false}};
    for (const auto& step : steps) {
        const int frames = rig.view->animationFrames();
        rig.view->setZoomSliderLevel(step.to);
        vm.requestZoom(IMapsLoaderManager::ZOOM_TO_SLIDER);
        ASSERT_TRUE(atLevel(rig, step.to)) << step.to;
        // The slider moves just before the notice goes: a zoom that worked clears it.
        ASSERT_TRUE(testsupport::waitUntil([&] { return vm.getStatusText().empty(); }, GUARD_MS))
            << "to " << step.to << ": "
            << std::string(vm.getStatusText().begin(), vm.getStatusText().end());
        EXPECT_EQ(rig.view->animationFrames() - frames,
                  step.animates ? LumoraViewManager::ANIMATION_STEPS : 0)
            << "to " << step.to;
    }
    ASSERT_TRUE(rig.waitForVisibleBlocks());
    EXPECT_EQ(rendertest::wrongPixels(rig, rig.view->renderFrame(), Rect(0, 0, 800, 480)), 0);
}

TEST(ViewManagerTest, FollowingEndsOnADragAndStopsAtTheWorldsEdge) {
    RenderRig::Options options;
    options.zoom = 2;  // a world of 512 pixels in a view of 800 x 480
    options.centre = fixture::degrees(1.0, 1.0);
    options.centringMode = LumoraViewManager::FOLLOW_OWN;
    RenderRig rig(options);
    rig.start();
    ASSERT_TRUE(rig.waitForVisibleBlocks());
    LumoraViewManager& vm = *rig.viewManager;
    EXPECT_EQ(vm.getPanThreshold(), 400) << "a screen larger than 240 x 320";
    // Following (without a position yet) the world's top edge may come up to the view's.
    vm.pan(0, -100);
    EXPECT_EQ(vm.getCentrePoint().y, 240);
    vm.pan(0, -10);
    EXPECT_EQ(vm.getCentrePoint().y, 240) << "not beyond";
    vm.pan(0, 100);
    EXPECT_EQ(vm.getCentrePoint().y, 512 - 240);

    // With an own position the view follows it...
    const WorldCoords own = fixture::degrees(10.0, 20.0);
    vm.setOwnPosition(own);
    EXPECT_EQ(vm.getCentringMode(), LumoraViewManager::FOLLOW_OWN);
    // The world is narrower than the view: only the rows can follow.
    MercatorCoords ownScreen;
    CoordinateUtils::worldToScreen(vm.getCentrePoint(), rig.project(own), ownScreen, 800, 480);
    EXPECT_EQ(vm.getOwnViewPoint(), ownScreen);
    EXPECT_EQ(ownScreen.y, 240);
    // ...until the user drags: then it keeps its centre and offers the way back.
    const int offers = rig.view->returnControlOffers();
    IDrawLogic& logic = *rig.view->logic();
    logic.pressStarted({300, 200});
    logic.dragTo({300, 200});
    logic.dragTo({300, 190});
    EXPECT_EQ(vm.getCentringMode(), LumoraViewManager::KEEP_POINT);
    EXPECT_GT(rig.view->returnControlOffers(), offers);
    // Keeping its centre, a pan past the edge does not move that axis at all.
    const MercatorCoords kept = vm.getCentrePoint();
    vm.pan(0, 40);
    EXPECT_EQ(vm.getCentrePoint(), kept);
    vm.pan(-900, 0);
    EXPECT_EQ(vm.getCentrePoint(), kept);
}

TEST(ViewManagerTest, AStoredCentreIsKeptUntilAPanMovesItFurtherThanTenPixels) {
    RenderRig::Options options;
    options.screenWidth = 240;  // a small screen: the threshold is 10 pixels
    options.screenHeight = 320;
    RenderRig rig(options);
    rig.start();
    LumoraViewManager& vm = *rig.viewManager;
    EXPECT_EQ(vm.getPanThreshold(), 100);
    vm.centreOn(fixture::degrees(52.50, 13.30));
    EXPECT_EQ(vm.getCentringMode(), LumoraViewManager::KEEP_POSITION);
    vm.pan(6, 8);  // 10 pixels
    EXPECT_EQ(vm.getCentringMode(), LumoraViewManager::KEEP_POSITION);
    vm.pan(1, 0);
    EXPECT_EQ(vm.getCentringMode(), LumoraViewManager::KEEP_POINT);
}

TEST(ViewManagerTest, ATapOpensTheInfoWindowInsideTheDisplayAndADragOpensNone) {
    RenderRig::Options options;
    options.zoom = 14;
    RenderRig rig(options);
    const MercatorCoords c = rig.project(options.centre);
    auto placeAt = [&](int x, int y) {
        WorldCoords place;
        CoordinateUtils::mercatorProjectionToWorldCoords({c.x + x, c.y + y}, 14, 256, place);
        return place;
    };
    auto corner = rig.addContact(L"corner@lumora", placeAt(388, 228), LumoraContact::STATUS_ONLINE);
    auto pictured = rig.addContact(L"pic@lumora", placeAt(-300, -150), LumoraContact::STATUS_AWAY);
    std::filesystem::create_directories(
        std::filesystem::path(pictured->getAvatarPath()).parent_path());
    std::ofstream(std::filesystem::path(pictured->getAvatarPath())) << "jpeg";
    rig.addContact(L"g1@lumora", placeAt(0, -100), LumoraContact::STATUS_ONLINE);
    rig.addContact(L"g2@lumora", placeAt(3, -102), LumoraContact::STATUS_OFFLINE);
    rig.start();
    ASSERT_TRUE(rendertest::waitForMarkers(rig, 3));
    IDrawLogic& logic = *rig.view->logic();
    auto tapAt = [&](MercatorCoords p) {
        logic.pressStarted(p);
        logic.endDrag();
        logic.tap(p);
        logic.endPress();
    };

    // Near the bottom-right corner the window is moved inside the display.
    tapAt({400 + 388, 240 + 228});
    ASSERT_TRUE(rig.withoutPhoto.isShown());
    EXPECT_EQ(rig.withoutPhoto.contact(), corner);
    EXPECT_EQ(rig.withoutPhoto.x(), 800 - 100);
    EXPECT_EQ(rig.withoutPhoto.y(), 480 - 50);
    EXPECT_TRUE(rig.viewManager->isInfoWindowShown());

    // A contact with a photo gets the window with the photo; the other one goes.
    tapAt({400 - 300 + 2, 240 - 150 - 3});
    ASSERT_TRUE(rig.withPhoto.isShown());
    EXPECT_FALSE(rig.withoutPhoto.isShown());
    EXPECT_EQ(rig.withPhoto.contact(), pictured);
    EXPECT_EQ(rig.withPhoto.x(), 400 - 300 - 60);
    EXPECT_EQ(rig.withPhoto.y(), 240 - 150 + 10);

    // A group opens the list of its contacts.
    tapAt({401, 240 - 101});
    ASSERT_TRUE(rig.group.isShown());
    auto names = rig.group.names();
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::wstring>{L"g1", L"g2"}));
    rig.group.hide();

    // Moving between press and release is a drag, not a tap.
    logic.pressStarted({401, 139});
    logic.dragTo({401, 139});
    logic.dragTo({406, 139});
    logic.dragTo({401, 139});
    logic.endDrag();
    logic.tap({401, 139});
    logic.endPress();
    EXPECT_FALSE(rig.group.isShown());

    // Above the marker when asked for, below it when there is no room above.
    int x = 0;
    int y = 0;
    LumoraViewManager::placeInfoWindow({100, 200}, 120, 60, 800, 480, 20, true, x, y);
    EXPECT_EQ(x, 340);
    EXPECT_EQ(y, 200 - 3 - 60);
    LumoraViewManager::placeInfoWindow({100, 30}, 120, 60, 800, 480, 20, true, x, y);
    EXPECT_EQ(y, 30 + 20 + 3);
}

TEST(ViewManagerTest, ASourceThatCannotGiveTheMapIsRolledBack) {
    RenderRig rig;
    Settings::setStringValue(L"maps.microsoft.tileHost",
                             kestra::utf8ToWide(rig.tiles.http().hostAndPort()));
    rig.start();
    ASSERT_TRUE(rig.waitForVisibleBlocks());
    LogCapture log;
    // Google has no hybrid map: the switch fails and OpenStreetMap comes back.
    rig.loader->requestLoaderChange(0, MapsDataTypes::MAP_HYBRID);
    ASSERT_TRUE(testsupport::waitUntil([&] { return rig.listener.loaded == 1; }, GUARD_MS));
    EXPECT_EQ(rig.listener.loading, 1);
    EXPECT_EQ(MapsLoaderManager::getCurrentLoader()->getLoaderId(), 2);
    EXPECT_EQ(rig.viewManager->getLoaderMode(), 1);
    EXPECT_EQ(intSetting(L"maps.loaderName"), 2);
    EXPECT_EQ(intSetting(L"maps.loaderMode"), 1);
    EXPECT_EQ(rig.viewManager->getStatusText(), L"Can't load map.");
    EXPECT_TRUE(log.contains(
        "[ERROR]  ApplicationManager::runApplication change mapLoader: can not change to new "
        "loader. "));
    ASSERT_TRUE(rig.waitForVisibleBlocks());
    // (The status text covers the bottom of the view.)
    EXPECT_EQ(rendertest::wrongPixels(rig, rig.view->renderFrame(), Rect(0, 0, 800, 450)), 0)
        << "the old map is back";

    // Microsoft's road map can be had: the switch stays.
    rig.loader->requestLoaderChange(1, MapsDataTypes::MAP_ROADMAP);
    ASSERT_TRUE(testsupport::waitUntil([&] { return rig.listener.loaded == 2; }, GUARD_MS));
    EXPECT_EQ(MapsLoaderManager::getCurrentLoader()->getLoaderId(), 1);
    EXPECT_EQ(rig.viewManager->getLoaderMode(), 1);
}

}  // namespace
