#include "client/gui/MainSplitterProxy.h"

#include "client/app/IContactListWindow.h"
#include "client/app/IMapViewWindow.h"
#include "kestra/Log.h"

MainSplitterProxy::MainSplitterProxy(IGuiThread& gui, MainSplitter* splitter,
                                     std::shared_ptr<SplitterState> state)
    : WindowProxy(gui, splitter, "MainSplitter"), state_(std::move(state)) {}

// The panes are windows of this GUI: their proxies give their widgets.
bool MainSplitterProxy::setPanes(IMapViewWindow& mapView, IContactListWindow& contactList) {
    const auto* map = dynamic_cast<const IQtWindow*>(&mapView);
    const auto* list = dynamic_cast<const IQtWindow*>(&contactList);
    MainSplitter* splitter = window_.widget();
    if (map == nullptr || list == nullptr || splitter == nullptr || map->widget() == nullptr ||
        list->widget() == nullptr) {
        kestra::Log::error("MainSplitter::setPanes: a pane is not a window of this GUI.");
        return false;
    }
    splitter->setPanes(map->widget(), list->widget());
    return true;
}

void MainSplitterProxy::showContactPane(bool shown) {
    state_->contactPaneShown = shown;  // answered at once, as the window will show it
    window_.post([shown](MainSplitter& splitter) { splitter.showContactPane(shown); });
}

void MainSplitterProxy::toggleContactPane() {
    window_.post([](MainSplitter& splitter) { splitter.toggleContactPane(); });
}

void MainSplitterProxy::setSplitterPosition(int position) {
    window_.post([position](MainSplitter& splitter) { splitter.setSplitterPosition(position); });
}
