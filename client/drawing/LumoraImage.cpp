#include "client/drawing/LumoraImage.h"

#include <QPainter>

LumoraImage::LumoraImage(QImage image)
    : image_(image.format() == QImage::Format_ARGB32_Premultiplied
                 ? std::move(image)
                 : image.convertToFormat(QImage::Format_ARGB32_Premultiplied)),
      context_(image_) {}

void LumoraImage::copyFromDC(const IDrawContext& source, int x, int y, int sourceX, int sourceY,
                             int width, int height) {
    context_.copyFrom(source, x, y, sourceX, sourceY, width, height);
}

void LumoraImage::draw(IDrawContext& target, int x, int y, int width, int height) const {
    QImage* to = QtDrawContext::imageOf(target, "LumoraImage::draw");
    if (to == nullptr || to->isNull() || width <= 0 || height <= 0) {
        return;
    }
    QPainter painter(to);
    painter.drawImage(QPoint(x, y), image_, QRect(0, 0, width, height));
}

void LumoraImage::drawStretched(IDrawContext& target, int x, int y, int width, int height) const {
    QImage* to = QtDrawContext::imageOf(target, "LumoraImage::drawStretched");
    if (to == nullptr || to->isNull() || width <= 0 || height <= 0) {
        return;
    }
    QPainter painter(to);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(QRect(x, y, width, height), image_);
}

QImage LumoraImage::keyed(Rgb transparent) const {
    std::lock_guard<std::mutex> lock(keyedLock_);
    if (keyedFor_ != image_.cacheKey()) {
        keyed_.clear();  // drawn into since: the cut-out copies are stale
        keyedFor_ = image_.cacheKey();
    }
    auto it = keyed_.find(transparent);
    if (it != keyed_.end()) {
        return it->second;  // shared, not copied
    }
    QImage out = image_.convertToFormat(QImage::Format_ARGB32);
    for (int row = 0; row < out.height(); ++row) {
        auto* line = reinterpret_cast<QRgb*>(out.scanLine(row));
        for (int column = 0; column < out.width(); ++column) {
            if ((line[column] & 0xFFFFFFu) == transparent) {
                line[column] = 0;
            }
        }
    }
    out = out.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    keyed_.emplace(transparent, out);
    return out;
}

void LumoraImage::drawTransparentPart(IDrawContext& target, int x, int y, int width, int height,
                                      int sourceX, int sourceY, int sourceWidth, int sourceHeight,
                                      Rgb transparent) const {
    QImage* to = QtDrawContext::imageOf(target, "LumoraImage::drawTransparentPart");
    if (to == nullptr || to->isNull() || width <= 0 || height <= 0 || sourceWidth <= 0 ||
        sourceHeight <= 0) {
        return;
    }
    const QImage cut = keyed(transparent);
    QPainter painter(to);
    painter.drawImage(QRect(x, y, width, height), cut,
                      QRect(sourceX, sourceY, sourceWidth, sourceHeight));
}

void LumoraImage::drawTransparent(IDrawContext& target, int x, int y, int width, int height,
                                  Rgb transparent) const {
    drawTransparentPart(target, x, y, width, height, 0, 0, image_.width(), image_.height(),
                        transparent);
}
