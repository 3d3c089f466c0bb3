#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "client/contacts/LumoraContact.h"
#include "client/graphics/IImageFactory.h"
#include "client/maps/CoordinateUtils.h"
#include "client/maps/IMapsLoaderListener.h"
#include "client/maps/IMapsLoaderManager.h"
#include "client/view/IDrawLogic.h"
#include "client/view/IInfoWindow.h"
#include "client/view/IMapsView.h"
#include "client/view/IViewManagerListener.h"
#include "kestra/Mutex.h"

class DrawContactsManager;
class MapsManager;
class UserContactProfile;

// The drawing logic of the map view. It holds the view state (zoom, centre, display size,
// centring mode, tile source's map type), keeps the block matrix and the contact drawing
// thread in step with it, composes each frame (map blocks, world border, contacts, own
// marker, texts, the window's overlays) and copies the asked part to the window; it zooms
// with a fallback to levels that have tiles, pans by drags, opens the info window of a
// tapped contact or group, switches the tile source and map type, and keeps the view in
// the settings.
//
// Centring modes: 0 follows the own position, 1 keeps the stored centre position (until
// a pan moves it further than a few pixels), 2 keeps the centre pixel (the default).
// Dragging while following switches to 2.
//
// Life: constructed -> prepareRender (ready) -> painting, input, zooms -> save -> stop.
// Threads: the window's thread paints and gives input; the maps loader's thread zooms,
// refreshes and switches sources (through IMapsLoaderListener) and reports drawn blocks;
// the controller's thread sets up, sets the own position and saves. None of the window's
// operations decode or read tiles. Locks, in this order: the view state, the buffers
// (frame and map picture), then the block matrix's and the drawing thread's own; texts
// have their own lock.
class LumoraViewManager : public IDrawLogic, public IMapsLoaderListener, public CoordinateUtils {
public:
    enum CentringMode { FOLLOW_OWN = 0, KEEP_POSITION = 1, KEEP_POINT = 2 };

    static const Rgb NO_MAP_COLOUR;  // RGB(100, 100, 100)
    static const Rgb BORDER_COLOUR;  // RGB(150, 150, 150)
    static constexpr int BORDER_WIDTH = 2;
    static constexpr int ANIMATION_STEPS = 4;
    static constexpr unsigned int ANIMATION_STEP_MS = 30;

    LumoraViewManager(IMapsLoaderManager& loader, IImageFactory& factory,
                      IViewManagerListener* listener);
    ~LumoraViewManager() override;
    LumoraViewManager(const LumoraViewManager&) = delete;
    LumoraViewManager& operator=(const LumoraViewManager&) = delete;

    // One-time set-up once the windows exist (not on the window's thread: it loads the
    // first picture). Throws kestra::GUICreateException when the map window does not exist
    // and kestra::NullPointerException for a missing collaborator.
    void prepareRender(IMapsView* view, IInfoWindow* withPhoto, IInfoWindow* withoutPhoto,
                       IContactsGroupWindow* groupWindow, UserContactProfile* profile,
                       MapsManager* mapsManager, DrawContactsManager* drawContactsManager);
    // Writes the view to the settings.
    void save();
    // Loads the map blocks for the view anew (not on the window's thread); false (and the
    // message "Can't load map.") when the tile source cannot give them.
    bool refresh();
    // Centres the view on a position and keeps it there (mode 1); not on the window's thread.
    void centreOn(const WorldCoords& position);
    void setCachedMapsLabel(bool shown);
    // The message line over the map (any thread) and the status text.
    void showMessage(const std::wstring& text);
    void clearMessage();
    void setStatusText(const std::wstring& text);
    std::wstring getMessageText();
    std::wstring getStatusText();

    // The geographic centre of the view by the centring mode.
    void getGlobalDisplCenter(WorldCoords& centre);
    // Recomputes the world size, the centre pixel and the own marker after a change.
    void resetCurentCoords();
    // Shows the info window for one contact (kind 8) or the group list (kind 7) at a point;
    // centred: placed above the point, horizontally centred in the view.
    void drawInfoWindow(int kind, LumoraContact::ContactList& contacts, const MercatorCoords& point,
                        bool centred);
    // Moves the view by a shift of pixels, within the world's edges.
    void pan(int dx, int dy);

    // IDrawLogic
    void requestZoom(int direction) override;
    void doZoom(int direction) override;
    bool getViewParams(MercatorCoords& centre, int& zoom, int& width, int& height,
                       int& blockSide) override;
    void paint(IDrawContext& target, const Rect& rect, bool rebuild) override;
    void pressStarted(const MercatorCoords& point) override;
    void dragTo(const MercatorCoords& point) override;
    void endDrag() override;
    void tap(const MercatorCoords& point) override;
    void endPress() override;
    bool isReady() override { return ready_; }
    void resize(int width, int height) override;
    void setOwnPosition(const WorldCoords& position) override;
    void setOwnPositionAt(const MercatorCoords& point) override;
    void returnToOwnPosition() override;
    void setUserStatus(int status) override;
    void clearStatusText() override;
    bool isReloadPending() override { return reloadPending_; }
    void repaintView() override;
    // Forgets the window and frees the buffers; stop the block matrix first.
    void stop() override;

