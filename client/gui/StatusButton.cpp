#include "client/gui/StatusButton.h"

#include <QMenu>

#include "client/gui/Artwork.h"
#include "client/gui/ContactLook.h"
#include "client/gui/PopupPlacement.h"
#include "client/gui/ScreenResolution.h"
#include "client/gui/UiText.h"
#include "kestra/Log.h"

namespace {
// The entry that shows a status as checked.
int entryOf(int status) {
    return status == 5 ? 6 : status;
}
}  // namespace

StatusButton::StatusButton(bool highResolution, QWidget* parent)
    : QToolButton(parent),
      popup_(new QMenu(this)),
      iconSize_(ScreenResolution::barIconSize(highResolution)) {
    setObjectName(QStringLiteral("statusButton"));
    setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    setIconSize(QSize(iconSize_, iconSize_));
    setAutoRaise(true);
    popup_->setObjectName(QStringLiteral("statusPopup"));
    addEntry("Online", 0);
    addEntry("Free for chat", 1);
    addEntry("Away", 2);
    addEntry("N/A", 4);
    addEntry("DND", 3);
    addEntry("Invisible", 6);
    addEntry("Offline", 7);
    connect(this, &QToolButton::clicked, this, &StatusButton::openPopup);
    display(7);
}

void StatusButton::addEntry(const char* english, int status) {
    const int menuIcon = ScreenResolution::menuIconSize(iconSize_ > 16);
    QAction* entry = popup_->addAction(Artwork::icon(ContactLook::statusPicture(status), menuIcon),
                                       uiText(english));
    entry->setCheckable(true);
    entry->setData(status + COMMAND_BASE);
    connect(entry, &QAction::triggered, this, [this, entry] {
        checkShownEntry();  // the choice's rules decide what is shown and checked
        emit statusChosen(entry->data().toInt() - COMMAND_BASE);
    });
}

void StatusButton::checkShownEntry() {
    for (QAction* entry : popup_->actions()) {
        entry->setChecked(entry->data().toInt() - COMMAND_BASE == entryOf(shown_));
    }
}

void StatusButton::display(int status) {
    const QString picture = ContactLook::statusPicture(status);
    const QString label = ContactLook::statusText(status);
    if (picture.isEmpty()) {
        kestra::Log::error("MainFrame::changeImgAndTextInStateBtn no picture fot this item: " +
                           std::to_string(status));
    }
    if (label.isEmpty()) {
        kestra::Log::error("MainFrame::changeImgAndTextInStateBtn no text fot this item: " +
                           std::to_string(status));
    }
    if (picture.isEmpty() || label.isEmpty()) {
        return;
    }
    shown_ = status;
    frame_ = 0;
    setIcon(Artwork::icon(picture, iconSize_));
    setText(label);
    setToolTip(label);
    checkShownEntry();
}

void StatusButton::advanceAnimation() {
    if (shown_ != 8) {
        return;
    }
    frame_ = (frame_ + 1) % ANIMATION_FRAMES;
    setIcon(QIcon(Artwork::pixmap(ContactLook::statusPicture(8), iconSize_,
                                  frame_ * 360 / ANIMATION_FRAMES)));
}

void StatusButton::openPopup() {
    popupAbove(*popup_, *this);
}
