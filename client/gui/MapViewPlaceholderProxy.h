#pragma once

#include "client/app/IMapViewWindow.h"
#include "client/gui/MapViewPlaceholder.h"
#include "client/gui/WindowProxy.h"

// The controller's handle on the map pane's placeholder (the map view window replaces both).
class MapViewPlaceholderProxy : public WindowProxy<IMapViewWindow, MapViewPlaceholder> {
public:
    MapViewPlaceholderProxy(IGuiThread& gui, MapViewPlaceholder* view)
        : WindowProxy(gui, view, "MobileClientView") {}

    // Nothing moves on the placeholder.
    void onTimer() override {}
};
