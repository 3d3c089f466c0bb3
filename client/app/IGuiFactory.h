#pragma once

#include <memory>

class IAboutWindow;
class IApplicationManager;
class IChatWindow;
class IContactDetailsDialog;
class IContactInfoWindow;
class IContactListWindow;
class IGroupListWindow;
class IHistoryWindow;
class IMainFrame;
class IMainSplitter;
class IMapViewWindow;
class ISatellitesWindow;
class LumoraContact;

// Creates the windows, hidden: whether and when a window is shown is the controller's
// decision. Called on the GUI thread only; a null result means the window could not be
// created. ControllerWindows makes them in the order below, the main frame first: the
// windows made after it belong to it.
class IGuiFactory {
public:
    virtual ~IGuiFactory() = default;

    virtual std::unique_ptr<IMainFrame> createMainFrame(IApplicationManager& controller) = 0;
    // The main frame's client area.
    virtual std::unique_ptr<IMainSplitter> createMainSplitter(IApplicationManager& controller) = 0;
    // The map view; the splitter takes it as its map pane.
    virtual std::unique_ptr<IMapViewWindow> createMapView(IApplicationManager& controller) = 0;
    virtual std::unique_ptr<ISatellitesWindow> createSatellitesWindow(
        IApplicationManager& controller) = 0;
    virtual std::unique_ptr<IAboutWindow> createAboutWindow(IApplicationManager& controller) = 0;
    virtual std::unique_ptr<IGroupListWindow> createGroupListWindow(
        IApplicationManager& controller) = 0;
    virtual std::unique_ptr<IContactInfoWindow> createContactInfoWindow(
        IApplicationManager& controller, bool withPicture) = 0;
    virtual std::unique_ptr<IContactDetailsDialog> createContactDetailsDialog(
        IApplicationManager& controller) = 0;
    // The contact pane; it shows its contacts' information in the two windows given.
    virtual std::unique_ptr<IContactListWindow> createContactListWindow(
        IApplicationManager& controller, IContactInfoWindow& withPicture,
        IContactInfoWindow& withoutPicture) = 0;
    // The history window (made last).
    virtual std::unique_ptr<IHistoryWindow> createHistoryWindow(IApplicationManager& controller) = 0;
    // A chat window for the contact, on the main frame's request (null: none can be made).
    virtual std::unique_ptr<IChatWindow> createChatWindow(
        IApplicationManager& controller, const std::shared_ptr<LumoraContact>& contact) = 0;
};
