#include "client/gui/ContactList.h"

#include <QMenu>
#include <QVBoxLayout>

#include "client/app/ApplicationMessages.h"
#include "client/app/IApplicationManager.h"
#include "client/contacts/LumoraContact.h"
#include "client/gui/AddContactDialog.h"
#include "client/gui/AuthorizationRequestDialog.h"
#include "client/gui/ContactInfoWindow.h"
#include "client/gui/ContactsListBoxWindow.h"
#include "client/gui/RemoveContactDialog.h"
#include "client/gui/UiText.h"
#include "kestra/Log.h"

namespace {}  // namespace

ContactList::ContactList(IApplicationManager& controller, ContactInfoWindow* withPicture,
                         ContactInfoWindow* withoutPicture, bool highResolution, QWidget* parent)
    : QWidget(parent),
      controller_(controller),
      withPicture_(withPicture),
      withoutPicture_(withoutPicture),
      listBox_(new ContactsListBoxWindow(controller, highResolution, this)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(listBox_);
    connect(listBox_, &ContactsListBoxWindow::tapped, this, &ContactList::showInfoWindow);
    connect(listBox_, &ContactsListBoxWindow::contextMenuWanted, this,
            &ContactList::openContextMenu);
    connect(listBox_, &ContactsListBoxWindow::chatWanted, this,
            [this](const std::shared_ptr<LumoraContact>& contact) { post(UM_OPEN_CHAT, contact); });
}

void ContactList::post(unsigned int id, const std::shared_ptr<LumoraContact>& contact) {
    controller_.postMessage(id, 0, 0, kestra::makePayload(contact));
}

QMenu* ContactList::createContextMenu(const std::shared_ptr<LumoraContact>& selected) {
    auto* menu = new QMenu(this);
    menu->setObjectName(QStringLiteral("contactContextMenu"));
    menu->setAttribute(Qt::WA_DeleteOnClose);
    if (selected) {
        connect(menu->addAction(uiText("Chat")), &QAction::triggered, this,
                [this, selected] { post(UM_OPEN_CHAT, selected); });
        if (selected->hasPosition()) {
            connect(menu->addAction(uiText("Position")), &QAction::triggered, this,
                    [this, selected] { post(UM_SHOW_CONTACT_ON_MAP, selected); });
        }
        connect(menu->addAction(uiText("History")), &QAction::triggered, this,
                [this, selected] { post(UM_SHOW_HISTORY, selected); });
        connect(menu->addAction(uiText("Authorization request")), &QAction::triggered, this,
                [this, selected] { askAuthorization(selected); });
        connect(menu->addAction(uiText("Remove contact")), &QAction::triggered, this,
                [this, selected] { askRemoval(selected); });
        menu->addSeparator();
    }
    connect(menu->addAction(uiText("Find Lumora users")), &QAction::triggered, this,
            [this] { controller_.postMessage(UM_SHOW_SEARCH); });
    connect(menu->addAction(uiText("Add jabber user")), &QAction::triggered, this,
            &ContactList::askNewContact);
    return menu;
}

void ContactList::openContextMenu(const std::shared_ptr<LumoraContact>& selected,
                                  const QPoint& globalPos) {
    if (menu_) {
        menu_->close();
    }
    menu_ = createContextMenu(selected);
    menu_->popup(globalPos);
}

// Beside the entry, over the map; moved inside the frame where it would leave it.
void ContactList::showInfoWindow(const std::shared_ptr<LumoraContact>& contact,
                                 const QRect& entry) {
    ContactInfoWindow* active = contact->hasAvatar() ? withPicture_ : withoutPicture_;
    ContactInfoWindow* other = contact->hasAvatar() ? withoutPicture_ : withPicture_;
    if (active == nullptr) {
        kestra::Log::error("ContactList::showInfoWindow( current Active InfoWindow == NULL.");
        return;
    }
    if (other != nullptr) {
        other->hide();
    }
    active->setContactInfo(contact);
    QWidget* area = active->parentWidget() != nullptr ? active->parentWidget() : window();
    const QPoint corner = listBox_->viewport()->mapTo(area, entry.topLeft());
    const QSize size = active->sizeHint();
    active->placeAt(QPoint(corner.x() - size.width() - 6, corner.y()));
    active->showInFront();
}

void ContactList::askAuthorization(const std::shared_ptr<LumoraContact>& contact) {
    auto* dialog = new AuthorizationRequestDialog(controller_, contact, window());
    dialog->open();
}

void ContactList::askRemoval(const std::shared_ptr<LumoraContact>& contact) {
    auto* dialog = new RemoveContactDialog(controller_, contact, window());
    dialog->open();
}

void ContactList::askNewContact() {
    auto* dialog = new AddContactDialog(controller_, window());
    dialog->open();
}
