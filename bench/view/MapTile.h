#pragma once

#include <QBuffer>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <random>
#include <string>

// A 256 x 256 PNG that looks like a street map tile (and compresses like one, 10 to 30
// KiB): land, blocks, parks, water and streets of several widths, antialiased.
inline std::string mapLikeTile(unsigned int seed) {
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> coord(-40, 296);
    QImage image(256, 256, QImage::Format_RGB32);
    image.fill(QColor(242, 239, 233));
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    for (int i = 0; i < 14; ++i) {
        const QColor fills[] = {QColor(224, 223, 223), QColor(200, 230, 180), QColor(170, 211, 223),
                                QColor(217, 208, 201)};
        painter.setBrush(fills[i % 4]);
        painter.drawRect(coord(random), coord(random), 20 + coord(random) / 4,
                         20 + coord(random) / 5);
    }
    for (int i = 0; i < 30; ++i) {
        const QColor strokes[] = {QColor(255, 255, 255), QColor(252, 214, 164),
                                  QColor(247, 250, 191), QColor(233, 144, 160)};
        QPen pen(strokes[i % 4]);
        pen.setWidthF(1.5 + (i % 5) * 1.7);
        pen.setCapStyle(Qt::RoundCap);
        painter.setPen(pen);
        QPainterPath path(QPointF(coord(random), coord(random)));
        path.quadTo(coord(random), coord(random), coord(random), coord(random));
        painter.setBrush(Qt::NoBrush);
        painter.drawPath(path);
    }
    painter.end();
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}
