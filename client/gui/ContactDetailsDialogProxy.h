#pragma once

#include <memory>
#include <mutex>
#include <string>

#include "client/app/IContactDetailsDialog.h"
#include "client/contacts/LumoraContact.h"
#include "client/gui/ContactDetailsDialog.h"
#include "client/gui/WindowProxy.h"

// The controller's handle on the contact details dialog. The JID of the contact it holds is
// kept here, so it can be asked from any thread.
class ContactDetailsDialogProxy : public WindowProxy<IContactDetailsDialog, ContactDetailsDialog> {
public:
    ContactDetailsDialogProxy(IGuiThread& gui, ContactDetailsDialog* dialog)
        : WindowProxy(gui, dialog, "DialogDetailContactsInfo") {}

    void showContact(const std::shared_ptr<LumoraContact>& contact, int flag) override {
        if (!contact) {
            return;
        }
        {
            std::lock_guard<std::mutex> guard(mutex_);
            jid_ = contact->getJid();
        }
        window_.post(
            [contact, flag](ContactDetailsDialog& dialog) { dialog.showContact(contact, flag); });
    }
    void refreshContact(const std::wstring& jid) override {
        window_.post([jid](ContactDetailsDialog& dialog) { dialog.refreshContact(jid); });
    }
    std::wstring contactJid() const override {
        std::lock_guard<std::mutex> guard(mutex_);
        return jid_;
    }

private:
    mutable std::mutex mutex_;
    std::wstring jid_;
};
