#pragma once

#include <memory>

#include "client/gui/FloatingWindow.h"
#include "client/view/IInfoWindow.h"

class IControllerCommands;
class LumoraContact;
class QLabel;
class QPushButton;

// A contact's information over the map: the name, "GID: " with the user id, "E-mail: " with
// the address, the contact's picture in the variant with a picture, and three buttons:
// "Chat", "Position" (for a contact with a known position) and "User profile". "Position"
// and "User profile" hide the window. The map view's draw logic fills and places it as an
// IInfoWindow (positions in the map area's pixels), on the GUI thread.
class ContactInfoWindow : public FloatingWindow, public IInfoWindow {
    Q_OBJECT
public:
    static constexpr int PICTURE_SIZE = 64;

    ContactInfoWindow(IControllerCommands& controller, bool withPicture, QWidget* parent);

    bool hasPicture() const { return withPicture_; }
    // Shows the contact; one without stored details is shown by its id and noted in the log.
    void setContactInfo(const std::shared_ptr<LumoraContact>& contact);
    std::shared_ptr<LumoraContact> contact() const { return contact_; }

    // IInfoWindow
    void setContact(const std::shared_ptr<LumoraContact>& contact) override {
        setContactInfo(contact);
    }
    void getSize(int& width, int& height) override { FloatingWindow::getSize(width, height); }
    void show() override { QWidget::show(); }
    void hide() override { hideOnItsThread(); }
    void moveTo(int x, int y) override { FloatingWindow::moveTo(x, y); }
    void bringToFront() override { FloatingWindow::bringToFront(); }

    QPushButton* chatButton() const { return chat_; }
    QPushButton* positionButton() const { return position_; }
    QPushButton* profileButton() const { return profile_; }

private:
    void showPicture(const LumoraContact& contact);
    void post(unsigned int id, bool hideAfter);

    IControllerCommands& controller_;
    const bool withPicture_;
    std::shared_ptr<LumoraContact> contact_;
    QLabel* picture_ = nullptr;
    QLabel* fullName_;
    QLabel* gid_;
    QLabel* email_;
    QPushButton* chat_;
    QPushButton* position_;
    QPushButton* profile_;
};
