#pragma once

#include <QWidget>
#include <memory>
#include <string>

class ContactInfoWindow;
class ContactList;
class IApplicationManager;
class LumoraContact;
class QLineEdit;

// The contact pane: a filter box that narrows the list as the user types, above the list
// (ContactList). Escape in the filter box empties it.
class WindowContactList : public QWidget {
    Q_OBJECT
public:
    WindowContactList(IApplicationManager& controller, ContactInfoWindow* withPicture,
                      ContactInfoWindow* withoutPicture, QWidget* parent);

    void addContact(const std::shared_ptr<LumoraContact>& contact);
    void removeContact(const std::wstring& jid);
    void contactChanged(const std::wstring& jid);
    int contactCount() const;
    void onTick();

    QLineEdit* filterBox() const { return filter_; }
    ContactList& contactList() const { return *list_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QLineEdit* filter_;
    ContactList* list_;
};
