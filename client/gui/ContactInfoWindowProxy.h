#pragma once

#include "client/app/IContactInfoWindow.h"
#include "client/gui/ContactInfoWindow.h"
#include "client/gui/WindowProxy.h"

// The controller's handle on an information window; the contact list and the map view fill
// and place it on the GUI thread.
class ContactInfoWindowProxy : public WindowProxy<IContactInfoWindow, ContactInfoWindow> {
public:
    ContactInfoWindowProxy(IGuiThread& gui, ContactInfoWindow* window)
        : WindowProxy(gui, window, "ContactInfoWindow") {}

    IInfoWindow* viewWindow() override { return window_.widget(); }
};
