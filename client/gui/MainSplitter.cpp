#include "client/gui/MainSplitter.h"

#include <QHBoxLayout>
#include <QSplitter>
#include <QToolButton>

#include "client/app/ApplicationMessages.h"
#include "client/app/IControllerCommands.h"
#include "client/gui/UiText.h"

namespace {
// "CONTACTS" as a column of letters, in the user's language.
QString columnOfLetters(const QString& word) {
    QStringList letters;
    for (const QChar letter : word) {
        letters << QString(letter);
    }
    return letters.join(QLatin1Char('\n'));
}
}  // namespace

MainSplitter::MainSplitter(IControllerCommands& controller, std::shared_ptr<SplitterState> state,
                           QWidget* parent)
    : QWidget(parent),
      controller_(controller),
      state_(std::move(state)),
      splitter_(new QSplitter(Qt::Horizontal, this)),
      tab_(new QToolButton(this)) {
    setObjectName(QStringLiteral("mainSplitter"));
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(splitter_, 1);
    layout->addWidget(tab_);
    splitter_->setChildrenCollapsible(false);
    tab_->setObjectName(QStringLiteral("contactPaneTab"));
    tab_->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
    tab_->setAutoRaise(true);
    connect(tab_, &QToolButton::clicked, this,
            [this] { controller_.postMessage(UM_TOGGLE_CONTACT_PANE); });
    connect(splitter_, &QSplitter::splitterMoved, this, [this] {
        wantedPosition_ = -1;  // the user's drag wins over a position still waiting
        notePosition();
    });
    updateTab();
}

void MainSplitter::setPanes(QWidget* mapView, QWidget* contactPane) {
    mapPane_ = mapView;
    contactPane_ = contactPane;
    splitter_->addWidget(mapView);
    splitter_->addWidget(contactPane);
    splitter_->setStretchFactor(0, 1);
    splitter_->setStretchFactor(1, 0);
    contactPane->setVisible(isContactPaneShown());
}

void MainSplitter::showContactPane(bool shown) {
    state_->contactPaneShown = shown;
    if (contactPane_ != nullptr) {
        contactPane_->setVisible(shown);
    }
    if (shown && wantedPosition_ < 0) {
        wantedPosition_ = state_->position.load();
    }
    // The splitter shows the bar between the panes only once it has seen the pane shown:
    // the position waits for that.
    QMetaObject::invokeMethod(
        this, [this] { applyPosition(); }, Qt::QueuedConnection);
    updateTab();
}

void MainSplitter::setSplitterPosition(int position) {
    wantedPosition_ = position;
    applyPosition();
}

// Needs the splitter's real width: until the window is shown the position waits.
void MainSplitter::applyPosition() {
    const int width = splitter_->width();
    if (wantedPosition_ < 0 || !isContactPaneShown() || contactPane_ == nullptr || !isVisible() ||
        width <= 0) {
        return;
    }
    int position = wantedPosition_;
    if (position <= 0 || position >= width) {
        position = width / 2;
    }
    wantedPosition_ = -1;
    splitter_->setSizes({position, width - position - splitter_->handleWidth()});
    notePosition();
}

void MainSplitter::notePosition() {
    if (isContactPaneShown() && contactPane_ != nullptr && splitter_->width() > 0) {
        state_->position = splitter_->sizes().value(0);
    }
}

void MainSplitter::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    applyPosition();
}

void MainSplitter::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    applyPosition();
    notePosition();
}

// An arrow that points where the pane goes, above "CONTACTS".
void MainSplitter::updateTab() {
    const bool shown = isContactPaneShown();
    tab_->setText((shown ? QStringLiteral("\u25B8\n\n") : QStringLiteral("\u25C2\n\n")) +
                  columnOfLetters(uiText("CONTACTS")));
    const QString tip = shown ? uiText("Hide the contacts") : uiText("Show the contacts");
    tab_->setToolTip(tip);
    tab_->setAccessibleName(tip);
}
