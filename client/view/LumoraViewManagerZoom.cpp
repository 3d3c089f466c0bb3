// The view manager's zoom, refresh and tile source changes: they read tiles (and may ask
// the tile servers), so they run on the maps loader's thread (or the controller's), never
// on the window's.
#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "client/maps/MapsManager.h"
#include "client/view/DrawContactsManager.h"
#include "client/view/LumoraViewManager.h"
#include "kestra/Exceptions.h"
#include "kestra/Log.h"
#include "kestra/Settings.h"
#include "kestra/Thread.h"

using kestra::Log;

namespace {

constexpr int SEARCH_TOP = 20;  // the upward search for a level with tiles gives up here
constexpr const wchar_t* KEY_LOADER_NAME = L"maps.loaderName";
constexpr const wchar_t* KEY_LOADER_MODE = L"maps.loaderMode";

}  // namespace

void LumoraViewManager::requestZoom(int direction) {
    loader_.requestZoom(direction);
}

int LumoraViewManager::zoomTarget(int direction, int current) {
    if (direction == IMapsLoaderManager::ZOOM_OUT) {
        return current - 1;
    }
    if (direction == IMapsLoaderManager::ZOOM_IN) {
        return current + 1;
    }
    IMapsView* view = view_;
    return view != nullptr ? view->getZoomSliderLevel() : current;
}

// The target when the source has tiles there, else the nearest level in the search
// direction that has them; 0 when the search gives up or comes back to the old level.
int LumoraViewManager::findLevelWithTiles(int target, int old) {
    WorldCoords centre;
    getGlobalDisplCenter(centre);
    const int mapType = getLoaderMode();
    if (mapsManager_->hasBlocksAt(target, mapType, centre)) {
        return target;
    }
    const int step = target < 2 ? 1 : -1;
    for (int level = target + step; level >= 1 && level <= SEARCH_TOP; level += step) {
        if (level == old) {
            return 0;
        }
        if (mapsManager_->hasBlocksAt(level, mapType, centre)) {
            return level;
        }
    }
    return 0;
}

void LumoraViewManager::abandonZoom() {
    setStatusText(textNoMapAtZoom_);
    if (IMapsView* view = view_) {
        view->setZoomSliderLevel(getZoom());
        view->repaintAll();
    }
    zooming_ = false;
}

void LumoraViewManager::doZoom(int direction) {
    if (!isViewCreated() || !mapValid_ || mapsManager_ == nullptr) {
        return;
    }
    zooming_ = true;
    const int old = getZoom();
    int target = zoomTarget(direction, old);
    if (direction == IMapsLoaderManager::ZOOM_TO_SLIDER && target == old) {
        zooming_ = false;
        return;
    }
    target = findLevelWithTiles(target, old);
    if (target == 0) {
        abandonZoom();
        return;
    }
    WorldCoords centre;
    getGlobalDisplCenter(centre);
    {
        kestra::Mutex::Locker lock(stateLock_);
        centre_ = centre;
        zoom_ = target;
    }
    resetCurentCoords();
    if (drawContacts_ != nullptr) {
        drawContacts_->wake();
    }
    reloadPending_ = true;
    animate(old, target);
    const bool loaded = loadPicture();
    if (IMapsView* view = view_) {
        view->setZoomSliderLevel(getZoom());
    }
    if (loaded) {
        clearStatusText();
    }
    resetCurentCoords();
    if (drawContacts_ != nullptr) {
        drawContacts_->wake();
    }
    zooming_ = false;
    offerReturnControl();
    repaintView();
}

// Starts the picture at the view's centre and level (the level may be clamped into the
// source's interval); false with the message "Can't load map." when the source cannot.
bool LumoraViewManager::loadPicture() {
    WorldCoords centre;
    int level = 0;
    int mapType = 0;
    {
        kestra::Mutex::Locker lock(stateLock_);
        centre = centre_;
        level = zoom_;
        mapType = loaderMode_;
    }
    try {
        if (!loader_.isMapTypeSupported(mapType)) {
            throw kestra::MapLoaderException("LumoraViewManager::loadPicture",
                                             "Unsupported map type");
        }
        mapsManager_->loadFirstBlocks(centre, level, mapType);
    } catch (const kestra::MapLoaderException&) {
        showMessage(textCantLoad_);
        return false;
    }
    {
        kestra::Mutex::Locker lock(stateLock_);
        zoom_ = level;
    }
    if (getMessageText() == textCantLoad_) {
        clearMessage();  // the map loads again
    }
    return true;
}

bool LumoraViewManager::refresh() {
    if (mapsManager_ == nullptr) {
        return false;
    }
    WorldCoords centre;
    getGlobalDisplCenter(centre);
    {
        kestra::Mutex::Locker lock(stateLock_);
        centre_ = centre;
    }
    reloadPending_ = true;
    const bool loaded = loadPicture();
    resetCurentCoords();
    if (IMapsView* view = view_) {
        view->setZoomSliderLevel(getZoom());
    }
    if (drawContacts_ != nullptr) {
        drawContacts_->wake();
    }
    repaintView();
    return loaded;
}

