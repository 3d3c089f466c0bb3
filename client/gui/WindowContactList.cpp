#include "client/gui/WindowContactList.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QVBoxLayout>

#include "client/gui/ContactList.h"
#include "client/gui/ContactListModel.h"
#include "client/gui/ContactsListBoxWindow.h"
#include "client/gui/ScreenResolution.h"
#include "client/gui/UiText.h"

WindowContactList::WindowContactList(IApplicationManager& controller,
                                     ContactInfoWindow* withPicture,
                                     ContactInfoWindow* withoutPicture, QWidget* parent)
    : QWidget(parent), filter_(new QLineEdit(this)), list_(nullptr) {
    setObjectName(QStringLiteral("contactPane"));
    const bool high = ScreenResolution::isHighFor(parent);
    list_ = new ContactList(controller, withPicture, withoutPicture, high, this);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    layout->addWidget(filter_);
    layout->addWidget(list_, 1);
    filter_->setObjectName(QStringLiteral("contactFilter"));
    filter_->setPlaceholderText(uiText("Filter contacts"));
    filter_->setClearButtonEnabled(true);
    filter_->installEventFilter(this);
    connect(filter_, &QLineEdit::textChanged, this,
            [this](const QString& text) { list_->listBox().setFilter(text); });
    setMinimumWidth(140);
}

bool WindowContactList::eventFilter(QObject* watched, QEvent* event) {
    if (watched == filter_ && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape && !filter_->text().isEmpty()) {
        filter_->clear();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void WindowContactList::addContact(const std::shared_ptr<LumoraContact>& contact) {
    list_->listBox().addStringAndData(contact);
}

void WindowContactList::removeContact(const std::wstring& jid) {
    list_->listBox().removeContact(jid);
}

void WindowContactList::contactChanged(const std::wstring& jid) {
    list_->listBox().contactChanged(jid);
}

int WindowContactList::contactCount() const {
    return list_->listBox().contacts().entryCount();
}

void WindowContactList::onTick() {
    list_->listBox().onTick();
}
