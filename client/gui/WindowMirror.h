#pragma once

#include <QObject>
#include <atomic>
#include <memory>

class QWidget;

// What callers on other threads may know about a window without asking the GUI thread:
// whether it still exists and whether it is shown. The GUI thread keeps it up to date.
struct WindowState {
    std::atomic<bool> exists{false};
    std::atomic<bool> shown{false};
};

// Keeps a WindowState in step with its widget, on the GUI thread: it watches the widget's
// show and hide events and its destruction. A child of the widget, so it goes with it.
class WindowMirror : public QObject {
public:
    // GUI thread only.
    WindowMirror(QWidget* window, std::shared_ptr<WindowState> state);
    ~WindowMirror() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* window_;
    std::shared_ptr<WindowState> state_;
};
