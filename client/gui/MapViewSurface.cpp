#include "client/gui/MapViewSurface.h"

#include <QBuffer>
#include <QByteArray>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>
#include <array>
#include <cmath>

#include "client/graphics/IImageFactory.h"
#include "client/maps/IMapsLoader.h"
#include "client/maps/MapsLoaderManager.h"
#include "client/view/IDrawContactsToMap.h"
#include "client/view/IDrawLogic.h"
#include "kestra/Log.h"

namespace {

const Rgb BOX_FILL = rgb(237, 244, 250);
const Rgb BOX_FRAME = rgb(157, 198, 225);
const Rgb TEXT = rgb(0, 0, 0);
const Rgb SCALE_INK = rgb(40, 40, 40);

// The artwork of each image kind (in the order of IDrawContactsToMap's kinds) and its size
// in widget pixels on small and on large screens.
struct MarkerArt {
    const char* file;
    int small;
    int large;
};
const std::array<MarkerArt, IDrawContactsToMap::IMAGE_KINDS> MARKER_ART = {{
    {"marker-own-online", 20, 30},
    {"marker-own-offline", 20, 30},
    {"marker-group-all-online", 22, 34},
    {"marker-group-none-online", 22, 34},
    {"marker-group-some-online", 22, 34},
    {"marker-contact-online", 18, 28},
    {"marker-contact-offline", 18, 28},
}};

// The picture drawn at side x side pixels as PNG bytes (empty when the file is missing).
std::string renderPng(const char* name, int side) {
    QSvgRenderer renderer(QStringLiteral(":/artwork/%1.svg").arg(QLatin1String(name)));
    if (!renderer.isValid() || side <= 0) {
        kestra::Log::error(std::string("MobileClientView: no marker artwork ") + name);
        return std::string();
    }
    QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        renderer.render(&painter, QRectF(0, 0, side, side));
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

}  // namespace

MapViewSurface::MapViewSurface(IImageFactory& images, double scale, bool highResolution,
                               int fontPixels, Texts texts)
    : scale_(scale > 0 ? scale : 1.0), high_(highResolution), texts_(std::move(texts)) {
    const int font = fontPixels > 0 ? fontPixels : 12;
    // Labels: bold, 95% of the window font.
    labelStyle_ = TextStyle{px(font * 0.95), true};
    boxStyle_ = TextStyle{px(font), true};
    smallStyle_ = TextStyle{px(std::max(9.0, font * 0.8)), false};
    for (std::size_t kind = 0; kind < MARKER_ART.size(); ++kind) {
        const MarkerArt& art = MARKER_ART[kind];
        const std::string png = renderPng(art.file, px(high_ ? art.large : art.small));
        if (!png.empty()) {
            images.addResource(MapMarkers::IMAGE_NAMES[kind], png);
        }
    }
    markers_ = std::make_unique<MapMarkers>(images, labelStyle_);
}

int MapViewSurface::px(double widgetPixels) const {
    return static_cast<int>(std::lround(widgetPixels * scale_));
}

Rect MapViewSurface::loadingBox(int frameWidth) const {
    const int textWidth = px(boxStyle_.pixelSize / scale_ * 5.2);
    const int right = frameWidth - px(high_ ? 10 : 5);
    const int top = px(5);
    return Rect(right - textWidth - px(12), top, right, top + boxStyle_.pixelSize + px(8));
}

void MapViewSurface::drawLabelBox(IDrawContext& dc, const Rect& box, const std::wstring& text,
                                  const TextStyle& style, int flags) const {
    dc.drawRectangle(box, BOX_FRAME, BOX_FILL);
    dc.drawText(Rect(box.left + px(6), box.top, box.right - px(6), box.bottom), text, TEXT, style,
                flags | TEXT_VCENTER);
}

// The message line: a box across the top of the map, below the zoom buttons' row.
void MapViewSurface::drawMessageText(IDrawContext& dc, const std::wstring& text) const {
    int w = 0;
    int h = 0;
    dc.measureText(text, boxStyle_, w, h);
    const int width = std::min(dc.getWidth() - px(16), w + px(16));
    const int left = (dc.getWidth() - width) / 2;
    const int top = px(40);
    drawLabelBox(dc, Rect(left, top, left + width, top + std::max(h, boxStyle_.pixelSize) + px(8)),
                 text, boxStyle_, TEXT_CENTER);
}

// The status text: a box at the bottom of the map, above the scale bar and attribution.
void MapViewSurface::drawStatusText(IDrawContext& dc, const std::wstring& text) const {
    int w = 0;
    int h = 0;
    dc.measureText(text, boxStyle_, w, h);
    const int width = std::min(dc.getWidth() - px(16), w + px(16));
    const int left = (dc.getWidth() - width) / 2;
    const int bottom = dc.getHeight() - px(34);
    drawLabelBox(
        dc, Rect(left, bottom - std::max(h, boxStyle_.pixelSize) - px(8), left + width, bottom),
        text, boxStyle_, TEXT_CENTER);
}

void MapViewSurface::drawFinalOverlay(IDrawContext& dc) const {
    if (loading) {
        // "Loading" with one to three dots that move with the controller's ticks.
        const int dots = 1 + (loadingTicks.load() / 2) % 3;
        drawLabelBox(dc, loadingBox(dc.getWidth()), texts_.loading + std::wstring(dots, L'.'),
                     boxStyle_, TEXT_LEFT);
    }
    if (cachedMapsLabel) {
        int w = 0;
        int h = 0;
        dc.measureText(texts_.cachedMaps, boxStyle_, w, h);
        const int bottom = dc.getHeight() - px(30);
        const int left = px(8);
        drawLabelBox(dc,
                     Rect(left, bottom - std::max(h, boxStyle_.pixelSize) - px(6),
                          left + w + px(12), bottom),
                     texts_.cachedMaps, boxStyle_, TEXT_LEFT);
    }
    drawScaleBar(dc);
    drawAttribution(dc);
}

bool MapViewSurface::scaleBar(const MercatorCoords& centre, int zoom, int blockSide, int maxPixels,
                              double& metres, int& pixels) {
    if (zoom < 1 || zoom > MAX_LEVELS_NUM || blockSide <= 0 || maxPixels <= 0) {
        return false;
    }
    WorldCoords position;
    CoordinateUtils::pointToWorldCoords(centre, zoom, blockSide, position);
    const double latitude = CoordinateUtils::toDecimal(position).latitude;
    const double world =
        static_cast<double>(CoordinateUtils::blocksPerSide(zoom)) * static_cast<double>(blockSide);
    // Metres per pixel of the projection at the centre's latitude (WGS 84 equator).
    const double perPixel =
        2.0 * M_PI * 6378137.0 * std::cos(latitude * CoordinateUtils::DEG_TO_RAD) / world;
    if (!(perPixel > 0) || !std::isfinite(perPixel)) {
        return false;
    }
    const double longest = perPixel * maxPixels;
    double round = std::pow(10.0, std::floor(std::log10(longest)));
    for (const double step : {5.0, 2.0, 1.0}) {
        if (round * step <= longest) {
            round *= step;
            break;
        }
    }
    metres = round;
    pixels = static_cast<int>(std::lround(round / perPixel));
    return pixels > 0;
}

std::wstring MapViewSurface::distanceText(double metres) {
    if (metres >= 1000.0) {
        return std::to_wstring(static_cast<long long>(std::lround(metres / 1000.0))) + L" km";
    }
    return std::to_wstring(static_cast<long long>(std::lround(metres))) + L" m";
}

std::wstring MapViewSurface::attribution() {
    IMapsLoader* source = MapsLoaderManager::getCurrentLoader();
    return source != nullptr ? source->getAttribution() : std::wstring();
}

void MapViewSurface::drawScaleBar(IDrawContext& dc) const {
    IDrawLogic* view = logic;
    MercatorCoords centre;
    int zoom = 0;
    int width = 0;
    int height = 0;
    int side = 0;
    if (view == nullptr || !view->getViewParams(centre, zoom, width, height, side)) {
        return;
    }
    double metres = 0;
    int pixels = 0;
    if (!scaleBar(centre, zoom, side, std::min(px(110), dc.getWidth() / 3), metres, pixels)) {
        return;
    }
    const int left = px(10);
    const int base = dc.getHeight() - px(10);
    const int tick = px(6);
    const int pen = std::max(1, px(2));
    const std::wstring text = distanceText(metres);
    int w = 0;
    int h = 0;
    dc.measureText(text, smallStyle_, w, h);
    // A light plate under the bar keeps it readable on dark and busy tiles.
    dc.fillRect(Rect(left - px(4), base - tick - h - px(4), left + std::max(pixels, w) + px(4),
                     base + px(4)),
                rgb(255, 255, 255));
    dc.drawLine(left, base, left + pixels, base, SCALE_INK, pen);
    dc.drawLine(left, base - tick, left, base, SCALE_INK, pen);
    dc.drawLine(left + pixels, base - tick, left + pixels, base, SCALE_INK, pen);
    dc.drawText(Rect(left + px(2), base - tick - h - px(2), left + px(2) + w + px(4), base - tick),
                text, SCALE_INK, smallStyle_, TEXT_LEFT);
}

void MapViewSurface::drawAttribution(IDrawContext& dc) const {
    const std::wstring text = attribution();
    if (text.empty()) {
        return;
    }
    int w = 0;
    int h = 0;
    if (!dc.measureText(text, smallStyle_, w, h)) {
        return;
    }
    const int right = dc.getWidth();
    const int bottom = dc.getHeight();
    const Rect box(right - w - px(8), bottom - h - px(4), right, bottom);
    dc.fillRect(box, rgb(255, 255, 255));
    dc.drawText(Rect(box.left + px(4), box.top + px(2), box.right - px(4), box.bottom - px(2)),
                text, rgb(60, 60, 60), smallStyle_, TEXT_LEFT);
}
