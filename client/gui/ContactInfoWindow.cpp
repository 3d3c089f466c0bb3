#include "client/gui/ContactInfoWindow.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QVBoxLayout>

#include "client/app/ApplicationMessages.h"
#include "client/app/IControllerCommands.h"
#include "client/contacts/LumoraContact.h"
#include "client/gui/Artwork.h"
#include "client/gui/ContactLook.h"
#include "client/gui/UiText.h"
#include "kestra/Log.h"

namespace {
QLabel* selectableLabel(QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    label->setTextFormat(Qt::PlainText);
    return label;
}
}  // namespace

ContactInfoWindow::ContactInfoWindow(IControllerCommands& controller, bool withPicture,
                                     QWidget* parent)
    : FloatingWindow(parent),
      controller_(controller),
      withPicture_(withPicture),
      fullName_(selectableLabel(this)),
      gid_(selectableLabel(this)),
      email_(selectableLabel(this)),
      chat_(new QPushButton(uiText("Chat"), this)),
      position_(new QPushButton(uiText("Position"), this)),
      profile_(new QPushButton(uiText("User profile"), this)) {
    setObjectName(withPicture ? QStringLiteral("infoWindowWithPicture")
                              : QStringLiteral("infoWindowWithoutPicture"));
    auto* details = new QHBoxLayout;
    if (withPicture_) {
        picture_ = new QLabel(this);
        picture_->setFixedSize(PICTURE_SIZE, PICTURE_SIZE);
        picture_->setAlignment(Qt::AlignCenter);
        details->addWidget(picture_, 0, Qt::AlignTop);
    }
    auto* lines = new QVBoxLayout;
    lines->addWidget(fullName_);
    lines->addWidget(gid_);
    lines->addWidget(email_);
    lines->addStretch(1);
    details->addLayout(lines, 1);
    body()->addLayout(details);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(chat_);
    buttons->addWidget(position_);
    buttons->addWidget(profile_);
    body()->addLayout(buttons);
    connect(chat_, &QPushButton::clicked, this, [this] { post(UM_OPEN_CHAT, false); });
    connect(position_, &QPushButton::clicked, this, [this] { post(UM_SHOW_CONTACT_ON_MAP, true); });
    connect(profile_, &QPushButton::clicked, this, [this] { post(UM_SHOW_CONTACT_DETAILS, true); });
}

void ContactInfoWindow::setContactInfo(const std::shared_ptr<LumoraContact>& contact) {
    if (!contact || !contact->hasInfo()) {
        kestra::Log::warning("ContactInfoWindow::setContactInfo empty contact's informarion.");
    }
    contact_ = contact;
    if (!contact) {
        hide();
        return;
    }
    setTitle(ContactLook::displayName(*contact));
    const QString names =
        QString::fromStdWString(contact->getFirstName() + L" " + contact->getLastName()).trimmed();
    fullName_->setText(names);
    fullName_->setVisible(!names.isEmpty());
    gid_->setText(uiText("GID: ") + QString::fromStdWString(contact->getGid()));
    const QString email = QString::fromStdWString(contact->getEmail());
    email_->setText(uiText("E-mail: ") + email);
    email_->setVisible(!email.isEmpty());
    position_->setEnabled(contact->hasPosition());
    position_->setToolTip(contact->hasPosition() ? QString()
                                                 : uiText("The position is not known."));
    if (withPicture_) {
        showPicture(*contact);
    }
    adjustSize();
}

// The stored picture, else the drawn placeholder.
void ContactInfoWindow::showPicture(const LumoraContact& contact) {
    QPixmap picture;
    if (contact.hasAvatar()) {
        picture.load(QString::fromStdWString(contact.getAvatarPath()));
    }
    if (picture.isNull()) {
        picture = Artwork::pixmap(QStringLiteral("avatar"), PICTURE_SIZE);
    } else {
        picture = picture.scaled(PICTURE_SIZE, PICTURE_SIZE, Qt::KeepAspectRatio,
                                 Qt::SmoothTransformation);
    }
    picture_->setPixmap(picture);
}

// The details dialog is opened with flag 0.
void ContactInfoWindow::post(unsigned int id, bool hideAfter) {
    if (!contact_) {
        return;
    }
    controller_.postMessage(id, 0, 0, kestra::makePayload(contact_));
    if (hideAfter) {
        hide();
    }
}
