#include "client/gui/GroupListWindow.h"

#include <QListWidget>
#include <QVBoxLayout>

#include "client/app/ApplicationMessages.h"
#include "client/app/IControllerCommands.h"
#include "client/contacts/LumoraContact.h"
#include "client/gui/Artwork.h"
#include "client/gui/ContactLook.h"
#include "client/gui/ScreenResolution.h"
#include "client/gui/UiText.h"

GroupListWindow::GroupListWindow(IControllerCommands& controller, bool highResolution,
                                 QWidget* parent)
    : FloatingWindow(parent),
      controller_(controller),
      high_(highResolution),
      list_(new QListWidget(this)) {
    setObjectName(QStringLiteral("groupListWindow"));
    setTitle(uiText("Contacts here"));
    const int icon = ScreenResolution::listIconSize(high_);
    list_->setIconSize(QSize(icon, icon));
    list_->setMinimumWidth(160);
    body()->addWidget(list_);
    connect(list_, &QListWidget::itemClicked, this, [this](QListWidgetItem* item) {
        const int row = list_->row(item);
        if (row < 0 || row >= static_cast<int>(contacts_.size())) {
            return;
        }
        controller_.postMessage(UM_OPEN_CHAT, 0, 0,
                                kestra::makePayload(contacts_[static_cast<std::size_t>(row)]));
        hide();
    });
}

void GroupListWindow::clearContacts() {
    list_->clear();
    contacts_.clear();
}

void GroupListWindow::addContact(const std::wstring& name,
                                 const std::shared_ptr<LumoraContact>& contact) {
    if (!contact) {
        return;
    }
    const QString shown =
        name.empty() ? ContactLook::displayName(*contact) : QString::fromStdWString(name);
    const QIcon icon = Artwork::icon(ContactLook::statusPicture(contact->getStatus()),
                                     ScreenResolution::listIconSize(high_));
    auto* item = new QListWidgetItem(icon, shown, list_);
    item->setToolTip(QString::fromStdWString(contact->getJid()));
    contacts_.push_back(contact);
    const int rows = qMin(list_->count(), 8);
    list_->setFixedHeight(rows * list_->sizeHintForRow(0) + 2 * list_->frameWidth() + 2);
    adjustSize();
}

int GroupListWindow::count() const {
    return list_->count();
}
