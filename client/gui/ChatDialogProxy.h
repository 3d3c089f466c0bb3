#pragma once

#include <atomic>
#include <memory>
#include <string>

#include "client/app/IChatWindow.h"
#include "client/gui/ChatDialog.h"
#include "client/gui/QueuedWindow.h"

// The controller's handle on one chat window. Every operation queues its work for the
// window (the texts are copied); the shown and in-front states come from the window's
// mirrors, so they can be asked from any thread.
class ChatDialogProxy : public IChatWindow {
public:
    ChatDialogProxy(IGuiThread& gui, ChatDialog* dialog)
        : window_(gui, dialog, "ChatDialog"), front_(dialog->frontState()) {}

    void destroyChatWindow() override {
        window_.post([](ChatDialog& dialog) { dialog.deleteLater(); });
    }
    bool isChatWindowShown() const override { return window_.isShown(); }
    bool isChatWindowInFront() const override { return window_.isShown() && front_->load(); }
    void refreshChatTitle() override {
        window_.post([](ChatDialog& dialog) { dialog.refreshChatTitle(); });
    }
    void addChatMessage(const std::wstring& text, bool notice) override {
        window_.post([text, notice](ChatDialog& dialog) { dialog.addChatMessage(text, notice); });
    }
    void contactStatusChanged(int status) override {
        window_.post([status](ChatDialog& dialog) { dialog.contactStatusChanged(status); });
    }
    bool showChatWindow() override {
        return window_.post([](ChatDialog& dialog) { dialog.showChat(); });
    }
    void hideChatWindow() override {
        window_.post([](ChatDialog& dialog) { dialog.hideChat(); });
    }
    void redrawChatWindow() override {
        window_.post([](ChatDialog& dialog) {
            if (dialog.isVisible()) {
                dialog.update();
            }
        });
    }

    // GUI thread only: the window, or null once it is gone.
    ChatDialog* widget() const { return window_.widget(); }

private:
    QueuedWindow<ChatDialog> window_;
    std::shared_ptr<std::atomic<bool>> front_;
};
