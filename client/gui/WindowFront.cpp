#include "client/gui/WindowFront.h"

#include <QGuiApplication>
#include <QWidget>

void bringWindowToFront(QWidget& window) {
    if (window.isMinimized()) {
        window.showNormal();
    }
    window.show();
    if (QGuiApplication::platformName() != QLatin1String("offscreen")) {
        window.raise();  // the offscreen platform cannot raise and only warns
    }
    window.activateWindow();
}
