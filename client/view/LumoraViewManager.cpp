#include "client/view/LumoraViewManager.h"

#include <algorithm>
#include <cmath>

#include "client/contacts/UserContactProfile.h"
#include "client/locale/Dictionary.h"
#include "client/maps/MapsManager.h"
#include "client/view/DrawContactsManager.h"
#include "kestra/Exceptions.h"
#include "kestra/Log.h"
#include "kestra/Settings.h"

using kestra::Log;
using kestra::Settings;

namespace {

constexpr const wchar_t* KEY_ZOOM = L"lastZoom";
constexpr const wchar_t* KEY_CENTRE = L"userLastViewCoord";
constexpr const wchar_t* KEY_MODE = L"mapPosition";
constexpr const wchar_t* KEY_LOADER_MODE = L"maps.loaderMode";
constexpr int DEFAULT_ZOOM = 3;

// 45 degrees 5.34213 minutes north, 102 degrees 8.0 minutes west.
WorldCoords defaultCentre() {
    WorldCoords centre;
    centre.latDegrees = 45;
    centre.latMinutes = 5.34213;
    centre.lonDegrees = 102;
    centre.lonMinutes = 8.0;
    centre.latitudeType = 0;
    centre.longitudeType = 1;
    return centre;
}

std::int32_t clampToInt(std::int64_t value) {
    return static_cast<std::int32_t>(
        std::max<std::int64_t>(INT32_MIN, std::min<std::int64_t>(INT32_MAX, value)));
}

}  // namespace

const Rgb LumoraViewManager::NO_MAP_COLOUR = rgb(100, 100, 100);
const Rgb LumoraViewManager::BORDER_COLOUR = rgb(150, 150, 150);

LumoraViewManager::LumoraViewManager(IMapsLoaderManager& loader, IImageFactory& factory,
                                     IViewManagerListener* listener)
    : loader_(loader),
      factory_(factory),
      listener_(listener),
      centre_(defaultCentre()),
      textCantLoad_(Dictionary::translate("Can't load map.")),
      textNoMapAtZoom_(Dictionary::translate("No map at this zoom level.")) {}

LumoraViewManager::~LumoraViewManager() {
    stop();
}

// ---- Set-up and settings ----

void LumoraViewManager::checkCollaborators(IMapsView* view, IInfoWindow* withPhoto,
                                           IInfoWindow* withoutPhoto,
                                           IContactsGroupWindow* groupWindow,
                                           UserContactProfile* profile, MapsManager* mapsManager) {
    const char* place = "LumoraViewManager::prepareRender";
    if (view == nullptr || !view->isWindowCreated()) {
        Log::error("LumoraViewManager::prepareRender mapsView->getHWND() == NULL");
        throw kestra::GUICreateException(place, "mapsView->getHWND() == NULL");
    }
    const struct {
        const void* pointer;
        const char* text;
    } required[] = {{withPhoto, "infoWndWithAvatara == NULL"},
                    {withoutPhoto, "infoWndWithOutAvatara == NULL"},
                    {groupWindow, "contactsGroupWnd == NULL"},
                    {profile, "userProfile == NULL"},
                    {mapsManager, "mapsManager == NULL"}};
    for (const auto& r : required) {
        if (r.pointer == nullptr) {
            Log::error(std::string(place) + " " + r.text);
            throw kestra::NullPointerException(place, r.text);
        }
    }
}

void LumoraViewManager::prepareRender(IMapsView* view, IInfoWindow* withPhoto,
                                      IInfoWindow* withoutPhoto, IContactsGroupWindow* groupWindow,
                                      UserContactProfile* profile, MapsManager* mapsManager,
                                      DrawContactsManager* drawContactsManager) {
    checkCollaborators(view, withPhoto, withoutPhoto, groupWindow, profile, mapsManager);
    int screenWidth = 0;
    int screenHeight = 0;
    view->getScreenSize(screenWidth, screenHeight);
    {
        kestra::Mutex::Locker lock(stateLock_);
        if ((screenWidth > 240 && screenHeight > 320) ||
            (screenWidth > 320 && screenHeight > 240)) {
            panThreshold_ = 400;  // high-resolution screens move 20 pixels, not 10
        }
        loadView();
        profile_ = profile;
        view_ = view;
        view->getClientSize(width_, height_);
        mapsManager_ = mapsManager;
    }
    mapsManager->setViewSize(width_, height_);
    mapsManager->setViewListener(this);
    recreateBuffers();
    view->setDrawLogic(this);
    view->repaintAll();
    if (drawContactsManager == nullptr) {
        Log::error("LumoraViewManager::prepareRender _drawContactsManager == NULL");
        throw kestra::NullPointerException("LumoraViewManager::prepareRender",
                                           "_drawContactsManager == NULL");
    }
    drawContacts_ = drawContactsManager;
    drawContacts_->wake();
    withPhoto_ = withPhoto;
    withoutPhoto_ = withoutPhoto;
    groupWindow_ = groupWindow;
    withPhoto->hide();
    withoutPhoto->hide();
    groupWindow->hide();
    view->setZoomSliderLevel(getZoom());
    // The coordinates work from the start, also when the first picture cannot be loaded.
    setBlockSide(mapsManager->getBlockSide());
    resetCurentCoords();
    ready_ = true;
    mapValid_ = true;
    offerReturnControl();
    drawContacts_->start();
    refresh();
}

