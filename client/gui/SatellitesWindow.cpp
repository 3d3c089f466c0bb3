#include "client/gui/SatellitesWindow.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "client/gui/SatelliteSignalView.h"
#include "client/gui/UiText.h"

namespace {}  // namespace

SatellitesWindow::SatellitesWindow(QWidget* parent)
    : QDialog(parent), summary_(new QLabel(this)), signalView_(new SatelliteSignalView(this)) {
    setObjectName(QStringLiteral("satellitesWindow"));
    setWindowTitle(uiText("Satellites"));
    auto* layout = new QVBoxLayout(this);
    summary_->setWordWrap(true);
    layout->addWidget(summary_);
    layout->addWidget(signalView_, 1);
    auto* legend = new QLabel(uiText("Green: used for the position. The numbers above the bars are "
                                     "the signal strengths in dB."),
                              this);
    legend->setWordWrap(true);
    QFont small = legend->font();
    small.setPointSizeF(small.pointSizeF() * 0.9);
    legend->setFont(small);
    layout->addWidget(legend);
    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(uiText("Close"), QDialogButtonBox::RejectRole);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::hide);
    layout->addWidget(buttons);
    setSatellites(SatelliteList(), false);
    resize(380, 280);
}

void SatellitesWindow::setSatellites(const SatelliteList& satellites, bool fix) {
    signalView_->setSatellites(satellites);
    const SatelliteList& shown = signalView_->shown();
    int used = 0;
    for (const SatelliteInfo& satellite : shown) {
        used += satellite.used ? 1 : 0;
    }
    QString line = fix ? uiText("The receiver knows its position.")
                       : uiText("The receiver is searching for its position.");
    if (!shown.empty()) {
        line += QLatin1Char(' ') +
                uiText("%1 of %2 satellites used.").arg(used).arg(static_cast<int>(shown.size()));
    }
    summary_->setText(line);
}

QString SatellitesWindow::summary() const {
    return summary_->text();
}
