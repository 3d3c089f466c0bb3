#include "client/gui/ContactsListBoxWindow.h"

#include <QContextMenuEvent>
#include <QGestureEvent>
#include <QPainter>
#include <QTapAndHoldGesture>

#include "client/app/IChatControl.h"
#include "client/contacts/LumoraContact.h"
#include "client/gui/ContactItemDelegate.h"
#include "client/gui/ContactListModel.h"
#include "client/gui/ContactLook.h"
#include "client/gui/UiText.h"
#include "kestra/Exceptions.h"
#include "kestra/Log.h"

ContactsListBoxWindow::ContactsListBoxWindow(IChatControl& chats, bool highResolution,
                                             QWidget* parent)
    : QListView(parent),
      chats_(chats),
      model_(new ContactListModel(this)),
      delegate_(new ContactItemDelegate(
          highResolution,
          [this](const std::wstring& jid) { return chats_.hasUnreadMessagesFrom(jid); }, this)) {
    setObjectName(QStringLiteral("contactsListBox"));
    setModel(model_);
    setItemDelegate(delegate_);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setUniformItemSizes(true);
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    viewport()->grabGesture(Qt::TapAndHoldGesture);
    connect(model_, &QAbstractItemModel::modelAboutToBeReset, this,
            &ContactsListBoxWindow::keepSelection);
    connect(model_, &QAbstractItemModel::modelReset, this,
            &ContactsListBoxWindow::restoreSelection);
    connect(this, &QAbstractItemView::clicked, this, [this](const QModelIndex& index) {
        if (std::shared_ptr<LumoraContact> contact = model_->contactAt(index)) {
            emit tapped(contact, visualRect(index));
        }
    });
    connect(this, &QAbstractItemView::activated, this, [this](const QModelIndex& index) {
        if (std::shared_ptr<LumoraContact> contact = model_->contactAt(index)) {
            emit chatWanted(contact);
        }
    });
}

bool ContactsListBoxWindow::addStringAndData(const std::shared_ptr<LumoraContact>& contact) {
    if (!contact) {
        kestra::Log::error("ContactsListBoxWindow::addStringAndData data == NULL");
        throw kestra::NullPointerException("ContactsListBoxWindow::addStringAndData",
                                           "data == NULL");
    }
    if (ContactLook::displayName(*contact).isEmpty()) {
        kestra::Log::error("ContactsListBoxWindow::addStringAndData text string size == 0.");
        return false;
    }
    model_->add(contact);
    return true;
}

void ContactsListBoxWindow::removeContact(const std::wstring& jid) {
    if (jid == selectedJid_) {
        selectedJid_.clear();
    }
    model_->remove(jid);
}

void ContactsListBoxWindow::contactChanged(const std::wstring& jid) {
    model_->changed(jid);
}

void ContactsListBoxWindow::setFilter(const QString& text) {
    model_->setFilter(text);
}

std::shared_ptr<LumoraContact> ContactsListBoxWindow::selectedContact() const {
    const QModelIndexList selected = selectionModel()->selectedIndexes();
    return selected.isEmpty() ? nullptr : model_->contactAt(selected.first());
}

void ContactsListBoxWindow::selectContact(const std::wstring& jid) {
    const QModelIndex index = model_->indexOf(jid);
    if (index.isValid()) {
        setCurrentIndex(index);
    } else {
        clearSelection();
    }
}

void ContactsListBoxWindow::keepSelection() {
    const std::shared_ptr<LumoraContact> selected = selectedContact();
    selectedJid_ = selected ? selected->getJid() : std::wstring();
}

// A contact the filter hides is no longer selected.
void ContactsListBoxWindow::restoreSelection() {
    if (!selectedJid_.empty()) {
        selectContact(selectedJid_);
    }
}

bool ContactsListBoxWindow::blinkPhase() const {
    return delegate_->blinkPhase();
}

void ContactsListBoxWindow::onTick() {
    if (++ticks_ % BLINK_TICKS != 0) {
        return;
    }
    delegate_->setBlinkPhase(chats_.hasUnreadMessages() && !delegate_->blinkPhase());
    viewport()->update();
}

// A mouse's request comes through the viewport, in its pixels; the menu key's comes to the
// list itself and opens the menu at the selected entry.
void ContactsListBoxWindow::contextMenuEvent(QContextMenuEvent* event) {
    event->accept();
    if (event->reason() != QContextMenuEvent::Keyboard) {
        askForMenuAt(event->pos(), event->globalPos());
        return;
    }
    const std::shared_ptr<LumoraContact> selected = selectedContact();
    const QPoint place = selected ? visualRect(currentIndex()).center() : QPoint(0, 0);
    emit contextMenuWanted(selected, viewport()->mapToGlobal(place));
}

void ContactsListBoxWindow::askForMenuAt(const QPoint& viewportPos, const QPoint& globalPos) {
    const QModelIndex index = indexAt(viewportPos);
    if (index.isValid()) {
        setCurrentIndex(index);
    } else {
        clearSelection();
        setCurrentIndex(QModelIndex());
    }
    emit contextMenuWanted(selectedContact(), globalPos);
}

// A long touch on a touch screen opens the context menu as a right click does.
bool ContactsListBoxWindow::viewportEvent(QEvent* event) {
    if (event->type() == QEvent::Gesture) {
        auto* gestures = static_cast<QGestureEvent*>(event);
        if (auto* hold = static_cast<QTapAndHoldGesture*>(gestures->gesture(Qt::TapAndHoldGesture));
            hold != nullptr && hold->state() == Qt::GestureFinished) {
            const QPoint global = hold->position().toPoint();
            askForMenuAt(viewport()->mapFromGlobal(global), global);
            return true;
        }
    }
    return QListView::viewportEvent(event);
}

void ContactsListBoxWindow::paintEvent(QPaintEvent* event) {
    QListView::paintEvent(event);
    if (model_->rowCount() != 0) {
        return;
    }
    QPainter painter(viewport());
    painter.setPen(palette().color(QPalette::Disabled, QPalette::Text));
    const QString note = model_->entryCount() == 0 ? uiText("No contacts yet")
                                                   : uiText("No contact matches the filter");
    painter.drawText(viewport()->rect().adjusted(8, 8, -8, -8),
                     Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap, note);
}
