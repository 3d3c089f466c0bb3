// The view manager's input: drags and pans, taps and info windows, resizes and the own
// position. All of it runs on the window's thread except setOwnPosition (the controller's).
#include <algorithm>
#include <filesystem>

#include "client/contacts/UserContactProfile.h"
#include "client/maps/MapsManager.h"
#include "client/view/DrawContactsManager.h"
#include "client/view/LumoraViewManager.h"
#include "kestra/Log.h"

using kestra::Log;

// ---- Stylus ----

void LumoraViewManager::pressStarted(const MercatorCoords& point) {
    kestra::Mutex::Locker lock(stateLock_);
    pressPoint_ = point;
    pressed_ = true;
    hasDragPoint_ = false;
    dragging_ = false;
}

void LumoraViewManager::dragTo(const MercatorCoords& point) {
    if (!ready_ || mapsManager_ == nullptr || !mapsManager_->isFirstPassDone()) {
        return;
    }
    MercatorCoords shift;
    bool move = false;
    {
        kestra::Mutex::Locker lock(stateLock_);
        if (mode_ == FOLLOW_OWN && ownKnown()) {
            mode_ = KEEP_POINT;  // dragging ends following
            if (view_ != nullptr) {
                view_->showReturnControl();
            }
        }
        if (hasDragPoint_) {
            shift.x = lastDragPoint_.x - point.x;
            shift.y = lastDragPoint_.y - point.y;
            move = shift.x != 0 || shift.y != 0;
        }
        lastDragPoint_ = point;
        hasDragPoint_ = true;
    }
    if (move) {
        dragging_ = true;  // any movement: the release is no tap
        pan(shift.x, shift.y);
        repaintView();
    }
}

void LumoraViewManager::endDrag() {
    kestra::Mutex::Locker lock(stateLock_);
    hasDragPoint_ = false;
}

void LumoraViewManager::tap(const MercatorCoords& point) {
    MercatorCoords centre;
    int zoom = 0;
    int width = 0;
    int height = 0;
    int side = 0;
    {
        kestra::Mutex::Locker lock(stateLock_);
        if (!pressed_ || dragging_ || point != pressPoint_) {
            return;
        }
    }
    if (drawContacts_ == nullptr || !getViewParams(centre, zoom, width, height, side)) {
        return;
    }
    LumoraContact::ContactList contacts;
    MercatorCoords at;
    const int kind = drawContacts_->hitTest(zoom, centre, point, side, width, height, contacts, at);
    if (kind != DrawContactsManager::HIT_NONE) {
        drawInfoWindow(kind, contacts, at, false);
    }
}

void LumoraViewManager::endPress() {
    kestra::Mutex::Locker lock(stateLock_);
    pressed_ = false;
    dragging_ = false;
    hasDragPoint_ = false;
}

// ---- Pan ----

// A shift that would bring the world's edge into the view: cancelled when the view keeps
// its centre (modes 1 and 2), limited so that the edge just meets the view's edge while
// following the own position (mode 0).
std::int64_t LumoraViewManager::limitShift(std::int64_t shift, std::int64_t m, std::int64_t h,
                                           std::int64_t world) const {
    if (shift < 0 && m - h + shift < 0) {
        return mode_ == FOLLOW_OWN ? std::min<std::int64_t>(0, h - m) : 0;
    }
    if (shift > 0 && m + shift + h > world) {
        return mode_ == FOLLOW_OWN ? std::max<std::int64_t>(0, world - m - h) : 0;
    }
    return shift;
}

