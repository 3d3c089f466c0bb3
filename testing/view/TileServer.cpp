#include "testing/view/TileServer.h"

#include <QBuffer>
#include <QColor>
#include <QImage>

#include "kestra/Settings.h"
#include "kestra/TextCodec.h"

namespace fixture {

TileServer::TileServer() {
    serveBytes(1, 0, 0, png(rgb(10, 120, 10)));  // "/0/0/0.png": the loader's probe
}

void TileServer::configureSettings() const {
    kestra::Settings::setStringValue(L"maps.openStreet.tileHost", kestra::utf8ToWide(host()));
    kestra::Settings::setIntValue(L"maps.loaderName", 2);
}

Rgb TileServer::colourOf(int level, int x, int y) {
    const int r = 40 + (x * 71 + level * 13) % 160;
    const int g = 40 + (y * 53 + level * 29) % 160;
    const int b = 40 + ((x + 2 * y) * 37 + level * 5) % 40;  // low blue: never magenta
    return rgb(r, g, b == 100 && r == 100 && g == 100 ? 101 : b);
}

std::string TileServer::png(Rgb colour, int size) {
    QImage image(size, size, QImage::Format_RGB32);
    image.fill(QColor(redOf(colour), greenOf(colour), blueOf(colour)));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

std::string TileServer::pathOf(int level, int x, int y) {
    return "/" + std::to_string(level - 1) + "/" + std::to_string(x) + "/" + std::to_string(y) +
           ".png";
}

void TileServer::serveBytes(int level, int x, int y, const std::string& bytes,
                            const std::string& contentType) {
    HttpServer::Resource tile;
    tile.contentType = contentType;
    tile.body = bytes;
    http_.serve(pathOf(level, x, y), tile);
}

void TileServer::serveTile(int level, int x, int y) {
    serveBytes(level, x, y, png(colourOf(level, x, y)));
}

void TileServer::serveAround(int level, const MercatorCoords& centre, int width, int height) {
    const std::int64_t n = CoordinateUtils::blocksPerSide(level);
    const std::int64_t x0 = (static_cast<std::int64_t>(centre.x) - width / 2) / SIDE - 1;
    const std::int64_t x1 = (static_cast<std::int64_t>(centre.x) + width / 2) / SIDE + 1;
    const std::int64_t y0 = (static_cast<std::int64_t>(centre.y) - height / 2) / SIDE - 1;
    const std::int64_t y1 = (static_cast<std::int64_t>(centre.y) + height / 2) / SIDE + 1;
    for (std::int64_t y = std::max<std::int64_t>(0, y0); y <= y1 && y < n; ++y) {
        for (std::int64_t x = std::max<std::int64_t>(0, x0); x <= x1 && x < n; ++x) {
            serveTile(level, static_cast<int>(x), static_cast<int>(y));
        }
    }
}

}  // namespace fixture
