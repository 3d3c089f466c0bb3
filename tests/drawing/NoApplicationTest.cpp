// Drawing in a process without a QGuiApplication (a worker, a tool): decoding and drawing
// work, texts are left out instead of aborting the process.
#include <gtest/gtest.h>

#include <QBuffer>
#include <QImage>

#include "LogCapture.h"
#include "client/drawing/QtImageFactory.h"

TEST(DrawingWithoutApplication, DecodesAndDrawsButLeavesTextsOut) {
    LogCapture log;
    QImage source(8, 8, QImage::Format_RGB32);
    source.fill(QColor(0, 0, 255));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    source.save(&buffer, "PNG");
    QtImageFactory factory;
    auto image =
        factory.createImage(bytes.constData(), static_cast<std::size_t>(bytes.size()), 8, 8);
    ASSERT_NE(image, nullptr);
    auto target = factory.createEmptyImage(32, 32, rgb(255, 255, 255));
    image->draw(target->getContext(), 4, 4, 8, 8);
    EXPECT_EQ(target->getContext().getPixel(4, 4), rgb(0, 0, 255));
    int w = -1;
    int h = -1;
    EXPECT_FALSE(target->getContext().measureText(L"label", TextStyle{}, w, h));
    EXPECT_EQ(w, 0);
    target->getContext().drawText(Rect(0, 0, 32, 32), L"label", 0, TextStyle{}, TEXT_LEFT);
    EXPECT_EQ(target->getContext().getPixel(1, 1), rgb(255, 255, 255));
    EXPECT_EQ(log.count("QtDrawContext: no QGuiApplication, texts are not drawn."), 1u);
}
