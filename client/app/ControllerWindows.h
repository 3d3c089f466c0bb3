#pragma once

#include <functional>
#include <memory>
#include <string>

#include "client/app/IAboutWindow.h"
#include "client/app/IContactDetailsDialog.h"
#include "client/app/IContactInfoWindow.h"
#include "client/app/IContactListWindow.h"
#include "client/app/IGroupListWindow.h"
#include "client/app/IHistoryWindow.h"
#include "client/app/IMainFrame.h"
#include "client/app/IMainSplitter.h"
#include "client/app/IMapViewWindow.h"
#include "client/app/ISatellitesWindow.h"
#include "kestra/MessageQueue.h"
#include "kestra/Mutex.h"

class IApplicationManager;
class IContactsGroupWindow;
class IGuiFactory;
class IInfoWindow;
class MessageDispatcher;

namespace kestra {
class ThreadTimer;
}

// The controller's windows, each behind the proxy the GUI factory made for it. They are made
// on the GUI thread, in their fixed order, and shown as the controller decides; the
// controller's thread reaches them through the proxies (which only queue work, so they may
// be called under any of the controller's locks).
//
// The controller lock guards this object: the GUI thread holds it while it makes the
// windows, and every operation here takes it, so a window is never looked at half made.
class ControllerWindows {
public:
    explicit ControllerWindows(kestra::Mutex& controllerLock);
    ~ControllerWindows();
    ControllerWindows(const ControllerWindows&) = delete;
    ControllerWindows& operator=(const ControllerWindows&) = delete;

    // GUI thread: makes every window, puts the map view and the contact pane into the
    // splitter, restores the pane's state and the bar's position (splitter.visibility,
    // splitter.pos), lists the controller's contacts and shows the main frame. A window
    // that cannot be made writes the ERROR line that names it and throws
    // kestra::GUICreateException; the windows made before it are kept.
    void create(IGuiFactory& factory, IApplicationManager& controller);

    // Adds the handlers of the messages the windows post (UM_TOGGLE_CONTACT_PANE,
    // UM_SHOW_SEARCH, UM_SHOW_ABOUT, UM_SET_NO_SLEEP, UM_CONNECT, UM_SHOW_CONTACT_DETAILS,
    // UM_SHOW_HISTORY) to the controller's message table. downloadAddress gives the about window
    // its link.
    void registerHandlers(MessageDispatcher& dispatcher, std::function<std::wstring()> updateNote,
                          std::function<std::wstring()> downloadAddress);
    // The main frame, the contact pane and the map view take the timer's ticks (before it
    // starts).
    void addTimerListeners(kestra::ThreadTimer& timer);
    // The no-sleep switch as the settings keep it (general.noSleepMode), to the main frame.
    void applyNoSleepSetting();
    // The GPS state on the main frame's GPS button (IGpsControl::GpsState).
    void showGpsState(int state);
    // The GPS owner's satellites, for the satellites window (any thread).
    void showSatellites(const SatelliteList& satellites, bool fix);
    // Writes the contact pane's state and the bar's position to the settings.
    void saveLayout();
    // The main frame's wait cursor while the tile source changes (any thread).
    void showMapLoading(bool loading);
    // The information windows and the group list as the map's view manager uses them, taken
    // on the GUI thread when they were made (null before, or from fake windows).
    IInfoWindow* viewInfoWindow(bool withPicture) const {
        return withPicture ? viewWithPicture_ : viewWithoutPicture_;
    }
    IContactsGroupWindow* viewGroupList() const { return viewGroupList_; }

    // The windows, or null before they were made. Use them while holding the controller lock.
    IMainFrame* mainFrame() const { return mainFrame_.get(); }
    IMainSplitter* splitter() const { return splitter_.get(); }
    IMapViewWindow* mapView() const { return mapView_.get(); }
    ISatellitesWindow* satellitesWindow() const { return satellites_.get(); }
    IAboutWindow* aboutWindow() const { return about_.get(); }
    IGroupListWindow* groupListWindow() const { return groupList_.get(); }
    IContactInfoWindow* infoWindow(bool withPicture) const {
        return withPicture ? infoWithPicture_.get() : infoWithoutPicture_.get();
    }
    IContactDetailsDialog* contactDetailsDialog() const { return details_.get(); }
    IContactListWindow* contactList() const { return contactList_.get(); }
    IHistoryWindow* historyWindow() const { return history_.get(); }
    // The main frame was made and its window still exists.
    bool mainFrameExists() const;
    // Every window was made (create finished without a failure).
    bool isComplete() const;

    // Lets go of every proxy (the widgets go with the GUI).
    void release();

private:
    void restoreLayout();
    void listContacts(IApplicationManager& controller);
    void onShowContactDetails(const kestra::ThreadMessage& message);

    kestra::Mutex& lock_;
    bool complete_ = false;
    std::unique_ptr<IMainFrame> mainFrame_;
    std::unique_ptr<IMainSplitter> splitter_;
    std::unique_ptr<IMapViewWindow> mapView_;
    std::unique_ptr<ISatellitesWindow> satellites_;
    std::unique_ptr<IAboutWindow> about_;
    std::unique_ptr<IGroupListWindow> groupList_;
    std::unique_ptr<IContactInfoWindow> infoWithPicture_;
    std::unique_ptr<IContactInfoWindow> infoWithoutPicture_;
    std::unique_ptr<IContactDetailsDialog> details_;
    std::unique_ptr<IContactListWindow> contactList_;
    IInfoWindow* viewWithPicture_ = nullptr;
    IInfoWindow* viewWithoutPicture_ = nullptr;
    IContactsGroupWindow* viewGroupList_ = nullptr;
    std::unique_ptr<IHistoryWindow> history_;
};
