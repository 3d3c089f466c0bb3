#pragma once

#include <functional>
#include <memory>
#include <string>

#include "client/contacts/LumoraContact.h"
#include "client/maps/CoordinateUtils.h"
#include "client/view/IViewManagerListener.h"
#include "kestra/Mutex.h"

class DrawContactsManager;
class IContactsGroupWindow;
class IControllerCommands;
class IImageFactory;
class IInfoWindow;
class IMapViewWindow;
class LumoraViewManager;
class MessageDispatcher;
class MapsLoaderManager;
class MapsManager;
class UserContactProfile;

// The controller's side of the map: the view manager, the map block matrix and the contact
// drawing thread, made and wired in the start-up's order and stopped in the reverse one. It
// is the view manager's listener: the place chosen with "I'm here" goes to the controller
// as UM_SET_OWN_POSITION, the source-change notices to the main frame.
//
// States: empty -> created (the view manager is the maps loader's listener) -> prepared
// (the windows exist; frames are drawn) -> stopped (the workers end, the view is still
// saved) -> closed. Without an image factory or a map window with a drawing side the
// program runs without a map, and every operation here does nothing.
class ControllerMap : public IViewManagerListener {
public:
    // showLoading: the main frame's wait cursor while the tile source changes.
    ControllerMap(IControllerCommands& commands, std::function<void(bool)> showLoading);
    ~ControllerMap() override;
    ControllerMap(const ControllerMap&) = delete;
    ControllerMap& operator=(const ControllerMap&) = delete;

    // Before the maps loader starts: the loader the map messages steer (the program may run
    // without a map, and still steers it).
    void useLoader(MapsLoaderManager& loader) { loader_ = &loader; }
    // Before the maps loader starts: makes the view manager its listener.
    void create(MapsLoaderManager& loader, IImageFactory& images);
    // Adds the handlers of the map's and the map settings' messages (UM_SET_OWN_POSITION,
    // UM_SHOW_CONTACT_ON_MAP, UM_SET_MAP_INTERNET_MODE, UM_CHANGE_MAP_TYPE,
    // UM_CHANGE_MAP_SOURCE). ownPosition takes a place chosen on the map, which is handled
    // exactly as a GPS reading.
    void registerHandlers(MessageDispatcher& dispatcher,
                          std::function<void(const WorldCoords&)> ownPosition);
    // Once the windows exist (the controller's thread): the block matrix, the drawing thread
    // over the contact map, and the view manager's set-up, which loads the first picture
    // and starts the drawing thread. False (logged) when there is nothing to draw into.
    bool prepare(IMapViewWindow& mapView, IInfoWindow* withPicture, IInfoWindow* withoutPicture,
                 IContactsGroupWindow* groupList, UserContactProfile& profile,
                 LumoraContact::ContactMap& contacts, kestra::Mutex& contactsLock);
    bool isPrepared() const { return prepared_; }

    // A position from the GPS or "I'm here" (ignored before the set-up).
    void setOwnPosition(const WorldCoords& position);
    // "Show on map": the view centres on the position and keeps it.
    void centreOn(const WorldCoords& position);
    // The message line over the map (ignored before the set-up).
    void showMessage(const std::wstring& text);
    void setCachedMapsLabel(bool shown);
    // The user's own status (the own marker shows it).
    void setUserStatus(int status);
    // Writes the view (zoom, centring mode, map type, centre) to the settings.
    void save();
    // Ends the drawing thread, then (after the caller stopped the maps loader) the matrix.
    void stopDrawing();
    void stopMatrix();
    // Lets the view go (after save).
    void close();

    LumoraViewManager* viewManager() const { return viewManager_.get(); }
    DrawContactsManager* drawer() const { return drawer_.get(); }

    // IViewManagerListener
    void onMapLoading() override;
    void onMapLoaded() override;
    void onOwnPositionChosen(const WorldCoords& position) override;
    void onInternetAvailability(bool available) override;

private:
    IControllerCommands& commands_;
    std::function<void(bool)> showLoading_;
    MapsLoaderManager* loader_ = nullptr;
    IImageFactory* images_ = nullptr;
    std::unique_ptr<MapsManager> maps_;
    std::unique_ptr<DrawContactsManager> drawer_;
    std::unique_ptr<LumoraViewManager> viewManager_;
    bool prepared_ = false;
};
