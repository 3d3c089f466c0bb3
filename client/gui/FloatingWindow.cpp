#include "client/gui/FloatingWindow.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
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

void FloatingWindow::getSize(int& width, int& height) const {
    const QSize size = isVisible() ? this->size() : sizeHint();
    width = size.width();
    height = size.height();
}

void FloatingWindow::moveTo(int x, int y) {
    QWidget* area = area_ != nullptr ? area_.data() : parentWidget();
    const QPoint point(x, y);
    placeAt(area != nullptr && parentWidget() != nullptr ? area->mapTo(parentWidget(), point)
                                                         : point);
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
