#include "testing/view/MarkerArtwork.h"

#include <QBuffer>
#include <QImage>
#include <QPainter>

#include "client/view/MapMarkers.h"

namespace fixture {

Rgb MarkerArtwork::colourOf(int kind) {
    static const Rgb colours[] = {rgb(30, 90, 230), rgb(90, 90, 140), rgb(40, 200, 60),
                                  rgb(200, 40, 40), rgb(240, 160, 0), rgb(20, 170, 40),
                                  rgb(120, 30, 30)};
    return kind >= 0 && kind < 7 ? colours[kind] : 0;
}

void MarkerArtwork::registerWith(IImageFactory& factory) {
    for (int kind = 0; kind < 7; ++kind) {
        const int size = kind <= 1 ? OWN_SIZE : kind <= 4 ? GROUP_SIZE : CONTACT_SIZE;
        QImage image(size, size, QImage::Format_RGB32);
        image.fill(QColor(255, 0, 255));
        {
            QPainter painter(&image);
            const Rgb c = colourOf(kind);
            painter.setPen(Qt::NoPen);
            painter.setBrush(QColor(redOf(c), greenOf(c), blueOf(c)));
            painter.drawEllipse(1, 1, size - 2, size - 2);
        }
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        image.save(&buffer, "PNG");
        factory.addResource(MapMarkers::IMAGE_NAMES[static_cast<std::size_t>(kind)],
                            std::string(bytes.constData(), static_cast<std::size_t>(bytes.size())));
    }
}

}  // namespace fixture
