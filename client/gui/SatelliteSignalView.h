#pragma once

#include <QWidget>

#include "client/gps/GPSTypes.h"

// The satellites in view as bars: one per satellite (the receiver may list one twice; it is
// drawn once, with its strongest signal), as high as its signal-to-noise ratio (50 dB fills
// the height), green when it is used for the fix, grey-blue otherwise, its number below and
// its signal in dB above.
class SatelliteSignalView : public QWidget {
public:
    static constexpr double FULL_SIGNAL_DB = 50.0;

    explicit SatelliteSignalView(QWidget* parent);

    void setSatellites(const SatelliteList& satellites);
    // The satellites as drawn: one entry per number.
    const SatelliteList& shown() const { return shown_; }

    QSize sizeHint() const override { return QSize(320, 160); }
    QSize minimumSizeHint() const override { return QSize(120, 80); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    SatelliteList shown_;
};
