#pragma once

#include <string>
#include <utility>

#include "client/gui/IQtWindow.h"
#include "client/gui/QueuedWindow.h"
#include "client/gui/WindowFront.h"

// The controller's handle on one window: Interface (an IWindow of client/app) over the
// widget, every operation queued through QueuedWindow. Windows with operations of their own
// derive from it and add them the same way.
template <class Interface, class Widget>
class WindowProxy : public Interface, public IQtWindow {
public:
    // GUI thread only, with the window just made; name appears in the log lines.
    WindowProxy(IGuiThread& gui, Widget* widget, std::string name)
        : window_(gui, widget, std::move(name)) {}

    bool isWindow() const override { return window_.exists(); }
    bool isShown() const override { return window_.isShown(); }
    bool show() override {
        return window_.post([](Widget& widget) { bringWindowToFront(widget); });
    }
    bool hide() override {
        return window_.post([](Widget& widget) { widget.hide(); });
    }
    QWidget* widget() const override { return window_.widget(); }

protected:
    QueuedWindow<Widget> window_;
};
