#pragma once

#include "client/app/ISatellitesWindow.h"
#include "client/gui/SatellitesWindow.h"
#include "client/gui/WindowProxy.h"

// The controller's handle on the satellites window; the GPS owner's lists are copied to it.
class SatellitesWindowProxy : public WindowProxy<ISatellitesWindow, SatellitesWindow> {
public:
    SatellitesWindowProxy(IGuiThread& gui, SatellitesWindow* window)
        : WindowProxy(gui, window, "WindowGPSSatellites") {}

    void setSatellites(const SatelliteList& satellites, bool fix) override {
        window_.post(
            [satellites, fix](SatellitesWindow& window) { window.setSatellites(satellites, fix); });
    }
};
