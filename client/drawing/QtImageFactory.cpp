#include "client/drawing/QtImageFactory.h"

#include <QBuffer>
#include <QByteArray>
#include <QFile>
#include <QImageReader>
#include <QPainter>
#include <QString>

#include "client/drawing/LumoraImage.h"
#include "kestra/Log.h"

using kestra::Log;

namespace {

constexpr const char* BUFFER_FAILED = "WinCEImageFactory::createBMPBufferAndDC == NULL.";
constexpr const char* DECODE_FAILED = "LumoraImage: CreateImageFromBuffer != S_OK.";
constexpr const char* DRAW_FAILED = "LumoraImage::cacheMapBlock: Draw  img!= S_OK.";

QByteArray bytesOf(const void* bytes, std::size_t size) {
    if (bytes == nullptr || size == 0 || size > static_cast<std::size_t>(INT32_MAX)) {
        return QByteArray();
    }
    // No copy: the reader only reads while the caller's bytes are alive.
    return QByteArray::fromRawData(static_cast<const char*>(bytes), static_cast<int>(size));
}

bool fits(long long width, long long height) {
    return width > 0 && height > 0 && width * height <= QtImageFactory::MAX_PIXELS;
}

// The decoded image, or a null one. The header is read first so that an image too large
// to hold is refused before its pixels are allocated.
QImage decode(const QByteArray& data) {
    if (data.isEmpty()) {
        return QImage();
    }
    QBuffer buffer;
    buffer.setData(data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    const QSize size = reader.size();
    if (size.isValid() && !fits(size.width(), size.height())) {
        return QImage();
    }
    QImage image;
    if (!reader.read(&image)) {
        return QImage();
    }
    return image;
}

QImage blank(int width, int height, const Rgb* background) {
    if (!fits(width, height)) {
        return QImage();
    }
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    if (image.isNull()) {
        return image;  // out of memory
    }
    image.fill(background != nullptr
                   ? QColor(redOf(*background), greenOf(*background), blueOf(*background))
                   : QColor(Qt::transparent));
    return image;
}

}  // namespace

std::unique_ptr<ILumoraImage> QtImageFactory::decodeInto(const void* bytes, std::size_t size,
                                                         int width, int height,
                                                         const Rgb* background) {
    QImage target = blank(width, height, background);
    if (target.isNull()) {
        Log::error(BUFFER_FAILED);
        return nullptr;
    }
    const QImage decoded = decode(bytesOf(bytes, size));
    if (decoded.isNull()) {
        Log::error(DECODE_FAILED);
        return nullptr;
    }
    QPainter painter;
    if (!painter.begin(&target)) {
        Log::error(DRAW_FAILED);
        return nullptr;
    }
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    if (decoded.width() == width && decoded.height() == height) {
        painter.drawImage(QPoint(0, 0), decoded);
    } else {
        painter.drawImage(QRect(0, 0, width, height), decoded);
    }
    painter.end();
    return std::make_unique<LumoraImage>(std::move(target));
}

std::unique_ptr<ILumoraImage> QtImageFactory::createImage(const void* bytes, std::size_t size,
                                                          int width, int height) {
    return decodeInto(bytes, size, width, height, nullptr);
}

std::unique_ptr<ILumoraImage> QtImageFactory::createImageOnColor(const void* bytes,
                                                                 std::size_t size, int width,
                                                                 int height, Rgb colour) {
    return decodeInto(bytes, size, width, height, &colour);
}

std::unique_ptr<ILumoraImage> QtImageFactory::createImageFromBuffer(const void* bytes,
                                                                    std::size_t size) {
    const QImage decoded = decode(bytesOf(bytes, size));
    if (decoded.isNull()) {
        Log::error(DECODE_FAILED);
        return nullptr;
    }
    return std::make_unique<LumoraImage>(decoded);
}

std::unique_ptr<ILumoraImage> QtImageFactory::createEmptyImage(int width, int height, Rgb colour) {
    QImage image = blank(width, height, &colour);
    if (image.isNull()) {
        Log::error(BUFFER_FAILED);
        return nullptr;
    }
    return std::make_unique<LumoraImage>(std::move(image));
}

bool QtImageFactory::getImageInfo(const void* bytes, std::size_t size, int& width, int& height,
                                  std::wstring& mimeType) {
    QBuffer buffer;
    buffer.setData(bytesOf(bytes, size));
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    const QSize imageSize = reader.size();
    if (buffer.size() == 0 || !reader.canRead() || !imageSize.isValid()) {
        Log::error(DECODE_FAILED);
        return false;
    }
    width = imageSize.width();
    height = imageSize.height();
    const QByteArray format = reader.format().toLower();
    if (format == "bmp" || format == "dib") {
        mimeType = L"image/x-ms-bmp";
    } else if (format == "jpeg" || format == "jpg") {
        mimeType = L"image/jpeg";
    } else if (format == "png") {
        mimeType = L"image/png";
    } else if (format == "gif") {
        mimeType = L"image/gif";
    } else {
        mimeType.clear();
    }
    return true;
}

void QtImageFactory::addResource(const std::wstring& name, const std::string& bytes) {
    std::lock_guard<std::mutex> lock(resourcesLock_);
    resources_[name] = bytes;
}

bool QtImageFactory::resourceBytes(const std::wstring& name, std::string& bytes) {
    {
        std::lock_guard<std::mutex> lock(resourcesLock_);
        auto it = resources_.find(name);
        if (it != resources_.end()) {
            bytes = it->second;
            return true;
        }
    }
    QFile file(QStringLiteral(":/images/") + QString::fromStdWString(name) +
               QStringLiteral(".png"));
    if (!file.open(QIODevice::ReadOnly)) {
        return false;
    }
    const QByteArray data = file.readAll();
    bytes.assign(data.constData(), static_cast<std::size_t>(data.size()));
    return true;
}

std::unique_ptr<ILumoraImage> QtImageFactory::fromResource(const std::wstring& name, int width,
                                                           int height, const Rgb* background) {
    std::string bytes;
    if (!resourceBytes(name, bytes)) {
        Log::error("WinCEImageFactory::getImageFromResource can't load image .");
        return nullptr;
    }
    if (width <= 0 || height <= 0) {
        // The artwork at its own size.
        QBuffer buffer;
        buffer.setData(bytesOf(bytes.data(), bytes.size()));
        buffer.open(QIODevice::ReadOnly);
        const QSize own = QImageReader(&buffer).size();
        width = own.width();
        height = own.height();
    }
    std::unique_ptr<ILumoraImage> image =
        decodeInto(bytes.data(), bytes.size(), width, height, background);
    if (!image) {
        Log::error("createBtn: createTransperentImg can't create image for pushed button.");
    }
    return image;
}

std::unique_ptr<ILumoraImage> QtImageFactory::getImageFromResource(const std::wstring& name,
                                                                   int width, int height) {
    return fromResource(name, width, height, nullptr);
}

std::unique_ptr<ILumoraImage> QtImageFactory::getImageFromResource(const std::wstring& name,
                                                                   int width, int height,
                                                                   Rgb colour) {
    return fromResource(name, width, height, &colour);
}