    // IViewListener (from the block matrix)
    void setBlockSide(int blockSide) override;
    void onBlockDrawn(const Rect& rect) override;
    bool isViewCreated() override;

    // IMapsLoaderListener (on the maps loader's thread)
    void onNoInternet() override;
    void onInternetAvailable() override;
    void onNetworkStart() override;
    void onNetworkStop() override;
    void onRefresh() override;
    void changeMapLoaderAndType(int newLoaderId, int currentLoaderId, int newMapType) override;

    // State, for the controller and tests.
    int getZoom();
    int getCentringMode();
    int getLoaderMode();
    MercatorCoords getCentrePoint();
    MercatorCoords getOwnViewPoint();
    bool isInfoWindowShown() const { return infoShown_; }
    int getPanThreshold() const { return panThreshold_; }

    // Placement of a w x h window for a marker at point in a view of the display size
    // (contact image height imageHeight); the result lies inside the view.
    static void placeInfoWindow(const MercatorCoords& point, int w, int h, int displayWidth,
                                int displayHeight, int imageHeight, bool centred, int& x, int& y);

private:
    void loadView();
    void checkCollaborators(IMapsView* view, IInfoWindow* withPhoto, IInfoWindow* withoutPhoto,
                            IContactsGroupWindow* groupWindow, UserContactProfile* profile,
                            MapsManager* mapsManager);
    void recreateBuffers();
    bool ownKnown() const;
    std::int64_t worldSizeAt(int zoom, const char* message) const;
    void offerReturnControl();
    // What a frame is composed from, taken under the state lock.
    struct FrameState {
        MercatorCoords centre;
        MercatorCoords own;
        int zoom = 0;
        int width = 0;
        int height = 0;
        std::int64_t world = 0;
    };
    FrameState frameState();
    // Frame composition (under the buffer lock).
    void composeFrame(IDrawContext& frame, const FrameState& state);
    void drawWorldBorder(IDrawContext& frame, const FrameState& state);
    void drawTexts(IDrawContext& frame);
    // Pan of one axis: the shift allowed for centre m, half view h, world size.
    std::int64_t limitShift(std::int64_t shift, std::int64_t m, std::int64_t h,
                            std::int64_t world) const;
    // Zoom steps.
    int zoomTarget(int direction, int current);
    int findLevelWithTiles(int target, int old);
    void abandonZoom();
    void animate(int oldLevel, int newLevel);
    void animationFrames(const ILumoraImage& old, double from, double to);
    bool loadPicture();

    IMapsLoaderManager& loader_;
    IImageFactory& factory_;
    IViewManagerListener* listener_;

    IMapsView* view_ = nullptr;
    IInfoWindow* withPhoto_ = nullptr;
    IInfoWindow* withoutPhoto_ = nullptr;
    IContactsGroupWindow* groupWindow_ = nullptr;
    UserContactProfile* profile_ = nullptr;
    MapsManager* mapsManager_ = nullptr;
    DrawContactsManager* drawContacts_ = nullptr;

    // View state (under stateLock_).
    mutable kestra::Mutex stateLock_;
    int zoom_ = 3;
    int blockSide_ = -1;
    std::int64_t worldSize_ = 0;
    WorldCoords centre_;
    MercatorCoords centrePoint_;
    MercatorCoords ownPoint_;
    MercatorCoords ownView_;
    int width_ = 0;
    int height_ = 0;
    int mode_ = KEEP_POINT;
    int loaderMode_ = 0;
    int panThreshold_ = 100;
    MercatorCoords pressPoint_;
    bool pressed_ = false;
    MercatorCoords lastDragPoint_;
    bool hasDragPoint_ = false;

    std::atomic<bool> ready_{false};
    std::atomic<bool> mapValid_{false};
    std::atomic<bool> zooming_{false};
    std::atomic<bool> dragging_{false};
    std::atomic<bool> infoShown_{false};
    std::atomic<bool> reloadPending_{false};

    // Buffers (under bufferLock_): the map picture the blocks are drawn into, and the frame.
    kestra::Mutex bufferLock_;
    std::unique_ptr<ILumoraImage> mapBuffer_;
    std::unique_ptr<ILumoraImage> frame_;

    kestra::Mutex textLock_;
    std::wstring messageText_;
    std::wstring statusText_;
    const std::wstring textCantLoad_;
    const std::wstring textNoMapAtZoom_;
};