void LumoraViewManager::pan(int dx, int dy) {
    MercatorCoords centre;
    int zoom = 0;
    {
        kestra::Mutex::Locker lock(stateLock_);
        if (blockSide_ <= 0) {
            return;
        }
        const std::int64_t sx = limitShift(dx, centrePoint_.x, width_ / 2, worldSize_);
        const std::int64_t sy = limitShift(dy, centrePoint_.y, height_ / 2, worldSize_);
        const std::int64_t x = centrePoint_.x + sx;
        const std::int64_t y = centrePoint_.y + sy;
        // A shift that would overflow the coordinate is dropped.
        if (x >= INT32_MIN && x <= INT32_MAX) {
            centrePoint_.x = static_cast<std::int32_t>(x);
            ownView_.x = static_cast<std::int32_t>(ownView_.x - sx);
        }
        if (y >= INT32_MIN && y <= INT32_MAX) {
            centrePoint_.y = static_cast<std::int32_t>(y);
            ownView_.y = static_cast<std::int32_t>(ownView_.y - sy);
        }
        if (mode_ == KEEP_POSITION) {
            MercatorCoords stored;
            worldToMercatorProjectionCoords(zoom_, centre_, stored, blockSide_);
            const std::int64_t ex = static_cast<std::int64_t>(centrePoint_.x) - stored.x;
            const std::int64_t ey = static_cast<std::int64_t>(centrePoint_.y) - stored.y;
            if (ex * ex + ey * ey > panThreshold_) {
                mode_ = KEEP_POINT;
            }
        }
        centre = centrePoint_;
        zoom = zoom_;
    }
    if (mapsManager_ != nullptr) {
        mapsManager_->hdcToBlocks(centre, zoom, NO_MAP_COLOUR);
    }
    if (drawContacts_ != nullptr) {
        drawContacts_->wake();
    }
}

// ---- Size ----

void LumoraViewManager::resize(int width, int height) {
    MercatorCoords centre;
    int zoom = 0;
    {
        kestra::Mutex::Locker lock(stateLock_);
        const int sx = (width_ - width) / 2;
        const int sy = (height_ - height) / 2;
        width_ = std::max(0, width);
        height_ = std::max(0, height);
        ownView_.x -= sx;
        ownView_.y -= sy;
        centre = centrePoint_;
        zoom = zoom_;
    }
    if (mapsManager_ != nullptr) {
        mapsManager_->setViewSize(width, height);
        recreateBuffers();
        mapsManager_->hdcToBlocks(centre, zoom, NO_MAP_COLOUR);
    }
    repaintView();
    if (drawContacts_ != nullptr) {
        drawContacts_->wake();
    }
}

// ---- Own position ----

void LumoraViewManager::setOwnPosition(const WorldCoords& position) {
    if (!ready_ || profile_ == nullptr ||
        (position.latDegrees == 0 && position.latMinutes == 0.0 && position.lonDegrees == 0 &&
         position.lonMinutes == 0.0)) {
        return;
    }
    MercatorCoords panBy;
    bool follow = false;
    // The profile tells its listeners: not under the view's lock.
    const bool had = profile_->hasPosition();
    profile_->setPosition(position);
    {
        kestra::Mutex::Locker lock(stateLock_);
        MercatorCoords point = ownPoint_;
        if (blockSide_ > 0) {
            worldToMercatorProjectionCoords(zoom_, position, point, blockSide_);
        }
        if (had) {
            ownView_.x += point.x - ownPoint_.x;
            ownView_.y += point.y - ownPoint_.y;
        } else {
            worldToScreen(centrePoint_, point, ownView_, width_, height_);
            profile_->setHasPosition(true);
            if (mode_ != FOLLOW_OWN && view_ != nullptr) {
                view_->showReturnControl();
            }
        }
        ownPoint_ = point;
        if (mapsManager_ != nullptr && mapsManager_->isFirstPassDone()) {
            if (mode_ != FOLLOW_OWN) {
                worldToScreen(centrePoint_, ownPoint_, ownView_, width_, height_);
            } else {
                follow = true;  // the own position comes back to the display centre
                panBy.x = ownView_.x - width_ / 2;
                panBy.y = ownView_.y - height_ / 2;
            }
        }
    }
    if (follow && (panBy.x != 0 || panBy.y != 0)) {
        pan(panBy.x, panBy.y);
    }
    repaintView();
    reloadPending_ = false;
}

