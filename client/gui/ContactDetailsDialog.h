#pragma once

#include <QDialog>
#include <memory>
#include <string>

class IApplicationManager;
class LumoraContact;
class QLabel;
class QLineEdit;

// A contact's profile card as the device keeps it: picture, names, user id, e-mail address,
// telephone, birthday, gender and "about" text. The nick is the user's name for the
// contact: for a contact of the list it can be changed, and "OK" posts UM_CHANGE_NICK.
class ContactDetailsDialog : public QDialog {
    Q_OBJECT
public:
    explicit ContactDetailsDialog(IApplicationManager& controller, QWidget* parent);

    // Fills the dialog for the contact (flag as the caller gave it) and shows it in front.
    void showContact(const std::shared_ptr<LumoraContact>& contact, int flag);
    // The card of the contact with that JID changed: the fields are filled again when it is
    // the one shown (a nick being typed is kept).
    void refreshContact(const std::wstring& jid);
    std::shared_ptr<LumoraContact> contact() const { return contact_; }
    int flag() const { return flag_; }
    QLineEdit* nickBox() const { return nick_; }
    QString fieldText(const char* field) const;

private:
    void fill();
    void setField(const char* field, const QString& value);
    void apply();

    IApplicationManager& controller_;
    std::shared_ptr<LumoraContact> contact_;
    int flag_ = 0;
    QLabel* picture_;
    QLineEdit* nick_;
};
