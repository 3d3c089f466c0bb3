#pragma once

#include "client/app/IWindow.h"

class IContactListWindow;
class IMapViewWindow;

// The main frame's client area: the map view beside the contact pane, with the bar between
// them that the user drags. The pane's state and the bar's position are mirrored, so they
// can be read after the window has gone (they are saved at shutdown).
class IMainSplitter : public IWindow {
public:
    // GUI thread, while the windows are made: the splitter takes the two windows as its
    // panes. False when either is not a window of this GUI.
    virtual bool setPanes(IMapViewWindow& mapView, IContactListWindow& contactList) = 0;
    virtual bool isContactPaneShown() const = 0;
    virtual void showContactPane(bool shown) = 0;
    // Shows the contact pane when it is hidden and hides it when it is shown, judged on the
    // GUI thread when the work runs (so two quick toggles never count as one).
    virtual void toggleContactPane() = 0;
    // The bar's position: the width of the map pane in pixels; 0 before it was laid out.
    virtual int splitterPosition() const = 0;
    // Sets the bar's position; a position outside the client area gives half its width.
    virtual void setSplitterPosition(int position) = 0;
};
