#pragma once

#include <memory>
#include <string>

#include "TestSupport.h"
#include "client/contacts/LumoraContact.h"
#include "client/contacts/UserContactProfile.h"
#include "client/maps/MapsLoaderManager.h"
#include "client/maps/MapsManager.h"
#include "client/view/DrawContactsManager.h"
#include "client/view/LumoraViewManager.h"
#include "client/view/MapMarkers.h"
#include "kestra/Mutex.h"
#include "testing/view/DecodeRecordingFactory.h"
#include "testing/view/HeadlessMapsView.h"
#include "testing/view/RecordingWindows.h"
#include "testing/view/TileServer.h"

namespace fixture {

// The map view's whole stack without a window, on real parts: the tile server on
// loopback, the real cache in a private folder, the maps loader with its thread, the block
// matrix, the contact drawing thread and the view manager, painting frames into the
// headless view. Settings, cache and log are process-wide: one rig at a time.
//
//   fixture::RenderRig rig(options);     // settings written, loader online
//   rig.start();                         // prepareRender (on this thread)
//   rig.waitForVisibleBlocks();
//   const ILumoraImage& frame = rig.view.renderFrame();
class RenderRig {
public:
    struct Options {
        int width = 800;
        int height = 480;
        int zoom = 10;
        WorldCoords centre;  // the stored view centre; the default is a place in Europe
        int centringMode = LumoraViewManager::KEEP_POINT;
        bool serveTiles = true;  // every tile around the view at the zoom
        bool writeView = true;   // false: settings without a stored view (first start)
        int loaderMode = 1;      // the map type in the settings; -1: none stored
        int screenWidth = 800;   // the display (pan threshold)
        int screenHeight = 480;
        Options();
    };

    explicit RenderRig(const Options& options = Options());
    ~RenderRig();
    RenderRig(const RenderRig&) = delete;
    RenderRig& operator=(const RenderRig&) = delete;

    // The view manager's set-up on the calling thread.
    void start();
    // Until every cell that the view shows holds its block (but cell (skipI, skipJ), when
    // given); false on the guard time.
    bool waitForVisibleBlocks(int guardMs = 20000, int skipI = -1, int skipJ = -1);
    // A contact of the contact map at a position with a status.
    std::shared_ptr<LumoraContact> addContact(const std::wstring& jid, const WorldCoords& at,
                                              int status);
    // Until the drawing thread has made n passes more.
    bool waitForPasses(long n, int guardMs = 20000);
    // The world pixel of a position at the rig's zoom.
    MercatorCoords project(const WorldCoords& position, int zoom = 0) const;

    Options options;
    testsupport::TempDir dir;
    TileServer tiles;
    DecodeRecordingFactory factory;
    std::unique_ptr<MapMarkers> markers;
    std::unique_ptr<HeadlessMapsView> view;
    RecordingInfoWindow withPhoto{120, 60};
    RecordingInfoWindow withoutPhoto{100, 50};
    RecordingGroupWindow group{110, 90};
    RecordingViewListener listener;
    std::unique_ptr<UserContactProfile> profile;
    LumoraContact::ContactMap contacts;
    kestra::Mutex contactsLock;
    std::unique_ptr<MapsLoaderManager> loader;
    std::unique_ptr<MapsManager> maps;
    std::unique_ptr<DrawContactsManager> drawer;
    std::unique_ptr<LumoraViewManager> viewManager;
};

// A position from signed decimal degrees.
WorldCoords degrees(double latitude, double longitude);

}  // namespace fixture
