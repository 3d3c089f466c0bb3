#include "client/gui/FloatingWindow.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMetaObject>
#include <QThread>
#include <QToolButton>
#include <QVBoxLayout>

#include "client/gui/UiText.h"

FloatingWindow::FloatingWindow(QWidget* parent)
    : QFrame(parent), title_(new QLabel(this)), close_(new QToolButton(this)), body_(nullptr) {
    setFrameShape(QFrame::StyledPanel);
    setAutoFillBackground(true);
    setFocusPolicy(Qt::StrongFocus);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 6, 8, 8);
    auto* header = new QHBoxLayout;
    QFont bold = title_->font();
    bold.setBold(true);
    title_->setFont(bold);
    title_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    header->addWidget(title_, 1);
    close_->setObjectName(QStringLiteral("closeButton"));
    close_->setText(QStringLiteral("\u2715"));
    close_->setToolTip(uiText("Close"));
    close_->setAutoRaise(true);
    header->addWidget(close_, 0, Qt::AlignTop);
    layout->addLayout(header);
    body_ = new QVBoxLayout;
    layout->addLayout(body_);
    connect(close_, &QToolButton::clicked, this, &QWidget::hide);
    hide();
}

void FloatingWindow::setTitle(const QString& title) {
    title_->setText(title);
}

// Sizes and points of the area are in the area's device pixels (the map view's own), so
// that the map's placement arithmetic works on a high-density screen too.
double FloatingWindow::areaScale() const {
    const QWidget* area = area_ != nullptr ? area_.data() : parentWidget();
    const double scale = area != nullptr ? area->devicePixelRatioF() : 1.0;
    return scale > 0 ? scale : 1.0;
}

void FloatingWindow::getSize(int& width, int& height) const {
    const QSize size = isVisible() ? this->size() : sizeHint();
    const double scale = areaScale();
    width = qRound(size.width() * scale);
    height = qRound(size.height() * scale);
}

void FloatingWindow::moveTo(int x, int y) {
    QWidget* area = area_ != nullptr ? area_.data() : parentWidget();
    const double scale = areaScale();
    const QPoint point(qRound(x / scale), qRound(y / scale));
    placeAt(area != nullptr && parentWidget() != nullptr ? area->mapTo(parentWidget(), point)
                                                         : point);
}

void FloatingWindow::hideOnItsThread() {
    if (QThread::currentThread() == thread()) {
        QWidget::hide();
        return;
    }
    // The view manager's set-up runs on the controller's thread: the hide is queued to the
    // window's own, and dropped if the window goes first.
    QMetaObject::invokeMethod(
        this, [this] { QWidget::hide(); }, Qt::QueuedConnection);
}

void FloatingWindow::placeAt(const QPoint& inParent) {
    adjustSize();
    QPoint corner = inParent;
    if (const QWidget* parent = parentWidget()) {
        const QRect room = parent->rect();
        corner.setX(qBound(room.left(), corner.x(), qMax(room.left(), room.right() - width())));
        corner.setY(qBound(room.top(), corner.y(), qMax(room.top(), room.bottom() - height())));
    }
    move(corner);
}

void FloatingWindow::showInFront() {
    show();
    raise();
}

void FloatingWindow::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        hide();
        return;
    }
    QFrame::keyPressEvent(event);
}
