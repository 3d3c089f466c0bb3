#pragma once

#include <QImage>
#include <map>
#include <mutex>

#include "client/drawing/QtDrawContext.h"
#include "client/graphics/ILumoraImage.h"

// An image in memory (QImage, premultiplied ARGB), drawn with QPainter. Transparent draws
// use a copy of the image in which the transparent colour is cut out; that copy is made
// once per colour, on the first such draw, and reused until the image's pixels change.
class LumoraImage : public ILumoraImage {
public:
    // Takes the pixels; format converted to premultiplied ARGB.
    explicit LumoraImage(QImage image);
    LumoraImage(const LumoraImage&) = delete;
    LumoraImage& operator=(const LumoraImage&) = delete;

    int getWidth() const override { return image_.width(); }
    int getHeight() const override { return image_.height(); }
    void copyFromDC(const IDrawContext& source, int x, int y, int sourceX, int sourceY, int width,
                    int height) override;
    void draw(IDrawContext& target, int x, int y, int width, int height) const override;
    void drawStretched(IDrawContext& target, int x, int y, int width, int height) const override;
    void drawTransparentPart(IDrawContext& target, int x, int y, int width, int height, int sourceX,
                             int sourceY, int sourceWidth, int sourceHeight,
                             Rgb transparent) const override;
    void drawTransparent(IDrawContext& target, int x, int y, int width, int height,
                         Rgb transparent) const override;
    IDrawContext& getContext() override { return context_; }
    const IDrawContext& getContext() const override { return context_; }

    const QImage& image() const { return image_; }

private:
    QImage keyed(Rgb transparent) const;

    QImage image_;
    QtDrawContext context_;
    mutable std::mutex keyedLock_;
    mutable qint64 keyedFor_ = 0;  // the image's cache key when the copies were made
    mutable std::map<Rgb, QImage> keyed_;
};
