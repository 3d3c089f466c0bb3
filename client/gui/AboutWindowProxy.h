#pragma once

#include "client/app/IAboutWindow.h"
#include "client/gui/AboutWindow.h"
#include "client/gui/WindowProxy.h"

// The controller's handle on the about window.
class AboutWindowProxy : public WindowProxy<IAboutWindow, AboutWindow> {
public:
    AboutWindowProxy(IGuiThread& gui, AboutWindow* window)
        : WindowProxy(gui, window, "AboutWindow") {}

    void setDownloadAddress(const std::wstring& address) override {
        window_.post([address](AboutWindow& window) {
            window.setDownloadAddress(QString::fromStdWString(address));
        });
    }
    void setUpdateNote(const std::wstring& note) override {
        window_.post(
            [note](AboutWindow& window) { window.setUpdateNote(QString::fromStdWString(note)); });
    }
};
