#include "client/gui/ScreenResolution.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

bool ScreenResolution::isHighFor(const QWidget* widget) {
    QScreen* screen = widget != nullptr ? widget->screen() : nullptr;
    if (screen == nullptr) {
        screen = QGuiApplication::primaryScreen();
    }
    if (screen == nullptr) {
        return true;
    }
    const QSize size = screen->size();
    return isHigh(size.width(), size.height());
}
