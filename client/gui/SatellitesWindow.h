#pragma once

#include <QDialog>

#include "client/gps/GPSTypes.h"

class QLabel;
class SatelliteSignalView;

// The satellites the GPS receiver sees, with their signal strengths, and whether it has a
// position: "Satellites" in the main frame's menu opens it.
class SatellitesWindow : public QDialog {
    Q_OBJECT
public:
    explicit SatellitesWindow(QWidget* parent);

    void setSatellites(const SatelliteList& satellites, bool fix);
    QString summary() const;
    const SatelliteSignalView& signalView() const { return *signalView_; }

private:
    QLabel* summary_;
    SatelliteSignalView* signalView_;
};
