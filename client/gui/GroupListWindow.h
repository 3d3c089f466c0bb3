#pragma once

#include <memory>
#include <string>
#include <vector>

#include "client/gui/FloatingWindow.h"

class IControllerCommands;
class LumoraContact;
class QListWidget;

// The contacts of a group of markers that the user tapped on the map, each with its status;
// tapping one opens the chat with it and hides the list.
class GroupListWindow : public FloatingWindow {
    Q_OBJECT
public:
    GroupListWindow(IControllerCommands& controller, bool highResolution, QWidget* parent);

    void clearContacts();
    // An entry named name (the contact's display name when empty).
    void addContact(const std::wstring& name, const std::shared_ptr<LumoraContact>& contact);
    int count() const;
    QListWidget* list() const { return list_; }

private:
    IControllerCommands& controller_;
    const bool high_;
    QListWidget* list_;
    std::vector<std::shared_ptr<LumoraContact>> contacts_;
};
