#pragma once

#include "client/app/IGroupListWindow.h"
#include "client/gui/GroupListWindow.h"
#include "client/gui/WindowProxy.h"

// The controller's handle on the group list; the map view fills it on the GUI thread.
class GroupListWindowProxy : public WindowProxy<IGroupListWindow, GroupListWindow> {
public:
    GroupListWindowProxy(IGuiThread& gui, GroupListWindow* window)
        : WindowProxy(gui, window, "GroupListWindow") {}

    IContactsGroupWindow* viewWindow() override { return window_.widget(); }
};
