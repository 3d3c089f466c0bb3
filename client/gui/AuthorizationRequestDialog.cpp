#include "client/gui/AuthorizationRequestDialog.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "client/app/ApplicationMessages.h"
#include "client/app/AuthorizationRequest.h"
#include "client/app/IControllerCommands.h"
#include "client/contacts/LumoraContact.h"
#include "client/gui/ContactLook.h"
#include "client/gui/UiText.h"

namespace {}  // namespace

AuthorizationRequestDialog::AuthorizationRequestDialog(IControllerCommands& controller,
                                                       std::shared_ptr<LumoraContact> contact,
                                                       QWidget* parent)
    : QDialog(parent),
      controller_(controller),
      contact_(std::move(contact)),
      message_(new QLineEdit(this)),
      add_(nullptr) {
    setObjectName(QStringLiteral("authorizationRequestDialog"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(uiText("Add contact"));
    setMinimumWidth(300);
    auto* layout = new QVBoxLayout(this);
    auto* question = new QLabel(
        uiText("Do you want to add ") + ContactLook::displayName(*contact_) + uiText(" GID ") +
            QString::fromStdWString(contact_->getGid()) + uiText(" to your contact list?"),
        this);
    question->setWordWrap(true);
    layout->addWidget(question);
    auto* label = new QLabel(uiText("Send a message:"), this);
    label->setBuddy(message_);
    layout->addWidget(label);
    layout->addWidget(message_);
    auto* buttons = new QDialogButtonBox(this);
    add_ = buttons->addButton(uiText("Add"), QDialogButtonBox::AcceptRole);
    buttons->addButton(uiText("Cancel"), QDialogButtonBox::RejectRole);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &AuthorizationRequestDialog::send);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

void AuthorizationRequestDialog::send() {
    AuthorizationRequest request{contact_->getJid(), message_->text().toStdWString()};
    controller_.postMessage(UM_AUTHORIZATION_REQUEST, 0, 0, kestra::makePayload(request));
    accept();
}
