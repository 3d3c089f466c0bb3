#pragma once

#include <QApplication>
#include <memory>

#include "client/app/IHistoryWindow.h"
#include "client/contacts/LumoraContact.h"
#include "client/gui/HistoryDialog.h"
#include "client/gui/WindowFront.h"
#include "client/gui/WindowProxy.h"

// The controller's handle on the history window.
class HistoryDialogProxy : public WindowProxy<IHistoryWindow, HistoryDialog> {
public:
    HistoryDialogProxy(IGuiThread& gui, HistoryDialog* dialog)
        : WindowProxy(gui, dialog, "HistoryDialog") {}

    // The files are read on the GUI thread with the wait cursor shown.
    void showHistory(const std::shared_ptr<LumoraContact>& contact) override {
        window_.post([contact](HistoryDialog& dialog) {
            QApplication::setOverrideCursor(Qt::WaitCursor);
            dialog.setHistory(contact);
            QApplication::restoreOverrideCursor();
            bringWindowToFront(dialog);
        });
    }
};
