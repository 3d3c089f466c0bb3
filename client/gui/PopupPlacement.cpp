#include "client/gui/PopupPlacement.h"

#include <QMenu>
#include <QScreen>
#include <QWidget>

void popupAbove(QMenu& menu, QWidget& button) {
    const QSize size = menu.sizeHint();
    QPoint place = button.mapToGlobal(QPoint(0, -size.height()));
    const QScreen* screen = button.screen();
    if (screen != nullptr && place.y() < screen->availableGeometry().top()) {
        place = button.mapToGlobal(QPoint(0, button.height()));
    }
    menu.popup(place);
}
