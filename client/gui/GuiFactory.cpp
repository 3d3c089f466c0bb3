#include "client/gui/GuiFactory.h"

#include <memory>

#include "client/app/IApplicationManager.h"
#include "client/app/IChatWindow.h"
#include "client/drawing/QtImageFactory.h"
#include "client/gui/AboutWindowProxy.h"
#include "client/gui/ChatDialogProxy.h"
#include "client/gui/ContactDetailsDialogProxy.h"
#include "client/gui/ContactInfoWindowProxy.h"
#include "client/gui/ContactListWindowProxy.h"
#include "client/gui/GroupListWindowProxy.h"
#include "client/gui/HistoryDialogProxy.h"
#include "client/gui/MainFrame.h"
#include "client/gui/MainFrameProxy.h"
#include "client/gui/MainSplitterProxy.h"
#include "client/gui/MobileClientViewProxy.h"
#include "client/gui/SatellitesWindowProxy.h"
#include "client/gui/ScreenResolution.h"

namespace {
// The widget behind a proxy this factory made, or null.
template <class Widget>
Widget* widgetOf(IContactInfoWindow& window) {
    const auto* proxy = dynamic_cast<const IQtWindow*>(&window);
    return proxy != nullptr ? qobject_cast<Widget*>(proxy->widget()) : nullptr;
}
}  // namespace

namespace {
std::unique_ptr<IImageFactory> ownFactoryUnless(IImageFactory* images) {
    return images != nullptr ? nullptr : std::make_unique<QtImageFactory>();
}
}  // namespace

GuiFactory::GuiFactory(IGuiThread& gui, IImageFactory* images)
    : gui_(gui), ownImages_(ownFactoryUnless(images)), images_(images ? *images : *ownImages_) {}

GuiFactory::~GuiFactory() {
    delete frame_.data();
}

MainFrame* GuiFactory::mainFrame() const {
    return frame_.data();
}

std::unique_ptr<IMainFrame> GuiFactory::createMainFrame(IApplicationManager& controller) {
    auto* frame = new MainFrame(controller, *this);
    frame->setAttribute(Qt::WA_DeleteOnClose);
    frame_ = frame;
    return std::make_unique<MainFrameProxy>(gui_, frame);
}

std::unique_ptr<IMainSplitter> GuiFactory::createMainSplitter(IApplicationManager& controller) {
    if (!frame_) {
        return nullptr;
    }
    auto state = std::make_shared<SplitterState>();
    auto* splitter = new MainSplitter(controller, state, frame_.data());
    frame_->setCentralWidget(splitter);
    return std::make_unique<MainSplitterProxy>(gui_, splitter, state);
}

std::unique_ptr<IMapViewWindow> GuiFactory::createMapView(IApplicationManager& controller) {
    if (!frame_) {
        return nullptr;
    }
    auto* view = new MobileClientView(controller, images_, frame_);
    mapPane_ = view;
    return std::make_unique<MobileClientViewProxy>(gui_, view);
}

std::unique_ptr<ISatellitesWindow> GuiFactory::createSatellitesWindow(IApplicationManager&) {
    if (!frame_) {
        return nullptr;
    }
    auto* window = new SatellitesWindow(frame_);
    frame_->setSatellitesWindow(window);
    return std::make_unique<SatellitesWindowProxy>(gui_, window);
}

std::unique_ptr<IAboutWindow> GuiFactory::createAboutWindow(IApplicationManager&) {
    if (!frame_) {
        return nullptr;
    }
    return std::make_unique<AboutWindowProxy>(gui_, new AboutWindow(frame_));
}

std::unique_ptr<IGroupListWindow> GuiFactory::createGroupListWindow(
    IApplicationManager& controller) {
    if (!frame_) {
        return nullptr;
    }
    auto* window = new GroupListWindow(controller, frame_->isHighResolution(), frame_.data());
    window->setArea(mapPane_);
    return std::make_unique<GroupListWindowProxy>(gui_, window);
}

std::unique_ptr<IContactInfoWindow> GuiFactory::createContactInfoWindow(
    IApplicationManager& controller, bool withPicture) {
    if (!frame_) {
        return nullptr;
    }
    auto* window = new ContactInfoWindow(controller, withPicture, frame_.data());
    window->setArea(mapPane_);
    return std::make_unique<ContactInfoWindowProxy>(gui_, window);
}

std::unique_ptr<IContactDetailsDialog> GuiFactory::createContactDetailsDialog(
    IApplicationManager& controller) {
    if (!frame_) {
        return nullptr;
    }
    return std::make_unique<ContactDetailsDialogProxy>(
        gui_, new ContactDetailsDialog(controller, frame_));
}

std::unique_ptr<IContactListWindow> GuiFactory::createContactListWindow(
    IApplicationManager& controller, IContactInfoWindow& withPicture,
    IContactInfoWindow& withoutPicture) {
    if (!frame_) {
        return nullptr;
    }
    auto* pane = new WindowContactList(controller, widgetOf<ContactInfoWindow>(withPicture),
                                       widgetOf<ContactInfoWindow>(withoutPicture), frame_);
    return std::make_unique<ContactListWindowProxy>(gui_, pane);
}

std::unique_ptr<IHistoryWindow> GuiFactory::createHistoryWindow(IApplicationManager& controller) {
    if (!frame_) {
        return nullptr;
    }
    return std::make_unique<HistoryDialogProxy>(gui_, new HistoryDialog(controller, frame_));
}

std::unique_ptr<IChatWindow> GuiFactory::createChatWindow(
    IApplicationManager& controller, const std::shared_ptr<LumoraContact>& contact) {
    if (!frame_ || !contact) {
        return nullptr;
    }
    return std::make_unique<ChatDialogProxy>(gui_, new ChatDialog(controller, contact, frame_));
}
