#pragma once

#include <QImage>

#include "client/graphics/IDrawContext.h"

// A drawing context over a QImage (not owned), drawn with QPainter. QImage and QPainter
// work on any thread, one thread per image at a time. Texts need a QGuiApplication in the
// process (fonts); without one they are left out and measure as 0 x 0.
class QtDrawContext : public IDrawContext {
public:
    explicit QtDrawContext(QImage& image) : image_(image) {}

    int getWidth() const override { return image_.width(); }
    int getHeight() const override { return image_.height(); }
    void fillRect(const Rect& rect, Rgb colour) override;
    void drawLine(int x1, int y1, int x2, int y2, Rgb colour, int penWidth) override;
    void drawRectangle(const Rect& rect, Rgb pen, Rgb brush) override;
    bool measureText(const std::wstring& text, const TextStyle& style, int& width,
                     int& height) override;
    void drawText(const Rect& rect, const std::wstring& text, Rgb colour, const TextStyle& style,
                  int flags) override;
    void copyFrom(const IDrawContext& source, int x, int y, int sourceX, int sourceY, int width,
                  int height) override;
    Rgb getPixel(int x, int y) const override;

    QImage& image() { return image_; }
    const QImage& image() const { return image_; }

    // The QImage behind a context of this kind, or null for another kind (logged).
    static QImage* imageOf(IDrawContext& context, const char* operation);
    static const QImage* imageOf(const IDrawContext& context, const char* operation);
    // Whether texts can be drawn in this process (a QGuiApplication exists).
    static bool canDrawText();

private:
    QImage& image_;
};