void LumoraViewManager::loadView() {
    if (!Settings::getIntValue(KEY_ZOOM, &zoom_)) {
        zoom_ = DEFAULT_ZOOM;
        Settings::setIntValue(KEY_ZOOM, zoom_);
    }
    WorldCoords stored;
    if (readFromSettings(KEY_CENTRE, stored)) {
        centre_ = stored;
        if (!Settings::getIntValue(KEY_MODE, &mode_)) {
            mode_ = KEEP_POINT;
        }
    } else {
        centre_ = defaultCentre();
        mode_ = KEEP_POINT;
    }
    if (mode_ < FOLLOW_OWN || mode_ > KEEP_POINT) {
        mode_ = KEEP_POINT;
    }
    if (!Settings::getIntValue(KEY_LOADER_MODE, &loaderMode_)) {
        loaderMode_ = 0;
        Settings::setIntValue(KEY_LOADER_MODE, loaderMode_);
    }
}

void LumoraViewManager::save() {
    WorldCoords centre;
    getGlobalDisplCenter(centre);
    kestra::Mutex::Locker lock(stateLock_);
    Settings::setIntValue(KEY_ZOOM, zoom_);
    Settings::setIntValue(KEY_MODE, mode_);
    Settings::setIntValue(KEY_LOADER_MODE, loaderMode_);
    if (ready_) {
        centre_ = centre;
        writeToSettings(KEY_CENTRE, centre);
    }
}

// The block matrix is stopped (MapsManager::stop) before this: it no longer draws into
// the map picture freed here, and it may already be gone.
void LumoraViewManager::stop() {
    ready_ = false;
    kestra::Mutex::Locker lock(bufferLock_);
    mapBuffer_.reset();
    frame_.reset();
    if (view_ != nullptr) {
        view_->setDrawLogic(nullptr);  // the window forgets this object
    }
    view_ = nullptr;
}

// ---- Coordinates ----

bool LumoraViewManager::ownKnown() const {
    return profile_ != nullptr && profile_->hasPosition();
}

std::int64_t LumoraViewManager::worldSizeAt(int zoom, const char* message) const {
    if (zoom > MAX_LEVELS_NUM) {
        Log::error(message);
        return static_cast<std::int64_t>(std::pow(2.0, zoom - 1)) * blockSide_;
    }
    return static_cast<std::int64_t>(blocksPerSide(zoom)) * blockSide_;
}

void LumoraViewManager::resetCurentCoords() {
    kestra::Mutex::Locker lock(stateLock_);
    if (blockSide_ <= 0) {
        return;  // no tile source has given its block side yet
    }
    MercatorCoords centrePoint = centrePoint_;
    worldToMercatorProjectionCoords(zoom_, centre_, centrePoint, blockSide_);
    worldSize_ =
        worldSizeAt(zoom_, "LumoraViewManager::resetCurentCoords: zoom > MAX_LEVELS_NUM. ");
    if (ownKnown()) {
        worldToMercatorProjectionCoords(zoom_, profile_->getPosition(), ownPoint_, blockSide_);
    }
    if (mode_ == FOLLOW_OWN && ownKnown()) {
        centrePoint_ = ownPoint_;
        ownView_.x = width_ / 2;
        ownView_.y = height_ / 2;
    } else {
        centrePoint_ = centrePoint;
        worldToScreen(centrePoint_, ownPoint_, ownView_, width_, height_);
    }
}

void LumoraViewManager::getGlobalDisplCenter(WorldCoords& centre) {
    kestra::Mutex::Locker lock(stateLock_);
    if (mode_ == KEEP_POSITION || blockSide_ <= 0) {
        centre = centre_;
        return;
    }
    if (mode_ == FOLLOW_OWN) {
        if (ownKnown()) {
            centre = profile_->getPosition();
            return;
        }
        Log::error("LumoraViewManager::getGlobalDisplCenter user coordinates not available.");
    }
    pointToWorldCoords(centrePoint_, zoom_, blockSide_, centre);
}

