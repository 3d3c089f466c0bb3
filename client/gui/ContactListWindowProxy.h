#pragma once

#include <atomic>
#include <memory>

#include "client/app/IContactListWindow.h"
#include "client/gui/WindowContactList.h"
#include "client/gui/WindowProxy.h"

// The controller's handle on the contact pane. The number of entries is mirrored after each
// change, on the GUI thread.
class ContactListWindowProxy : public WindowProxy<IContactListWindow, WindowContactList> {
public:
    ContactListWindowProxy(IGuiThread& gui, WindowContactList* pane)
        : WindowProxy(gui, pane, "ContactList"), count_(std::make_shared<std::atomic<int>>(0)) {}

    void addContact(const std::shared_ptr<LumoraContact>& contact) override {
        change([contact](WindowContactList& pane) { pane.addContact(contact); });
    }
    void removeContact(const std::wstring& jid) override {
        change([jid](WindowContactList& pane) { pane.removeContact(jid); });
    }
    void contactChanged(const std::wstring& jid) override {
        window_.post([jid](WindowContactList& pane) { pane.contactChanged(jid); });
    }
    int contactCount() const override { return count_->load(); }
    void onTimer() override {
        window_.post([](WindowContactList& pane) { pane.onTick(); });
    }

private:
    template <class Work>
    void change(Work work) {
        std::shared_ptr<std::atomic<int>> count = count_;
        window_.post([work, count](WindowContactList& pane) {
            work(pane);
            *count = pane.contactCount();
        });
    }

    std::shared_ptr<std::atomic<int>> count_;
};
