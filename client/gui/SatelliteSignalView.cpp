#include "client/gui/SatelliteSignalView.h"

#include <QPainter>
#include <algorithm>

#include "client/gui/UiText.h"

namespace {
const QColor USED(46, 158, 68);
const QColor IN_VIEW(122, 140, 163);
}  // namespace

SatelliteSignalView::SatelliteSignalView(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("satelliteSignals"));
}

void SatelliteSignalView::setSatellites(const SatelliteList& satellites) {
    shown_.clear();
    for (const SatelliteInfo& satellite : satellites) {
        auto same = std::find_if(shown_.begin(), shown_.end(),
                                 [&](const SatelliteInfo& s) { return s.prn == satellite.prn; });
        if (same == shown_.end()) {
            shown_.push_back(satellite);
            continue;
        }
        same->snr = std::max(same->snr, satellite.snr);
        same->used = same->used || satellite.used;
    }
    update();
}

void SatelliteSignalView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QFontMetrics metrics = fontMetrics();
    const int line = metrics.height();
    if (shown_.empty()) {
        painter.setPen(palette().color(QPalette::Disabled, QPalette::Text));
        painter.drawText(rect(), Qt::AlignCenter | Qt::TextWordWrap,
                         uiText("No satellites in view"));
        return;
    }
    const int count = static_cast<int>(shown_.size());
    const int slot = std::max(1, width() / count);
    const int barWidth = std::max(2, std::min(slot - 4, 28));
    const int bottom = height() - line - 2;
    const int top = line + 2;
    const int room = std::max(1, bottom - top);
    for (int i = 0; i < count; ++i) {
        const SatelliteInfo& satellite = shown_[static_cast<std::size_t>(i)];
        const int centre = i * slot + slot / 2;
        const double share = std::clamp(satellite.snr / FULL_SIGNAL_DB, 0.0, 1.0);
        const int barHeight = static_cast<int>(share * room);
        const QRect bar(centre - barWidth / 2, bottom - barHeight, barWidth, barHeight);
        painter.setPen(Qt::NoPen);
        painter.setBrush(satellite.used ? USED : IN_VIEW);
        painter.drawRect(bar);
        painter.setPen(palette().color(QPalette::Mid));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(QRect(centre - barWidth / 2, top, barWidth, room));
        painter.setPen(palette().color(QPalette::Text));
        const QRect label(centre - slot / 2, bottom + 2, slot, line);
        painter.drawText(label, Qt::AlignCenter, QString::number(satellite.prn));
        const QRect value(centre - slot / 2, bar.top() - line - 1, slot, line);
        painter.drawText(value, Qt::AlignCenter, QString::number(qRound(satellite.snr)));
    }
}
