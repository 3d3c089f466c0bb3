#pragma once

#include "client/app/IWindow.h"

class IInfoWindow;

// A contact's information window over the map (one with the contact's picture, one
// without). The contact list and the map view fill and place it; at most one is shown.
class IContactInfoWindow : public IWindow {
public:
    // The window as the map view's draw logic uses it, on the GUI thread (null when gone).
    virtual IInfoWindow* viewWindow() = 0;
};