bool LumoraViewManager::getViewParams(MercatorCoords& centre, int& zoom, int& width, int& height,
                                      int& blockSide) {
    kestra::Mutex::Locker lock(stateLock_);
    if (!ready_ || blockSide_ <= 0) {
        return false;
    }
    centre = centrePoint_;
    zoom = zoom_;
    width = width_;
    height = height_;
    blockSide = blockSide_;
    return true;
}

int LumoraViewManager::getZoom() {
    kestra::Mutex::Locker lock(stateLock_);
    return zoom_;
}

int LumoraViewManager::getCentringMode() {
    kestra::Mutex::Locker lock(stateLock_);
    return mode_;
}

int LumoraViewManager::getLoaderMode() {
    kestra::Mutex::Locker lock(stateLock_);
    return loaderMode_;
}

MercatorCoords LumoraViewManager::getCentrePoint() {
    kestra::Mutex::Locker lock(stateLock_);
    return centrePoint_;
}

MercatorCoords LumoraViewManager::getOwnViewPoint() {
    kestra::Mutex::Locker lock(stateLock_);
    return ownView_;
}

void LumoraViewManager::offerReturnControl() {
    IMapsView* view = view_;
    if (view != nullptr && getCentringMode() != FOLLOW_OWN && ownKnown()) {
        view->showReturnControl();
    }
}

// ---- Texts ----

void LumoraViewManager::showMessage(const std::wstring& text) {
    {
        kestra::Mutex::Locker lock(textLock_);
        messageText_ = text;
    }
    repaintView();
}

void LumoraViewManager::clearMessage() {
    showMessage(std::wstring());
}

void LumoraViewManager::setStatusText(const std::wstring& text) {
    {
        kestra::Mutex::Locker lock(textLock_);
        statusText_ = text;
    }
    repaintView();
}

void LumoraViewManager::clearStatusText() {
    setStatusText(std::wstring());
}

std::wstring LumoraViewManager::getMessageText() {
    kestra::Mutex::Locker lock(textLock_);
    return messageText_;
}

std::wstring LumoraViewManager::getStatusText() {
    kestra::Mutex::Locker lock(textLock_);
    return statusText_;
}

void LumoraViewManager::setCachedMapsLabel(bool shown) {
    if (IMapsView* view = view_) {
        view->setCachedMapsLabel(shown);
        view->repaintAll();
    }
}

void LumoraViewManager::setUserStatus(int) {
    repaintView();  // the own marker shows the profile's status
}

void LumoraViewManager::repaintView() {
    if (IMapsView* view = view_) {
        view->repaintAll();
    }
}

// ---- Block matrix and loader reports ----

void LumoraViewManager::setBlockSide(int blockSide) {
    {
        kestra::Mutex::Locker lock(stateLock_);
        if (blockSide == blockSide_ || blockSide <= 0) {
            return;
        }
        blockSide_ = blockSide;
    }
    resetCurentCoords();
    reloadPending_ = true;
}

void LumoraViewManager::onBlockDrawn(const Rect& rect) {
    if (IMapsView* view = view_) {
        view->repaint(rect);
    }
}

bool LumoraViewManager::isViewCreated() {
    IMapsView* view = view_;
    return view != nullptr && view->isWindowCreated();
}

void LumoraViewManager::onNoInternet() {
    if (listener_ != nullptr) {
        listener_->onInternetAvailability(false);
    }
}

void LumoraViewManager::onInternetAvailable() {
    if (listener_ != nullptr) {
        listener_->onInternetAvailability(true);
    }
}

void LumoraViewManager::onNetworkStart() {
    if (IMapsView* view = view_) {
        view->setLoading(true);
    }
}

void LumoraViewManager::onNetworkStop() {
    if (IMapsView* view = view_) {
        view->setLoading(false);
    }
}

// ---- Frames ----

void LumoraViewManager::recreateBuffers() {
    int width = 0;
    int height = 0;
    {
        kestra::Mutex::Locker lock(stateLock_);
        width = width_;
        height = height_;
    }
    // A view of 0 x 0 gets no buffers (logged by the factory) and paints nothing.
    std::unique_ptr<ILumoraImage> map = factory_.createEmptyImage(width, height, NO_MAP_COLOUR);
    std::unique_ptr<ILumoraImage> frame = factory_.createEmptyImage(width, height, NO_MAP_COLOUR);
    std::unique_ptr<ILumoraImage> old;
    kestra::Mutex::Locker lock(bufferLock_);
    old = std::move(mapBuffer_);
    mapBuffer_ = std::move(map);
    frame_ = std::move(frame);
    // The matrix draws blocks on the loader's thread: it takes the new picture before the
    // old one is freed, never drawing into freed pixels.
    if (mapsManager_ != nullptr) {
        mapsManager_->setDrawingBuffer(mapBuffer_.get(), NO_MAP_COLOUR);
    }
    old.reset();
}

