#include "client/gui/RemoveContactDialog.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "client/app/ApplicationMessages.h"
#include "client/app/IControllerCommands.h"
#include "client/contacts/LumoraContact.h"
#include "client/gui/ContactLook.h"
#include "client/gui/UiText.h"

namespace {}  // namespace

RemoveContactDialog::RemoveContactDialog(IControllerCommands& controller,
                                         std::shared_ptr<LumoraContact> contact, QWidget* parent)
    : QDialog(parent), controller_(controller), contact_(std::move(contact)), yes_(nullptr) {
    setObjectName(QStringLiteral("removeContactDialog"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(uiText("Remove contact"));
    setMinimumWidth(300);
    auto* layout = new QVBoxLayout(this);
    auto* question = new QLabel(
        uiText("Do you really want to remove contact: ") + ContactLook::displayName(*contact_),
        this);
    question->setWordWrap(true);
    layout->addWidget(question);
    auto* buttons = new QDialogButtonBox(this);
    yes_ = buttons->addButton(uiText("Yes"), QDialogButtonBox::AcceptRole);
    buttons->addButton(uiText("Cancel"), QDialogButtonBox::RejectRole)->setDefault(true);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, [this] {
        controller_.postMessage(UM_REMOVE_CONTACT, 0, 0, kestra::makePayload(contact_));
        accept();
    });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}
