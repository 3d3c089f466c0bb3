#pragma once

#include "client/app/IWindow.h"
#include "kestra/ITimerListener.h"

// The map view window as the controller keeps it: the GUI factory makes it, the controller
// keeps it (ControllerWindows), the splitter shows it in its map pane. The controller's
// timer ticks it. Its drawing side (the view manager's view, the markers) is reached through
// the map view's own interfaces.
class IMapViewWindow : public IWindow, public kestra::ITimerListener {};
