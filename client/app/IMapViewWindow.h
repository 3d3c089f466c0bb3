#pragma once

#include "client/app/IWindow.h"
#include "kestra/ITimerListener.h"

class IDrawContactsToMap;
class IMapsView;

// The map view window as the controller keeps it: the GUI factory makes it, the controller
// keeps it (ControllerWindows), the splitter shows it in its map pane. The controller's timer
// ticks it. Its drawing side is what the view manager and the contact drawing thread draw
// through; both may be used from any thread for as long as this handle lives.
class IMapViewWindow : public IWindow, public kestra::ITimerListener {
public:
    // The window as the view manager sees it; null for a window without a map.
    virtual IMapsView* mapsView() = 0;
    // The window as the contact drawing thread sees it; null for a window without a map.
    virtual IDrawContactsToMap* contactsDrawer() = 0;
};
