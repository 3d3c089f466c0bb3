#pragma once

#include <memory>

#include "client/app/IMainSplitter.h"
#include "client/gui/MainSplitter.h"
#include "client/gui/WindowProxy.h"

// The controller's handle on the splitter; the pane's state and the bar's position are read
// from the state the splitter keeps (also after it is gone).
class MainSplitterProxy : public WindowProxy<IMainSplitter, MainSplitter> {
public:
    // GUI thread only, with the window just made and the state it keeps.
    MainSplitterProxy(IGuiThread& gui, MainSplitter* splitter,
                      std::shared_ptr<SplitterState> state);

    bool setPanes(IMapViewWindow& mapView, IContactListWindow& contactList) override;
    bool isContactPaneShown() const override { return state_->contactPaneShown.load(); }
    void showContactPane(bool shown) override;
    void toggleContactPane() override;
    int splitterPosition() const override { return state_->position.load(); }
    void setSplitterPosition(int position) override;

private:
    std::shared_ptr<SplitterState> state_;
};
