#pragma once

#include <memory>

#include "client/app/IWindow.h"

class LumoraContact;

// The history window: a contact's whole stored conversation, day by day, with a search.
class IHistoryWindow : public IWindow {
public:
    // Loads the contact's history into the window and shows it in front.
    virtual void showHistory(const std::shared_ptr<LumoraContact>& contact) = 0;
};