void LumoraViewManager::setOwnPositionAt(const MercatorCoords& point) {
    WorldCoords position;
    {
        kestra::Mutex::Locker lock(stateLock_);
        if (!ready_ || blockSide_ <= 0) {
            return;
        }
        MercatorCoords world;
        screenToWorld(centrePoint_, point, world, width_, height_);
        // A press beyond the world's edge (the grey around the map) means the edge.
        const std::int64_t last = std::max<std::int64_t>(0, worldSize_ - 1);
        world.x = static_cast<std::int32_t>(std::clamp<std::int64_t>(world.x, 0, last));
        world.y = static_cast<std::int32_t>(std::clamp<std::int64_t>(world.y, 0, last));
        mercatorProjectionToWorldCoords(world, zoom_, blockSide_, position);
    }
    if (listener_ != nullptr) {
        listener_->onOwnPositionChosen(position);
    }
}

void LumoraViewManager::returnToOwnPosition() {
    if (!ready_ || !ownKnown()) {
        return;
    }
    {
        kestra::Mutex::Locker lock(stateLock_);
        mode_ = FOLLOW_OWN;
    }
    // The refresh takes the own position as the centre (getGlobalDisplCenter in mode 0).
    loader_.requestRefresh();
}

// ---- Info windows ----

void LumoraViewManager::placeInfoWindow(const MercatorCoords& point, int w, int h, int displayWidth,
                                        int displayHeight, int imageHeight, bool centred, int& x,
                                        int& y) {
    if (!centred) {
        x = point.x - w / 2;
        y = point.y + imageHeight / 2;
    } else {
        x = (displayWidth - w) / 2;
        y = point.y - 3 - h;
        if (y < 0) {
            y = point.y + imageHeight + 3;  // no room above: below the marker
        }
    }
    x = std::max(0, std::min(x, displayWidth - w));
    y = std::max(0, std::min(y, displayHeight - h));
}

void LumoraViewManager::drawInfoWindow(int kind, LumoraContact::ContactList& contacts,
                                       const MercatorCoords& point, bool centred) {
    if (contacts.empty()) {
        offerReturnControl();
        return;
    }
    IFloatingWindow* active = nullptr;
    if (kind == DrawContactsManager::HIT_GROUP && groupWindow_ != nullptr) {
        groupWindow_->clearContacts();
        for (const auto& contact : contacts) {
            if (contact) {
                groupWindow_->addContact(DrawContactsManager::displayName(*contact), contact);
            }
        }
        active = groupWindow_;
    } else if (kind == DrawContactsManager::HIT_CONTACT && contacts.front()) {
        std::error_code error;
        const bool photo = std::filesystem::exists(
            std::filesystem::path(contacts.front()->getAvatarPath()), error);
        IInfoWindow* window = photo ? withPhoto_ : withoutPhoto_;
        if (window != nullptr) {
            window->setContact(contacts.front());
        }
        active = window;
    }
    if (active == nullptr) {
        Log::error("LumoraViewManager::drawInfoWindow current Active InfoWindow == NULL.");
        return;
    }
    for (IFloatingWindow* other :
         {static_cast<IFloatingWindow*>(withPhoto_), static_cast<IFloatingWindow*>(withoutPhoto_),
          static_cast<IFloatingWindow*>(groupWindow_)}) {
        if (other != nullptr && other != active) {
            other->hide();  // one info window at a time
        }
    }
    int w = 0;
    int h = 0;
    active->getSize(w, h);
    int imageWidth = 0;
    int imageHeight = 0;
    if (drawContacts_ != nullptr) {
        drawContacts_->getContactImageSize(imageWidth, imageHeight);
    }
    int x = 0;
    int y = 0;
    {
        kestra::Mutex::Locker lock(stateLock_);
        placeInfoWindow(point, w, h, width_, height_, imageHeight, centred, x, y);
    }
    active->show();
    active->moveTo(x, y);
    active->bringToFront();
    contacts.clear();
    infoShown_ = true;
}
