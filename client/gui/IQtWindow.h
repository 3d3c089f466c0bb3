#pragma once

class QWidget;

// The GUI side of a window proxy: the widget behind it, for the windows that hold other
// windows (the splitter takes the map view and the contact pane through it). GUI thread
// only; null when the widget is gone.
class IQtWindow {
public:
    virtual QWidget* widget() const = 0;

protected:
    ~IQtWindow() = default;
};
