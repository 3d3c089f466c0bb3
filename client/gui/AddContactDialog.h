#pragma once

#include <QDialog>
#include <string>

class IControllerCommands;
class QLabel;
class QLineEdit;
class QPushButton;

// "Add new contact": the user types a Jabber ID (or just a user id of this service), with a
// hint below that turns red while the input is not one; "Add", enabled only for a
// well-formed ID, posts UM_AUTHORIZATION_REQUEST with it and an empty
// message. Deletes itself when closed.
class AddContactDialog : public QDialog {
    Q_OBJECT
public:
    AddContactDialog(IControllerCommands& controller, QWidget* parent);

    // The JID the input stands for: "name@domain" as typed (without spaces around it), or a
    // user id of digits on this service's host; empty when it is neither.
    static std::wstring jidFrom(const QString& input);

    QLineEdit* jidBox() const { return jid_; }
    QPushButton* addButton() const { return add_; }

private:
    void check();
    void send();

    IControllerCommands& controller_;
    QLineEdit* jid_;
    QLabel* hint_;
    QPushButton* add_;
};
