#pragma once

#include <QDialog>
#include <memory>

class IControllerCommands;
class LumoraContact;
class QLineEdit;
class QPushButton;

// "Add contact": asks whether to add the contact (by name and user id) and takes a message
// for them; "Add" posts UM_AUTHORIZATION_REQUEST with the JID and the message. Deletes
// itself when closed.
class AuthorizationRequestDialog : public QDialog {
    Q_OBJECT
public:
    AuthorizationRequestDialog(IControllerCommands& controller,
                               std::shared_ptr<LumoraContact> contact, QWidget* parent);

    QLineEdit* messageBox() const { return message_; }
    QPushButton* addButton() const { return add_; }

private:
    void send();

    IControllerCommands& controller_;
    std::shared_ptr<LumoraContact> contact_;
    QLineEdit* message_;
    QPushButton* add_;
};
