#pragma once

#include <QDialog>
#include <memory>

class IControllerCommands;
class LumoraContact;
class QPushButton;

// "Do you really want to remove contact: <name>"; "Yes" posts UM_REMOVE_CONTACT with the
// contact. Deletes itself when closed.
class RemoveContactDialog : public QDialog {
    Q_OBJECT
public:
    RemoveContactDialog(IControllerCommands& controller, std::shared_ptr<LumoraContact> contact,
                        QWidget* parent);

    QPushButton* yesButton() const { return yes_; }

private:
    IControllerCommands& controller_;
    std::shared_ptr<LumoraContact> contact_;
    QPushButton* yes_;
};
