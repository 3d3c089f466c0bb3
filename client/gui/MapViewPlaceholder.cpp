#include "client/gui/MapViewPlaceholder.h"

#include <QPainter>

#include "client/gui/Artwork.h"

MapViewPlaceholder::MapViewPlaceholder(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("mapView"));
}

void MapViewPlaceholder::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), QColor(214, 226, 235));
    const int side = qMin(96, qMin(width(), height()) / 3);
    if (side > 8) {
        painter.setOpacity(0.35);
        painter.drawPixmap(QRect((width() - side) / 2, (height() - side) / 2, side, side),
                           Artwork::pixmap(QStringLiteral("lumora"), side));
    }
}