void LumoraViewManager::onRefresh() {
    refresh();
}

void LumoraViewManager::centreOn(const WorldCoords& position) {
    {
        kestra::Mutex::Locker lock(stateLock_);
        centre_ = position;
        mode_ = KEEP_POSITION;
    }
    resetCurentCoords();
    refresh();
}

// ---- Zoom animation ----

// Zooming out by up to three levels, or in by up to two, scales the last frame around the
// centre in a few steps while the new picture loads.
void LumoraViewManager::animate(int oldLevel, int newLevel) {
    const int difference = std::abs(oldLevel - newLevel);
    double factor = 0;
    if (difference + 1 > MAX_LEVELS_NUM) {
        Log::error("LumoraViewManager::doZoom: level > MAX_LEVELS_NUM.");
        factor = std::pow(2.0, difference);
    } else {
        factor = blocksPerSide(difference + 1);
    }
    const bool zoomingOut = newLevel < oldLevel;
    if ((zoomingOut && factor >= 9) || (!zoomingOut && factor >= 5) || difference == 0) {
        return;
    }
    std::unique_ptr<ILumoraImage> old;
    {
        kestra::Mutex::Locker lock(bufferLock_);
        if (!frame_) {
            return;
        }
        old = factory_.createEmptyImage(frame_->getWidth(), frame_->getHeight(), NO_MAP_COLOUR);
        if (!old) {
            return;
        }
        old->copyFromDC(frame_->getContext(), 0, 0, 0, 0, frame_->getWidth(), frame_->getHeight());
    }
    animationFrames(*old, 1.0, zoomingOut ? 1.0 / factor : factor);
}

void LumoraViewManager::animationFrames(const ILumoraImage& old, double from, double to) {
    for (int step = 1; step <= ANIMATION_STEPS; ++step) {
        const double scale = from + (to - from) * step / ANIMATION_STEPS;
        {
            kestra::Mutex::Locker lock(bufferLock_);
            if (!frame_) {
                return;
            }
            IDrawContext& frame = frame_->getContext();
            const int w = static_cast<int>(old.getWidth() * scale);
            const int h = static_cast<int>(old.getHeight() * scale);
            frame.fillRect(Rect(0, 0, frame.getWidth(), frame.getHeight()), NO_MAP_COLOUR);
            old.drawStretched(frame, (frame.getWidth() - w) / 2, (frame.getHeight() - h) / 2, w, h);
        }
        if (IMapsView* view = view_) {
            view->showAnimationFrame();
        }
        kestra::Thread::sleep(ANIMATION_STEP_MS);
    }
}

// ---- Tile source and map type ----

void LumoraViewManager::changeMapLoaderAndType(int newLoaderId, int currentLoaderId,
                                               int newMapType) {
    const int oldType = getLoaderMode();
    if (newLoaderId == currentLoaderId && newMapType == oldType) {
        return;
    }
    if (listener_ != nullptr) {
        listener_->onMapLoading();
    }
    bool changed = newLoaderId == currentLoaderId || loader_.selectLoader(newLoaderId);
    if (changed) {
        {
            kestra::Mutex::Locker lock(stateLock_);
            loaderMode_ = newMapType;
        }
        changed = refresh();
    }
    if (!changed) {
        loader_.selectLoader(currentLoaderId);
        {
            kestra::Mutex::Locker lock(stateLock_);
            loaderMode_ = oldType;
        }
        Log::error(
            " ApplicationManager::runApplication change mapLoader: can not change to new "
            "loader. ");
        setStatusText(textCantLoad_);
        refresh();
        if (listener_ != nullptr) {
            listener_->onMapLoaded();
        }
        if (!kestra::Settings::setIntValue(KEY_LOADER_NAME, currentLoaderId)) {
            Log::error(
                "changeMapLoaderAndType,!kestra::Settings::setIntValue(ApplicationManager::"
                "LOADERNAME,sourceMap.GetCurSel())");
            throw kestra::SettingsException("LumoraViewManager::changeMapLoaderAndType",
                                            "setIntValue(LOADERNAME)");
        }
        if (!kestra::Settings::setIntValue(KEY_LOADER_MODE, oldType)) {
            Log::error(
                "changeMapLoaderAndType,!kestra::Settings::setIntValue(ApplicationManager::"
                "LOADERMODE,typeMap.GetCurSel())");
            throw kestra::SettingsException("LumoraViewManager::changeMapLoaderAndType",
                                            "setIntValue(LOADERMODE)");
        }
        return;
    }
    if (listener_ != nullptr) {
        listener_->onMapLoaded();
    }
}
