#include "client/gui/AddContactDialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

#include "client/app/ApplicationMessages.h"
#include "client/app/AuthorizationRequest.h"
#include "client/app/IControllerCommands.h"
#include "client/contacts/LumoraContact.h"
#include "client/gui/UiText.h"
#include "client/locale/Dictionary.h"
#include "client/messaging/IJabberClient.h"

namespace {
bool allowedPart(const std::wstring& part) {
    return !part.empty() && std::all_of(part.begin(), part.end(), [](wchar_t c) {
        return c > L' ' && c != L'/' && c != L'@' && IJabberClient::isAllowedChar(c);
    });
}
}  // namespace

std::wstring AddContactDialog::jidFrom(const QString& input) {
    const std::wstring typed = input.trimmed().toStdWString();
    if (!typed.empty() &&
        std::all_of(typed.begin(), typed.end(), [](wchar_t c) { return c >= L'0' && c <= L'9'; })) {
        const std::wstring host = LumoraContact::getServiceHost();
        return host.empty() ? std::wstring() : typed + L"@" + host;
    }
    const std::size_t at = typed.find(L'@');
    if (at == std::wstring::npos || !allowedPart(typed.substr(0, at)) ||
        !allowedPart(typed.substr(at + 1))) {
        return std::wstring();
    }
    return typed;
}

AddContactDialog::AddContactDialog(IControllerCommands& controller, QWidget* parent)
    : QDialog(parent),
      controller_(controller),
      jid_(new QLineEdit(this)),
      hint_(new QLabel(this)),
      add_(nullptr) {
    setObjectName(QStringLiteral("addContactDialog"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(uiText("Add new contact"));
    setMinimumWidth(320);
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    form->addRow(uiText("Jabber ID:"), jid_);
    layout->addLayout(form);
    jid_->setPlaceholderText(QStringLiteral("name@example.org"));
    hint_->setWordWrap(true);
    hint_->setText(uiText("Type a Jabber ID such as name@example.org, or a GID."));
    layout->addWidget(hint_);
    auto* buttons = new QDialogButtonBox(this);
    add_ = buttons->addButton(uiText("Add"), QDialogButtonBox::AcceptRole);
    buttons->addButton(uiText("Cancel"), QDialogButtonBox::RejectRole);
    layout->addWidget(buttons);
    connect(jid_, &QLineEdit::textChanged, this, &AddContactDialog::check);
    connect(buttons, &QDialogButtonBox::accepted, this, &AddContactDialog::send);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    check();
}

void AddContactDialog::check() {
    const bool typed = !jid_->text().trimmed().isEmpty();
    const bool valid = !jidFrom(jid_->text()).empty();
    add_->setEnabled(valid);
    // The hint stays; it turns red while the input is not an ID.
    hint_->setStyleSheet(typed && !valid ? QStringLiteral("color: #c92a2a;") : QString());
}

void AddContactDialog::send() {
    const std::wstring jid = jidFrom(jid_->text());
    if (jid.empty()) {
        return;
    }
    controller_.postMessage(UM_AUTHORIZATION_REQUEST, 0, 0,
                            kestra::makePayload(AuthorizationRequest{jid, std::wstring()}));
    accept();
}
