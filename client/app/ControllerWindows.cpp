#include "client/app/ControllerWindows.h"

#include <string>

#include "client/app/ApplicationMessages.h"
#include "client/app/IApplicationManager.h"
#include "client/app/IGuiFactory.h"
#include "client/app/MessageDispatcher.h"
#include "client/contacts/LumoraContact.h"
#include "kestra/Exceptions.h"
#include "kestra/Log.h"
#include "kestra/Settings.h"
#include "kestra/ThreadTimer.h"

using kestra::Log;
using kestra::Settings;

namespace {
const wchar_t* const PANE_HIDDEN_KEY = L"splitter.visibility";
const wchar_t* const POSITION_KEY = L"splitter.pos";

// A window the factory could not make ends the GUI: the line names the window.
template <class Window>
std::unique_ptr<Window> made(std::unique_ptr<Window> window, const char* name) {
    if (!window) {
        Log::error(
            std::string("ApplicationManager::run false == GuiFactory::createWindowInstance(") +
            name + ").");
        throw kestra::GUICreateException();
    }
    return window;
}
}  // namespace

ControllerWindows::ControllerWindows(kestra::Mutex& controllerLock) : lock_(controllerLock) {}

ControllerWindows::~ControllerWindows() = default;

// The order is fixed: every window after the main frame belongs to it, and the contact pane
// takes the information windows made before it. The user search window will come after
// the information windows.
void ControllerWindows::create(IGuiFactory& factory, IApplicationManager& controller) {
    kestra::Mutex::Locker lock(lock_);
    mainFrame_ = made(factory.createMainFrame(controller), "mainFrame");
    splitter_ = made(factory.createMainSplitter(controller), "mainSplitter");
    mapView_ = made(factory.createMapView(controller), "mapsView");
    satellites_ = made(factory.createSatellitesWindow(controller), "windowGPSSatellites");
    about_ = made(factory.createAboutWindow(controller), "aboutWindow");
    groupList_ = made(factory.createGroupListWindow(controller), "_groupListWnd");
    infoWithPicture_ =
        made(factory.createContactInfoWindow(controller, true), "_infoWndWithAvatara");
    infoWithoutPicture_ =
        made(factory.createContactInfoWindow(controller, false), "_infoWndWithOutAvatara");
    viewWithPicture_ = infoWithPicture_->viewWindow();
    viewWithoutPicture_ = infoWithoutPicture_->viewWindow();
    viewGroupList_ = groupList_->viewWindow();
    details_ = made(factory.createContactDetailsDialog(controller), "_dialogDetailContactsInfo");
    contactList_ =
        made(factory.createContactListWindow(controller, *infoWithPicture_, *infoWithoutPicture_),
             "contactsListWindow");
    if (!splitter_->setPanes(*mapView_, *contactList_)) {
        Log::error("ApplicationManager::run false == mainSplitter->setPanes.");
        throw kestra::GUICreateException();
    }
    restoreLayout();
    listContacts(controller);
    history_ = made(factory.createHistoryWindow(controller), "historyDialog");
    mainFrame_->show();
    complete_ = true;
}

// splitter.visibility holds 1 while the contact pane is hidden, so a missing value (or 0)
// shows it. A missing or unusable position gives half the client area's width.
void ControllerWindows::restoreLayout() {
    splitter_->showContactPane(Settings::getIntValue(PANE_HIDDEN_KEY, 0) == 0);
    splitter_->setSplitterPosition(Settings::getIntValue(POSITION_KEY, 0));
}

void ControllerWindows::listContacts(IApplicationManager& controller) {
    kestra::Mutex::Locker lock(controller.getContactsLock());
    for (const auto& entry : controller.getContacts()) {
        contactList_->addContact(entry.second);
    }
}

void ControllerWindows::saveLayout() {
    kestra::Mutex::Locker lock(lock_);
    if (!splitter_) {
        return;
    }
    Settings::setIntValue(PANE_HIDDEN_KEY, splitter_->isContactPaneShown() ? 0 : 1);
    const int position = splitter_->splitterPosition();
    if (position > 0) {
        Settings::setIntValue(POSITION_KEY, position);
    }
}

