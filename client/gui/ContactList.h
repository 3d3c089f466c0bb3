#pragma once

#include <QMenu>
#include <QPointer>
#include <QWidget>
#include <memory>

class ContactInfoWindow;
class ContactsListBoxWindow;
class IApplicationManager;
class LumoraContact;

// The contact list's behaviour: a tapped contact's information window (the one with the
// picture for a contact that has one; the other is hidden), the context menu and the
// dialogs it opens. Every choice becomes a controller message.
//
// The context menu: "Chat", "Position" (only for a contact with a known position),
// "History", "Authorization request" and "Remove contact" while a contact is selected, then
// always "Find Lumora users" and "Add jabber user".
class ContactList : public QWidget {
    Q_OBJECT
public:
    ContactList(IApplicationManager& controller, ContactInfoWindow* withPicture,
                ContactInfoWindow* withoutPicture, bool highResolution, QWidget* parent);

    ContactsListBoxWindow& listBox() const { return *listBox_; }
    // Builds the context menu for the selected contact (null: none selected).
    QMenu* createContextMenu(const std::shared_ptr<LumoraContact>& selected);
    // The context menu opened last (null once it is gone).
    QMenu* contextMenu() const { return menu_; }
    // Shows the contact's information window beside its entry (a rectangle of the list's
    // viewport).
    void showInfoWindow(const std::shared_ptr<LumoraContact>& contact, const QRect& entry);

    void askAuthorization(const std::shared_ptr<LumoraContact>& contact);
    void askRemoval(const std::shared_ptr<LumoraContact>& contact);
    void askNewContact();

private:
    void openContextMenu(const std::shared_ptr<LumoraContact>& selected, const QPoint& globalPos);
    void post(unsigned int id, const std::shared_ptr<LumoraContact>& contact);

    IApplicationManager& controller_;
    QPointer<ContactInfoWindow> withPicture_;
    QPointer<ContactInfoWindow> withoutPicture_;
    ContactsListBoxWindow* listBox_;
    QPointer<QMenu> menu_;
};
