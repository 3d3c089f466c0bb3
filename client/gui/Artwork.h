#pragma once

#include <QIcon>
#include <QPixmap>
#include <QString>

// The program's own pictures: SVG files in the resources under ":/artwork/" (the sources
// lie in client/gui/resources/artwork/). Each is drawn at the size asked for, sharp on the
// screen's pixel ratio, and kept. GUI thread only.
class Artwork {
public:
    // The named picture (file name without ".svg") size x size device-independent pixels,
    // rotated by degrees about its centre. A missing or broken file gives a null pixmap and
    // one ERROR line.
    static QPixmap pixmap(const QString& name, int size, int degrees = 0);
    static QIcon icon(const QString& name, int size);
    // Whether the resources hold the named picture.
    static bool exists(const QString& name);
};
