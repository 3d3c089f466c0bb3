#pragma once

#include "client/app/IWindow.h"

class IContactsGroupWindow;

// The list of the contacts of a group of markers, shown over the map when the user taps the
// group. The map view fills and places it through its own interface.
class IGroupListWindow : public IWindow {
public:
    // The window as the map view's draw logic uses it, on the GUI thread (null when gone).
    virtual IContactsGroupWindow* viewWindow() = 0;
};