void ControllerWindows::registerHandlers(MessageDispatcher& dispatcher,
                                         std::function<std::wstring()> updateNote,
                                         std::function<std::wstring()> downloadAddress) {
    dispatcher.add(UM_TOGGLE_CONTACT_PANE, [this](kestra::ThreadMessage&) {
        kestra::Mutex::Locker lock(lock_);
        if (splitter_) {
            splitter_->toggleContactPane();
        }
    });
    dispatcher.add(UM_SHOW_SEARCH, [](kestra::ThreadMessage&) {
        Log::info(
            "ApplicationManager: UM_SHOW_SEARCH: the user search window is not part of "
            "the program yet.");
    });
    dispatcher.add(UM_SHOW_ABOUT, [this, downloadAddress, updateNote](kestra::ThreadMessage&) {
        const std::wstring address = downloadAddress ? downloadAddress() : std::wstring();
        const std::wstring note = updateNote ? updateNote() : std::wstring();
        kestra::Mutex::Locker lock(lock_);
        if (about_) {
            about_->setDownloadAddress(address);
            about_->setUpdateNote(note);
            about_->show();
        }
    });
    dispatcher.add(UM_SET_NO_SLEEP, [this](kestra::ThreadMessage& message) {
        kestra::Mutex::Locker lock(lock_);
        if (mainFrame_) {
            mainFrame_->setNoSleep(message.lParam != 0);
        }
    });
    dispatcher.add(UM_CONNECT, [this](kestra::ThreadMessage& message) {
        kestra::Mutex::Locker lock(lock_);
        if (mainFrame_) {
            mainFrame_->reconnect(static_cast<int>(message.wParam),
                                  static_cast<int>(message.lParam));
        }
    });
    dispatcher.add(UM_SHOW_CONTACT_DETAILS,
                   [this](kestra::ThreadMessage& message) { onShowContactDetails(message); });
    dispatcher.add(UM_SHOW_HISTORY, [this](kestra::ThreadMessage& message) {
        const auto* contact = message.payloadAs<std::shared_ptr<LumoraContact>>();
        kestra::Mutex::Locker lock(lock_);
        if (history_ && contact != nullptr && *contact) {
            history_->showHistory(*contact);
        }
    });
}

// The dialog shows what the device knows of the contact; asking the server for the card is
// the session's part.
void ControllerWindows::onShowContactDetails(const kestra::ThreadMessage& message) {
    const auto* contact = message.payloadAs<std::shared_ptr<LumoraContact>>();
    if (contact == nullptr || !*contact) {
        Log::error("ApplicationManager::runApplication: msg.lParam == NULL ");
        return;
    }
    kestra::Mutex::Locker lock(lock_);
    if (details_) {
        details_->showContact(*contact, static_cast<int>(message.wParam));
    }
}

void ControllerWindows::addTimerListeners(kestra::ThreadTimer& timer) {
    kestra::Mutex::Locker lock(lock_);
    if (mainFrame_) {
        timer.addListener(mainFrame_.get());
    }
    if (contactList_) {
        timer.addListener(contactList_.get());
    }
    if (mapView_) {
        timer.addListener(mapView_.get());
    }
}

void ControllerWindows::showMapLoading(bool loading) {
    kestra::Mutex::Locker lock(lock_);
    if (mainFrame_) {
        mainFrame_->showMapLoading(loading);
    }
}

void ControllerWindows::applyNoSleepSetting() {
    const bool on = Settings::getIntValue(L"general.noSleepMode", 0) != 0;
    kestra::Mutex::Locker lock(lock_);
    if (mainFrame_) {
        mainFrame_->setNoSleep(on);
    }
}

void ControllerWindows::showGpsState(int state) {
    kestra::Mutex::Locker lock(lock_);
    if (mainFrame_) {
        mainFrame_->showGpsState(state);
    }
}

void ControllerWindows::showSatellites(const SatelliteList& satellites, bool fix) {
    kestra::Mutex::Locker lock(lock_);
    if (satellites_) {
        satellites_->setSatellites(satellites, fix);
    }
}

bool ControllerWindows::isComplete() const {
    kestra::Mutex::Locker lock(lock_);
    return complete_;
}

bool ControllerWindows::mainFrameExists() const {
    kestra::Mutex::Locker lock(lock_);
    return mainFrame_ && mainFrame_->isWindow();
}

void ControllerWindows::release() {
    kestra::Mutex::Locker lock(lock_);
    complete_ = false;
    viewWithPicture_ = nullptr;
    viewWithoutPicture_ = nullptr;
    viewGroupList_ = nullptr;
    history_.reset();
    contactList_.reset();
    details_.reset();
    infoWithoutPicture_.reset();
    infoWithPicture_.reset();
    groupList_.reset();
    about_.reset();
    satellites_.reset();
    mapView_.reset();
    splitter_.reset();
    mainFrame_.reset();
}
