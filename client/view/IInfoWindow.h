#pragma once

#include <memory>
#include <string>

class LumoraContact;

// A small window over the map (a contact's info window, the group list). Positions are
// pixels of the map area; the window places itself on the screen from there. Called on
// the window's thread.
class IFloatingWindow {
public:
    virtual ~IFloatingWindow() = default;
    virtual void getSize(int& width, int& height) = 0;
    virtual void show() = 0;
    virtual void hide() = 0;
    virtual void moveTo(int x, int y) = 0;
    virtual void bringToFront() = 0;
};

// The info window of one contact (with or without the contact's photo).
class IInfoWindow : public IFloatingWindow {
public:
    virtual void setContact(const std::shared_ptr<LumoraContact>& contact) = 0;
};

// The list of the contacts of a group of markers.
class IContactsGroupWindow : public IFloatingWindow {
public:
    virtual void clearContacts() = 0;
    virtual void addContact(const std::wstring& name,
                            const std::shared_ptr<LumoraContact>& contact) = 0;
};
