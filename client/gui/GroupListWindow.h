#pragma once

#include <memory>
#include <string>
#include <vector>

#include "client/gui/FloatingWindow.h"
#include "client/view/IInfoWindow.h"

class IControllerCommands;
class LumoraContact;
class QListWidget;

// The contacts of a group of markers that the user tapped on the map, each with its status;
// tapping one opens the chat with it and hides the list. The map view's draw logic fills and
// places it as an IContactsGroupWindow (positions in the map area's pixels), on the GUI
// thread.
class GroupListWindow : public FloatingWindow, public IContactsGroupWindow {
    Q_OBJECT
public:
    GroupListWindow(IControllerCommands& controller, bool highResolution, QWidget* parent);

    int count() const;

    // IContactsGroupWindow
    void clearContacts() override;
    // An entry named name (the contact's display name when empty).
    void addContact(const std::wstring& name,
                    const std::shared_ptr<LumoraContact>& contact) override;
    void getSize(int& width, int& height) override { FloatingWindow::getSize(width, height); }
    void show() override { QWidget::show(); }
    void hide() override { hideOnItsThread(); }
    void moveTo(int x, int y) override { FloatingWindow::moveTo(x, y); }
    void bringToFront() override { FloatingWindow::bringToFront(); }
    QListWidget* list() const { return list_; }

private:
    IControllerCommands& controller_;
    const bool high_;
    QListWidget* list_;
    std::vector<std::shared_ptr<LumoraContact>> contacts_;
};
