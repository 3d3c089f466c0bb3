#pragma once

#include <QWidget>

// The map pane's content until the map view window takes its place: a plain area.
class MapViewPlaceholder : public QWidget {
public:
    explicit MapViewPlaceholder(QWidget* parent);

    QSize sizeHint() const override { return QSize(320, 320); }
    QSize minimumSizeHint() const override { return QSize(80, 80); }

protected:
    void paintEvent(QPaintEvent* event) override;
};