LumoraViewManager::FrameState LumoraViewManager::frameState() {
    kestra::Mutex::Locker lock(stateLock_);
    FrameState state;
    state.centre = centrePoint_;
    state.own = ownView_;
    state.zoom = zoom_;
    state.width = width_;
    state.height = height_;
    state.world = worldSize_;
    return state;
}

void LumoraViewManager::paint(IDrawContext& target, const Rect& rect, bool rebuild) {
    if (!ready_) {
        return;
    }
    if (reloadPending_ && !zooming_ && mapsManager_ != nullptr && mapsManager_->isFirstPassDone()) {
        reloadPending_ = false;
    }
    const FrameState state = frameState();  // before the buffer lock: state, then buffers
    kestra::Mutex::Locker lock(bufferLock_);
    if (!frame_ || frame_->getWidth() != state.width || frame_->getHeight() != state.height) {
        return;  // being recreated for a new size
    }
    // While a new picture loads (or a zoom animates) the window keeps the last frame.
    if (!reloadPending_ && !zooming_) {
        if (rebuild && mapsManager_ != nullptr) {
            mapsManager_->redrawBlocks();
        }
        composeFrame(frame_->getContext(), state);
    }
    target.copyFrom(frame_->getContext(), rect.left, rect.top, rect.left, rect.top, rect.width(),
                    rect.height());
}

void LumoraViewManager::composeFrame(IDrawContext& frame, const FrameState& state) {
    if (mapBuffer_ && mapsManager_ != nullptr) {
        MapsManager::HDCSinch drawing(*mapsManager_);
        frame.copyFrom(mapBuffer_->getContext(), 0, 0, 0, 0, frame.getWidth(), frame.getHeight());
    }
    drawWorldBorder(frame, state);
    if (drawContacts_ != nullptr) {
        drawContacts_->render(state.centre, state.zoom, state.width, state.height, &frame);
        if (ownKnown() && state.own.x >= 0 && state.own.x < state.width && state.own.y >= 0 &&
            state.own.y < state.height) {
            drawContacts_->drawOwnMarker(*profile_, state.own, &frame);
        }
    }
    drawTexts(frame);
}

// The world's edges, 2 pixels outside the world, where they lie inside the display.
void LumoraViewManager::drawWorldBorder(IDrawContext& frame, const FrameState& state) {
    const std::int64_t left = state.width / 2 - static_cast<std::int64_t>(state.centre.x);
    const std::int64_t top = -(static_cast<std::int64_t>(state.centre.y) - state.height / 2);
    const std::int64_t w = frame.getWidth();
    const std::int64_t h = frame.getHeight();
    const std::int64_t l = left - 2;
    const std::int64_t t = top - 2;
    const std::int64_t r = left + state.world + 2;
    const std::int64_t b = top + state.world + 2;
    const auto x0 = clampToInt(std::max<std::int64_t>(l, 0));
    const auto x1 = clampToInt(std::min<std::int64_t>(r, w));
    const auto y0 = clampToInt(std::max<std::int64_t>(t, 0));
    const auto y1 = clampToInt(std::min<std::int64_t>(b, h));
    if (l >= 0 && l < w) {
        frame.drawLine(clampToInt(l), y0, clampToInt(l), y1, BORDER_COLOUR, BORDER_WIDTH);
    }
    if (r >= 0 && r < w) {
        frame.drawLine(clampToInt(r), y0, clampToInt(r), y1, BORDER_COLOUR, BORDER_WIDTH);
    }
    if (t >= 0 && t < h) {
        frame.drawLine(x0, clampToInt(t), x1, clampToInt(t), BORDER_COLOUR, BORDER_WIDTH);
    }
    if (b >= 0 && b < h) {
        frame.drawLine(x0, clampToInt(b), x1, clampToInt(b), BORDER_COLOUR, BORDER_WIDTH);
    }
}

void LumoraViewManager::drawTexts(IDrawContext& frame) {
    IMapsView* view = view_;
    if (view == nullptr) {
        return;
    }
    kestra::Mutex::Locker lock(textLock_);
    if (!messageText_.empty()) {
        view->drawMessageText(frame, messageText_);
    }
    if (!statusText_.empty()) {
        view->drawStatusText(frame, statusText_);
    }
    if (messageText_.empty()) {
        view->drawOverlay(frame);
    }
    view->drawFinalOverlay(frame);
}
