#include "client/gui/WindowMirror.h"

#include <QEvent>
#include <QWidget>

WindowMirror::WindowMirror(QWidget* window, std::shared_ptr<WindowState> state)
    : QObject(window), window_(window), state_(std::move(state)) {
    state_->exists = true;
    state_->shown = window->isVisible();
    window->installEventFilter(this);
}

// Destroyed with the widget (as its child), or before it by whoever owns the mirror.
WindowMirror::~WindowMirror() {
    state_->shown = false;
    state_->exists = false;
}

bool WindowMirror::eventFilter(QObject* watched, QEvent* event) {
    if (watched == window_ && (event->type() == QEvent::Show || event->type() == QEvent::Hide)) {
        state_->shown = window_->isVisible();
    }
    return QObject::eventFilter(watched, event);
}
