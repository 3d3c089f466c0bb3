#include "client/gui/Artwork.h"

#include <QFile>
#include <QGuiApplication>
#include <QHash>
#include <QPainter>
#include <QSvgRenderer>

#include "kestra/Log.h"

// The resources are compiled into the static library; naming them here links them in.
static void initArtworkResources() {
    static const bool done = [] {
        Q_INIT_RESOURCE(artwork);
        return true;
    }();
    (void)done;
}

namespace {
QString resourcePath(const QString& name) {
    initArtworkResources();
    return QStringLiteral(":/artwork/") + name + QStringLiteral(".svg");
}

QHash<QString, QPixmap>& cache() {
    static QHash<QString, QPixmap> pictures;
    return pictures;
}
}  // namespace

bool Artwork::exists(const QString& name) {
    return QFile::exists(resourcePath(name));
}

QPixmap Artwork::pixmap(const QString& name, int size, int degrees) {
    const qreal ratio = qApp != nullptr ? qApp->devicePixelRatio() : 1.0;
    const QString key = name + QLatin1Char('/') + QString::number(size) + QLatin1Char('/') +
                        QString::number(degrees) + QLatin1Char('/') + QString::number(ratio);
    const auto found = cache().constFind(key);
    if (found != cache().constEnd()) {
        return *found;
    }
    QSvgRenderer renderer(resourcePath(name));
    if (!renderer.isValid() || size <= 0) {
        kestra::Log::error("Artwork: no picture \"" + name.toStdString() + "\".");
        return QPixmap();
    }
    const int side = qRound(size * ratio);
    QPixmap picture(side, side);
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    if (degrees != 0) {
        painter.translate(side / 2.0, side / 2.0);
        painter.rotate(degrees);
        painter.translate(-side / 2.0, -side / 2.0);
    }
    renderer.render(&painter, QRectF(0, 0, side, side));
    painter.end();
    picture.setDevicePixelRatio(ratio);
    cache().insert(key, picture);
    return picture;
}

QIcon Artwork::icon(const QString& name, int size) {
    QIcon result;
    const QPixmap picture = pixmap(name, size);
    if (!picture.isNull()) {
        result.addPixmap(picture);
    }
    return result;
}
