#include "client/drawing/QtDrawContext.h"

#include <QCoreApplication>
#include <QFont>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QPainter>
#include <QString>
#include <atomic>

#include "kestra/Log.h"

namespace {

QColor toQColor(Rgb colour) {
    return QColor(redOf(colour), greenOf(colour), blueOf(colour));
}

QRect toQRect(const Rect& rect) {
    return QRect(rect.left, rect.top, rect.width(), rect.height());
}

QFont fontOf(const TextStyle& style) {
    QFont font;
    font.setPixelSize(style.pixelSize > 0 ? style.pixelSize : 1);
    font.setBold(style.bold);
    return font;
}

int alignmentOf(int flags) {
    int alignment = (flags & TEXT_CENTER) != 0  ? Qt::AlignHCenter
                    : (flags & TEXT_RIGHT) != 0 ? Qt::AlignRight
                                                : Qt::AlignLeft;
    alignment |= (flags & TEXT_VCENTER) != 0 ? Qt::AlignVCenter : Qt::AlignTop;
    return alignment | Qt::TextSingleLine;
}

}  // namespace

bool QtDrawContext::canDrawText() {
    // Fonts need the GUI application object; a worker must never make one, so without it
    // texts are left out rather than aborting the process.
    const bool can = qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr;
    static std::atomic<bool> told{false};
    if (!can && !told.exchange(true)) {
        kestra::Log::warning("QtDrawContext: no QGuiApplication, texts are not drawn.");
    }
    return can;
}

QImage* QtDrawContext::imageOf(IDrawContext& context, const char* operation) {
    auto* qt = dynamic_cast<QtDrawContext*>(&context);
    if (qt == nullptr) {
        kestra::Log::error(std::string(operation) + ": not a Qt drawing context.");
        return nullptr;
    }
    return &qt->image();
}

const QImage* QtDrawContext::imageOf(const IDrawContext& context, const char* operation) {
    const auto* qt = dynamic_cast<const QtDrawContext*>(&context);
    if (qt == nullptr) {
        kestra::Log::error(std::string(operation) + ": not a Qt drawing context.");
        return nullptr;
    }
    return &qt->image();
}

void QtDrawContext::fillRect(const Rect& rect, Rgb colour) {
    if (image_.isNull() || rect.isEmpty()) {
        return;
    }
    QPainter painter(&image_);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.fillRect(toQRect(rect), toQColor(colour));
}

void QtDrawContext::drawLine(int x1, int y1, int x2, int y2, Rgb colour, int penWidth) {
    if (image_.isNull()) {
        return;
    }
    QPainter painter(&image_);
    QPen pen(toQColor(colour));
    pen.setWidth(penWidth > 0 ? penWidth : 1);
    pen.setCapStyle(Qt::FlatCap);
    painter.setPen(pen);
    painter.drawLine(x1, y1, x2, y2);
}

void QtDrawContext::drawRectangle(const Rect& rect, Rgb pen, Rgb brush) {
    if (image_.isNull() || rect.isEmpty()) {
        return;
    }
    QPainter painter(&image_);
    painter.fillRect(toQRect(rect), toQColor(brush));
    painter.setPen(toQColor(pen));
    painter.setBrush(Qt::NoBrush);
    // A 1-pixel frame on the rectangle's outermost pixels.
    painter.drawRect(rect.left, rect.top, rect.width() - 1, rect.height() - 1);
}

bool QtDrawContext::measureText(const std::wstring& text, const TextStyle& style, int& width,
                                int& height) {
    width = 0;
    height = 0;
    if (!canDrawText()) {
        return false;
    }
    const QFontMetrics metrics(fontOf(style));
    width = metrics.horizontalAdvance(QString::fromStdWString(text));
    height = metrics.height();
    return true;
}

void QtDrawContext::drawText(const Rect& rect, const std::wstring& text, Rgb colour,
                             const TextStyle& style, int flags) {
    if (image_.isNull() || text.empty() || !canDrawText()) {
        return;
    }
    QPainter painter(&image_);
    painter.setFont(fontOf(style));
    painter.setPen(toQColor(colour));
    painter.drawText(toQRect(rect), alignmentOf(flags), QString::fromStdWString(text));
}

void QtDrawContext::copyFrom(const IDrawContext& source, int x, int y, int sourceX, int sourceY,
                             int width, int height) {
    const QImage* from = imageOf(source, "QtDrawContext::copyFrom");
    if (from == nullptr || from->isNull() || image_.isNull() || width <= 0 || height <= 0) {
        return;
    }
    const QRect part(sourceX, sourceY, width, height);
    QPainter painter(&image_);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    if (from == &image_) {
        // Overlapping copy within one image: through a copy of the part.
        painter.drawImage(QPoint(x, y), image_.copy(part));
    } else {
        painter.drawImage(QPoint(x, y), *from, part);
    }
}

Rgb QtDrawContext::getPixel(int x, int y) const {
    if (!image_.valid(x, y)) {
        return 0;
    }
    const QRgb pixel = image_.pixel(x, y);
    return rgb(qRed(pixel), qGreen(pixel), qBlue(pixel));
}
