#include "client/app/ControllerMap.h"

#include "client/app/ApplicationMessages.h"
#include "client/app/IControllerCommands.h"
#include "client/app/IMapViewWindow.h"
#include "client/app/MessageDispatcher.h"
#include "client/maps/IMapsLoader.h"
#include "client/maps/MapsLoaderManager.h"
#include "client/maps/MapsManager.h"
#include "client/view/DrawContactsManager.h"
#include "client/view/IDrawContactsToMap.h"
#include "client/view/IMapsView.h"
#include "client/view/LumoraViewManager.h"
#include "kestra/Exceptions.h"
#include "kestra/Log.h"

using kestra::Log;

ControllerMap::ControllerMap(IControllerCommands& commands, std::function<void(bool)> showLoading)
    : commands_(commands), showLoading_(std::move(showLoading)) {}

// The workers end before the objects they use go.
ControllerMap::~ControllerMap() {
    stopDrawing();
    stopMatrix();
    close();
    if (loader_ != nullptr && viewManager_) {
        loader_->setListener(nullptr);
    }
    viewManager_.reset();
    drawer_.reset();
    maps_.reset();
}

void ControllerMap::create(MapsLoaderManager& loader, IImageFactory& images) {
    loader_ = &loader;
    images_ = &images;
    viewManager_ = std::make_unique<LumoraViewManager>(loader, images, this);
    loader.setListener(viewManager_.get());
}

void ControllerMap::registerHandlers(MessageDispatcher& dispatcher,
                                     std::function<void(const WorldCoords&)> ownPosition) {
    dispatcher.add(UM_SET_OWN_POSITION,
                   [ownPosition = std::move(ownPosition)](kestra::ThreadMessage& message) {
                       if (const WorldCoords* position = message.payloadAs<WorldCoords>()) {
                           ownPosition(*position);
                       }
                   });
    dispatcher.add(UM_SHOW_CONTACT_ON_MAP, [this](kestra::ThreadMessage& message) {
        const auto* contact = message.payloadAs<std::shared_ptr<LumoraContact>>();
        if (contact == nullptr || !*contact) {
            Log::error("ApplicationManager::runApplication: msg.lParam == NULL ");
            return;
        }
        if ((*contact)->hasPosition()) {
            centreOn((*contact)->getPosition());
        }
    });
    dispatcher.add(UM_SET_MAP_INTERNET_MODE, [this](kestra::ThreadMessage& message) {
        if (loader_ == nullptr) {
            return;
        }
        const bool online = message.lParam == 0;
        if (online) {
            loader_->setOnline();
        } else {
            loader_->setOffline();
        }
        setCachedMapsLabel(!online);
    });
    dispatcher.add(UM_CHANGE_MAP_TYPE, [this](kestra::ThreadMessage& message) {
        IMapsLoader* source = MapsLoaderManager::getCurrentLoader();
        if (loader_ != nullptr && source != nullptr) {
            loader_->requestLoaderChange(source->getLoaderId(), static_cast<int>(message.wParam));
        }
    });
    dispatcher.add(UM_CHANGE_MAP_SOURCE, [this](kestra::ThreadMessage& message) {
        if (loader_ != nullptr) {
            loader_->requestLoaderChange(static_cast<int>(message.wParam),
                                         static_cast<int>(message.lParam));
        }
    });
}

bool ControllerMap::prepare(IMapViewWindow& mapView, IInfoWindow* withPicture,
                            IInfoWindow* withoutPicture, IContactsGroupWindow* groupList,
                            UserContactProfile& profile, LumoraContact::ContactMap& contacts,
                            kestra::Mutex& contactsLock) {
    if (!viewManager_ || loader_ == nullptr || images_ == nullptr) {
        Log::info("ApplicationManager: no image factory, the program runs without a map.");
        return false;
    }
    IMapsView* view = mapView.mapsView();
    IDrawContactsToMap* markers = mapView.contactsDrawer();
    if (view == nullptr || markers == nullptr) {
        Log::info("ApplicationManager: the map view window draws no map.");
        return false;
    }
    maps_ = std::make_unique<MapsManager>(*loader_, *images_);
    drawer_ = std::make_unique<DrawContactsManager>(contacts, contactsLock, markers);
    try {
        viewManager_->prepareRender(view, withPicture, withoutPicture, groupList, &profile,
                                    maps_.get(), drawer_.get());
    } catch (const kestra::BasicException&) {
        Log::error("ApplicationManager::runApplication: LumoraViewManager::prepareRender failed.");
        return false;
    }
    prepared_ = true;
    return true;
}

void ControllerMap::setOwnPosition(const WorldCoords& position) {
    if (prepared_) {
        viewManager_->setOwnPosition(position);
    }
}

void ControllerMap::centreOn(const WorldCoords& position) {
    if (prepared_) {
        viewManager_->centreOn(position);
    }
}

void ControllerMap::showMessage(const std::wstring& text) {
    if (prepared_) {
        viewManager_->showMessage(text);
    }
}

void ControllerMap::setCachedMapsLabel(bool shown) {
    if (prepared_) {
        viewManager_->setCachedMapsLabel(shown);
    }
}

void ControllerMap::setUserStatus(int status) {
    if (prepared_) {
        viewManager_->setUserStatus(status);
    }
}

void ControllerMap::save() {
    if (viewManager_) {
        viewManager_->save();
    }
}

void ControllerMap::stopDrawing() {
    if (drawer_) {
        drawer_->stop();
    }
}

void ControllerMap::stopMatrix() {
    if (maps_) {
        maps_->stop();
    }
}

void ControllerMap::close() {
    if (viewManager_) {
        viewManager_->stop();
    }
    prepared_ = false;
}

void ControllerMap::onMapLoading() {
    if (showLoading_) {
        showLoading_(true);
    }
}

void ControllerMap::onMapLoaded() {
    if (showLoading_) {
        showLoading_(false);
    }
}

// Handled on the controller's thread like a GPS reading.
void ControllerMap::onOwnPositionChosen(const WorldCoords& position) {
    commands_.postMessage(UM_SET_OWN_POSITION, 0, 0, kestra::makePayload(position));
}

void ControllerMap::onInternetAvailability(bool available) {
    Log::info(available ? "ApplicationManager: the tile servers answer."
                        : "ApplicationManager: the tile servers do not answer.");
}
