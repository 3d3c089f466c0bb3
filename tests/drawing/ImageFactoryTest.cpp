// The image factory and the drawing context on Qt Gui, against real encoded images.
#include "client/drawing/QtImageFactory.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QImage>
#include <QPainter>
#include <string>

#include "LogCapture.h"

namespace {

const Rgb RED = rgb(255, 0, 0);
const Rgb GREEN = rgb(0, 200, 0);
const Rgb BLUE = rgb(0, 0, 255);
const Rgb YELLOW = rgb(255, 255, 0);
const Rgb MAGENTA = rgb(255, 0, 255);

QColor q(Rgb c) {
    return QColor(redOf(c), greenOf(c), blueOf(c));
}

std::string encode(const QImage& image, const char* format) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

// size x size pixels in four quadrants: red, green / blue, yellow.
QImage quadrants(int size) {
    QImage image(size, size, QImage::Format_RGB32);
    QPainter painter(&image);
    const int h = size / 2;
    painter.fillRect(0, 0, h, h, q(RED));
    painter.fillRect(h, 0, size - h, h, q(GREEN));
    painter.fillRect(0, h, h, size - h, q(BLUE));
    painter.fillRect(h, h, size - h, size - h, q(YELLOW));
    return image;
}

// A 1 x 1 red GIF89a, built by hand (Qt cannot write GIF): header, screen descriptor with
// a 2-entry colour table (red, black), image descriptor, LZW data, trailer.
std::string redGif() {
    const unsigned char bytes[] = {0x47, 0x49, 0x46, 0x38, 0x39, 0x61, 0x01, 0x00, 0x01,
                                   0x00, 0x80, 0x00, 0x00, 0xFF, 0x00, 0x00, 0x00, 0x00,
                                   0x00, 0x2C, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x01,
                                   0x00, 0x00, 0x02, 0x02, 0x44, 0x01, 0x00, 0x3B};
    return std::string(reinterpret_cast<const char*>(bytes), sizeof bytes);
}

// A PNG header that claims 100000 x 100000 pixels (the chunks after it are missing).
std::string hugePngHeader() {
    std::string png = encode(quadrants(4), "PNG");
    const unsigned char size[] = {0x00, 0x01, 0x86, 0xA0};  // 100000, big-endian
    png.replace(16, 4, reinterpret_cast<const char*>(size), 4);
    png.replace(20, 4, reinterpret_cast<const char*>(size), 4);
    return png;
}

class ImageFactoryTest : public ::testing::Test {
protected:
    QtImageFactory factory;
};

int channelDistance(Rgb a, Rgb b) {
    return std::abs(redOf(a) - redOf(b)) + std::abs(greenOf(a) - greenOf(b)) +
           std::abs(blueOf(a) - blueOf(b));
}

TEST_F(ImageFactoryTest, DecodesTheFourFormatsFromMemoryAndNamesTheirTypes) {
    const QImage source = quadrants(16);
    const struct {
        std::string bytes;
        const wchar_t* mime;
        int size;
        Rgb topLeft;
        int tolerance;
    } cases[] = {
        {encode(source, "PNG"), L"image/png", 16, RED, 0},
        {encode(source, "BMP"), L"image/x-ms-bmp", 16, RED, 0},
        {encode(source, "JPEG"), L"image/jpeg", 16, RED, 60},
        {redGif(), L"image/gif", 1, RED, 0},
    };
    for (const auto& c : cases) {
        int width = 0;
        int height = 0;
        std::wstring mime;
        ASSERT_TRUE(factory.getImageInfo(c.bytes.data(), c.bytes.size(), width, height, mime));
        EXPECT_EQ(mime, c.mime);
        EXPECT_EQ(width, c.size);
        EXPECT_EQ(height, c.size);
        auto image = factory.createImageFromBuffer(c.bytes.data(), c.bytes.size());
        ASSERT_NE(image, nullptr) << std::string(c.mime, c.mime + wcslen(c.mime));
        EXPECT_EQ(image->getWidth(), c.size);
        EXPECT_LE(channelDistance(image->getContext().getPixel(0, 0), c.topLeft), c.tolerance);
    }
    // A readable image of another format has no type but still reports its size.
    const std::string ppm = encode(source, "PPM");
    int width = 0;
    int height = 0;
    std::wstring mime = L"x";
    EXPECT_TRUE(factory.getImageInfo(ppm.data(), ppm.size(), width, height, mime));
    EXPECT_EQ(mime, L"");
    EXPECT_EQ(width, 16);
}

TEST_F(ImageFactoryTest, BadBytesGiveNullAndOneLogLineNeverAnException) {
    LogCapture log;
    const std::string png = encode(quadrants(64), "PNG");
    const std::string inputs[] = {"<html>not a tile</html>", png.substr(0, png.size() / 2),
                                  std::string(), hugePngHeader()};
    const char* decode = "[ERROR] LumoraImage: CreateImageFromBuffer != S_OK.";
    std::size_t failures = 0;
    for (const std::string& bytes : inputs) {
        EXPECT_EQ(factory.createImage(bytes.data(), bytes.size(), 256, 256), nullptr);
        EXPECT_EQ(factory.createImageFromBuffer(bytes.data(), bytes.size()), nullptr);
        EXPECT_EQ(factory.createImageOnColor(bytes.data(), bytes.size(), 8, 8, RED), nullptr);
        failures += 3;
        EXPECT_EQ(log.count(decode), failures) << "one line per failure";
    }
    int w = 0;
    int h = 0;
    std::wstring mime;
    EXPECT_FALSE(factory.getImageInfo("GIF", 3, w, h, mime));
    EXPECT_FALSE(factory.getImageInfo(nullptr, 0, w, h, mime));
    EXPECT_EQ(factory.createImage(nullptr, 10, 256, 256), nullptr);

    // No pixels to decode into: the buffer line, and no decode is tried.
    const std::size_t decodes = log.count(decode);
    EXPECT_EQ(factory.createImage(png.data(), png.size(), 0, 256), nullptr);
    EXPECT_EQ(factory.createEmptyImage(-1, 5, RED), nullptr);
    EXPECT_EQ(factory.createEmptyImage(100000, 100000, RED), nullptr);
    EXPECT_EQ(log.count("[ERROR] WinCEImageFactory::createBMPBufferAndDC == NULL."), 3u);
    EXPECT_EQ(log.count(decode), decodes);
}

TEST_F(ImageFactoryTest, ATileDrawsExactlyItsPixelsAndStretchesToHalf) {
    QImage source(256, 256, QImage::Format_RGB32);
    for (int y = 0; y < 256; ++y) {
        for (int x = 0; x < 256; ++x) {
            source.setPixel(x, y, qRgb(x, y, (x * 7 + y) & 0xFF));
        }
    }
    const std::string png = encode(source, "PNG");
    auto tile = factory.createImage(png.data(), png.size(), 256, 256);
    ASSERT_NE(tile, nullptr);
    auto target = factory.createEmptyImage(300, 300, MAGENTA);
    ASSERT_NE(target, nullptr);
    tile->draw(target->getContext(), 20, 30, 256, 256);
    const IDrawContext& dc = target->getContext();
    int wrong = 0;
    for (int y = 0; y < 256; ++y) {
        for (int x = 0; x < 256; ++x) {
            wrong += dc.getPixel(20 + x, 30 + y) != rgb(x, y, (x * 7 + y) & 0xFF) ? 1 : 0;
        }
    }
    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(dc.getPixel(19, 30), MAGENTA);
    EXPECT_EQ(dc.getPixel(276, 30), MAGENTA);
    EXPECT_EQ(dc.getPixel(20, 286), MAGENTA);

    // Stretched into 128 x 128 each quadrant is 64 pixels; a 512-pixel image decoded for a
    // 256-pixel cell is scaled to it.
    const std::string big = encode(quadrants(512), "PNG");
    auto scaled = factory.createImage(big.data(), big.size(), 256, 256);
    ASSERT_NE(scaled, nullptr);
    EXPECT_EQ(scaled->getWidth(), 256);
    auto half = factory.createEmptyImage(128, 128, MAGENTA);
    scaled->drawStretched(half->getContext(), 0, 0, 128, 128);
    const IDrawContext& h = half->getContext();
    EXPECT_EQ(h.getPixel(5, 5), RED);
    EXPECT_EQ(h.getPixel(62, 62), RED);
    EXPECT_EQ(h.getPixel(66, 5), GREEN);
    EXPECT_EQ(h.getPixel(5, 66), BLUE);
    EXPECT_EQ(h.getPixel(122, 122), YELLOW);

    // A plain draw of only a part copies the image's top-left part.
    auto part = factory.createEmptyImage(256, 256, MAGENTA);
    scaled->draw(part->getContext(), 0, 0, 100, 50);
    EXPECT_EQ(part->getContext().getPixel(99, 49), RED);
    EXPECT_EQ(part->getContext().getPixel(100, 10), MAGENTA);
    EXPECT_EQ(part->getContext().getPixel(10, 50), MAGENTA);
}

TEST_F(ImageFactoryTest, TransparentDrawsLeaveTheKeyColourOut) {
    QImage sprite(20, 20, QImage::Format_RGB32);
    sprite.fill(q(MAGENTA));
    QPainter(&sprite).fillRect(5, 5, 10, 10, q(RED));
    const std::string png = encode(sprite, "PNG");
    auto image = factory.createImageFromBuffer(png.data(), png.size());
    ASSERT_NE(image, nullptr);
    auto target = factory.createEmptyImage(60, 60, GREEN);
    image->drawTransparent(target->getContext(), 0, 0, 20, 20, MAGENTA);
    const IDrawContext& dc = target->getContext();
    EXPECT_EQ(dc.getPixel(1, 1), GREEN);
    EXPECT_EQ(dc.getPixel(10, 10), RED);
    EXPECT_EQ(dc.getPixel(19, 19), GREEN);
    // The red part alone, stretched to 20 x 20 at (30, 30).
    image->drawTransparentPart(target->getContext(), 30, 30, 20, 20, 5, 5, 10, 10, MAGENTA);
    EXPECT_EQ(dc.getPixel(30, 30), RED);
    EXPECT_EQ(dc.getPixel(49, 49), RED);
    EXPECT_EQ(dc.getPixel(50, 50), GREEN);

    // Drawn into after a transparent draw: the next transparent draw shows the change.
    image->getContext().fillRect(Rect(0, 0, 5, 5), BLUE);
    auto again = factory.createEmptyImage(20, 20, GREEN);
    image->drawTransparent(again->getContext(), 0, 0, 20, 20, MAGENTA);
    EXPECT_EQ(again->getContext().getPixel(1, 1), BLUE);
    EXPECT_EQ(again->getContext().getPixel(6, 1), GREEN);

    // A PNG with transparent pixels decoded over a colour shows the colour there.
    QImage clear(8, 8, QImage::Format_ARGB32);
    clear.fill(Qt::transparent);
    clear.setPixel(0, 0, qRgba(0, 0, 255, 255));
    const std::string alpha = encode(clear, "PNG");
    auto onColour = factory.createImageOnColor(alpha.data(), alpha.size(), 8, 8, YELLOW);
    ASSERT_NE(onColour, nullptr);
    EXPECT_EQ(onColour->getContext().getPixel(0, 0), BLUE);
    EXPECT_EQ(onColour->getContext().getPixel(4, 4), YELLOW);
}

TEST_F(ImageFactoryTest, ContextsClipAndCopyPartsOfOtherContexts) {
    auto source = factory.createEmptyImage(100, 100, RED);
    source->getContext().fillRect(Rect(50, 0, 100, 100), BLUE);
    auto image = factory.createEmptyImage(64, 64, GREEN);
    EXPECT_EQ(image->getContext().getPixel(63, 63), GREEN);
    // A part that reaches past the source's right edge copies what lies inside.
    image->copyFromDC(source->getContext(), 0, 0, 40, 0, 64, 64);
    const IDrawContext& dc = image->getContext();
    EXPECT_EQ(dc.getPixel(9, 5), RED);
    EXPECT_EQ(dc.getPixel(10, 5), BLUE);
    EXPECT_EQ(dc.getPixel(59, 5), BLUE);
    EXPECT_EQ(dc.getPixel(60, 5), GREEN) << "outside the source nothing is copied";

    // Operations outside the context draw nothing and do not fail.
    image->getContext().fillRect(Rect(-50, -50, -10, -10), YELLOW);
    image->getContext().fillRect(Rect(60, 60, 6000, 6000), YELLOW);
    image->getContext().drawLine(-100, 200, 300, 200, YELLOW, 2);
    EXPECT_EQ(dc.getPixel(63, 63), YELLOW);
    EXPECT_EQ(dc.getPixel(0, 63), RED);
    EXPECT_EQ(dc.getPixel(-1, -1), 0u);

    // A framed box: the pen on its outermost pixels, the brush inside.
    image->getContext().drawRectangle(Rect(10, 20, 30, 30), MAGENTA, YELLOW);
    EXPECT_EQ(dc.getPixel(10, 20), MAGENTA);
    EXPECT_EQ(dc.getPixel(29, 29), MAGENTA);
    EXPECT_EQ(dc.getPixel(15, 25), YELLOW);
    EXPECT_NE(dc.getPixel(30, 25), MAGENTA);

    // Copying within one context (a scroll) overlaps safely.
    auto strip = factory.createEmptyImage(10, 1, GREEN);
    strip->getContext().fillRect(Rect(0, 0, 1, 1), RED);
    strip->getContext().copyFrom(strip->getContext(), 1, 0, 0, 0, 9, 1);
    EXPECT_EQ(strip->getContext().getPixel(1, 0), RED);
    EXPECT_EQ(strip->getContext().getPixel(2, 0), GREEN);
}

TEST_F(ImageFactoryTest, NamedImagesComeFromTheRegisteredArtwork) {
    LogCapture log;
    const std::string png = encode(quadrants(32), "PNG");
    factory.addResource(L"marker", png);
    auto own = factory.getImageFromResource(L"marker", 0, 0);
    ASSERT_NE(own, nullptr);
    EXPECT_EQ(own->getWidth(), 32);
    auto small = factory.getImageFromResource(L"marker", 16, 16, BLUE);
    ASSERT_NE(small, nullptr);
    EXPECT_EQ(small->getHeight(), 16);
    EXPECT_EQ(small->getContext().getPixel(15, 15), YELLOW);

    EXPECT_EQ(factory.getImageFromResource(L"missing", 10, 10), nullptr);
    EXPECT_TRUE(log.contains("[ERROR] WinCEImageFactory::getImageFromResource can't load image ."));
    factory.addResource(L"broken", "not an image");
    EXPECT_EQ(factory.getImageFromResource(L"broken", 10, 10), nullptr);
    EXPECT_TRUE(log.contains(
        "[ERROR] createBtn: createTransperentImg can't create image for pushed button."));
}

TEST_F(ImageFactoryTest, TextsAreMeasuredAndDrawnInsideTheirRectangle) {
    auto image = factory.createEmptyImage(200, 40, rgb(255, 255, 255));
    IDrawContext& dc = image->getContext();
    int width = 0;
    int height = 0;
    ASSERT_TRUE(dc.measureText(L"Lumora 42", TextStyle{14, true}, width, height));
    EXPECT_GT(width, 40);
    EXPECT_GT(height, 10);
    dc.drawText(Rect(50, 10, 50 + width, 10 + height), L"Lumora 42", rgb(0, 0, 0),
                TextStyle{14, true}, TEXT_LEFT);
    int inside = 0;
    int outside = 0;
    for (int y = 0; y < 40; ++y) {
        for (int x = 0; x < 200; ++x) {
            const bool dark = redOf(dc.getPixel(x, y)) < 128;
            const bool in = x >= 50 && x < 50 + width && y >= 10 && y < 10 + height;
            (in ? inside : outside) += dark ? 1 : 0;
        }
    }
    EXPECT_GT(inside, 50);
    EXPECT_EQ(outside, 0);
}

}  // namespace
