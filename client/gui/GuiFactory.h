#pragma once

#include <QPointer>
#include <QWidget>

#include "client/app/IGuiFactory.h"

class IGuiThread;
class IImageFactory;
class MainFrame;

// Builds the Qt windows, hidden, on the GUI thread, each behind the proxy through which the
// controller reaches it. Every window after the main frame belongs to the frame (it goes
// when the frame is closed); a frame still left when the factory goes (the GUI ended before
// it was shown) is deleted with it.
class GuiFactory : public IGuiFactory {
public:
    // images draws the map's markers and frames (the controller's image factory); without
    // one the factory makes its own.
    explicit GuiFactory(IGuiThread& gui, IImageFactory* images = nullptr);
    ~GuiFactory() override;

    std::unique_ptr<IMainFrame> createMainFrame(IApplicationManager& controller) override;
    std::unique_ptr<IMainSplitter> createMainSplitter(IApplicationManager& controller) override;
    // The map view window (MobileClientView). The window made here is the area the floating
    // windows made after it are placed in.
    std::unique_ptr<IMapViewWindow> createMapView(IApplicationManager& controller) override;
    std::unique_ptr<ISatellitesWindow> createSatellitesWindow(
        IApplicationManager& controller) override;
    std::unique_ptr<IAboutWindow> createAboutWindow(IApplicationManager& controller) override;
    std::unique_ptr<IGroupListWindow> createGroupListWindow(
        IApplicationManager& controller) override;
    std::unique_ptr<IContactInfoWindow> createContactInfoWindow(IApplicationManager& controller,
                                                                bool withPicture) override;
    std::unique_ptr<IContactDetailsDialog> createContactDetailsDialog(
        IApplicationManager& controller) override;
    std::unique_ptr<IContactListWindow> createContactListWindow(
        IApplicationManager& controller, IContactInfoWindow& withPicture,
        IContactInfoWindow& withoutPicture) override;
    std::unique_ptr<IHistoryWindow> createHistoryWindow(IApplicationManager& controller) override;
    // A chat window over the main frame (none before the frame exists).
    std::unique_ptr<IChatWindow> createChatWindow(
        IApplicationManager& controller, const std::shared_ptr<LumoraContact>& contact) override;

    // The main frame made last (null when there is none).
    MainFrame* mainFrame() const;

private:
    IGuiThread& gui_;
    std::unique_ptr<IImageFactory> ownImages_;
    IImageFactory& images_;
    QPointer<MainFrame> frame_;
    // The map pane's window: the floating windows over the map are placed in its pixels.
    QPointer<QWidget> mapPane_;
};
