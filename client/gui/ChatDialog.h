#pragma once

#include <QColor>
#include <QDialog>
#include <atomic>
#include <memory>
#include <string>

#include "kestra/Clock.h"

class IApplicationManager;
class LumoraContact;
class QPlainTextEdit;
class QPushButton;
class QTextEdit;

// The conversation with one contact: the log (each line the name, the time label and the
// text, each in its colour), the input box (Enter sends, Shift+Enter starts a new line), the
// send button and the buttons to the contact's details and history. Every message sent or
// received is written to the contact's history; notices and status lines are not. On
// opening it shows the latest ten records of the contact's last history day.
//
// Closing hides and disables it; the controller destroys it when it closes all chats.
// GUI thread only; the controller reaches it through ChatDialogProxy.
class ChatDialog : public QDialog {
    Q_OBJECT
public:
    // The colours of the three runs of a line.
    struct LineColours {
        QColor name;
        QColor time;
        QColor text;
    };
    static const LineColours SENT;
    static const LineColours RECEIVED;
    static const LineColours NOTICE;
    static constexpr int LAST_MESSAGES = 10;

    ChatDialog(IApplicationManager& controller, std::shared_ptr<LumoraContact> contact,
               QWidget* parent, kestra::IClock& clock = kestra::SystemClock::instance());
    ~ChatDialog() override;

    // A received line (written to the history), or a notice (not written).
    void addChatMessage(const std::wstring& text, bool notice);
    // The contact's new status as a notice.
    void contactStatusChanged(int status);
    void refreshChatTitle();
    // Enabled, shown in front, the focus in the input box.
    void showChat();
    void hideChat();
    // The send button: sends what the input box holds.
    void sendMessage();

    const std::shared_ptr<LumoraContact>& contact() const { return contact_; }
    // Whether the window is the active one, for any thread.
    std::shared_ptr<std::atomic<bool>> frontState() const { return front_; }
    QTextEdit* log() const { return log_; }
    QPlainTextEdit* input() const { return input_; }
    QPushButton* sendButton() const { return send_; }
    QPushButton* detailsButton() const { return details_; }
    QPushButton* historyButton() const { return history_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void changeEvent(QEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void appendLine(const std::wstring& name, const std::wstring& time, const std::wstring& text,
                    const LineColours& colours);
    void writeHistory(const std::wstring& text, bool sent);
    void showLastMessages();
    void placeOver(QWidget* parent);
    void showLogMenu(const QPoint& position);
    std::wstring userName() const;
    std::wstring contactName() const;

    IApplicationManager& controller_;
    std::shared_ptr<LumoraContact> contact_;
    kestra::IClock& clock_;
    std::shared_ptr<std::atomic<bool>> front_;
    QTextEdit* log_;
    QPlainTextEdit* input_;
    QPushButton* send_;
    QPushButton* details_;
    QPushButton* history_;
};
