#include "client/gui/ChatDialog.h"

#include <QAction>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTextCursor>
#include <QTextEdit>
#include <QVBoxLayout>
#include <vector>

#include "client/app/ApplicationMessages.h"
#include "client/app/IApplicationManager.h"
#include "client/contacts/ChatHistory.h"
#include "client/contacts/LumoraContact.h"
#include "client/contacts/UserContactProfile.h"
#include "client/gui/Artwork.h"
#include "client/gui/ChatText.h"
#include "client/gui/ContactLook.h"
#include "client/gui/UiText.h"
#include "client/gui/WindowFront.h"
#include "kestra/Exceptions.h"
#include "kestra/Log.h"

using kestra::Log;

const ChatDialog::LineColours ChatDialog::SENT{QColor(19, 144, 16), QColor(85, 84, 84),
                                               QColor(0, 0, 0)};
const ChatDialog::LineColours ChatDialog::RECEIVED{QColor(254, 1, 1), QColor(85, 84, 84),
                                                   QColor(0, 0, 0)};
const ChatDialog::LineColours ChatDialog::NOTICE{QColor(254, 1, 1), QColor(254, 1, 1),
                                                 QColor(254, 1, 1)};

namespace {
QPushButton* makeButton(const char* text, const char* name, QWidget* parent) {
    auto* button = new QPushButton(uiText(text), parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setAutoDefault(false);
    return button;
}
}  // namespace

ChatDialog::ChatDialog(IApplicationManager& controller, std::shared_ptr<LumoraContact> contact,
                       QWidget* parent, kestra::IClock& clock)
    : QDialog(parent),
      controller_(controller),
      contact_(std::move(contact)),
      clock_(clock),
      front_(std::make_shared<std::atomic<bool>>(false)),
      log_(new QTextEdit(this)),
      input_(new QPlainTextEdit(this)),
      send_(makeButton("Send", "sendButton", this)),
      details_(makeButton("Details", "detailsButton", this)),
      history_(makeButton("History", "historyButton", this)) {
    setObjectName(QStringLiteral("chatDialog"));
    setWindowIcon(Artwork::icon(QStringLiteral("lumora"), 64));
    log_->setObjectName(QStringLiteral("chatLog"));
    log_->setReadOnly(true);
    log_->setAcceptRichText(false);
    log_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    log_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(log_, &QWidget::customContextMenuRequested, this, &ChatDialog::showLogMenu);
    input_->setObjectName(QStringLiteral("chatInput"));
    input_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    input_->setPlaceholderText(
        uiText("Type a message; Enter sends, Shift+Enter starts a new line"));
    input_->setTabChangesFocus(true);
    input_->installEventFilter(this);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(log_, 3);
    auto* typing = new QHBoxLayout;
    typing->addWidget(input_, 1);
    typing->addWidget(send_);
    layout->addLayout(typing, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(details_);
    buttons->addWidget(history_);
    buttons->addStretch(1);
    layout->addLayout(buttons);

    connect(send_, &QPushButton::clicked, this, &ChatDialog::sendMessage);
    connect(details_, &QPushButton::clicked, this, [this] {
        controller_.postMessage(UM_SHOW_CONTACT_DETAILS, 0, 0, kestra::makePayload(contact_));
    });
    connect(history_, &QPushButton::clicked, this, [this] {
        controller_.postMessage(UM_SHOW_HISTORY, 0, 0, kestra::makePayload(contact_));
    });

    placeOver(parent);
    refreshChatTitle();
    showLastMessages();
}

ChatDialog::~ChatDialog() = default;

// As wide as the main frame and about two thirds of its height, at its top-left corner.
void ChatDialog::placeOver(QWidget* parent) {
    if (parent == nullptr) {
        resize(480, 360);
        return;
    }
    const QRect frame = parent->geometry();
    resize(std::max(320, frame.width()), std::max(240, static_cast<int>(frame.height() * 0.635)));
    move(frame.topLeft());
}

std::wstring ChatDialog::userName() const {
    const UserContactProfile* profile = controller_.getUserContactProfile();
    return profile != nullptr ? ContactLook::displayName(*profile).toStdWString() : std::wstring();
}

std::wstring ChatDialog::contactName() const {
    return contact_ ? ContactLook::displayName(*contact_).toStdWString() : std::wstring();
}

void ChatDialog::refreshChatTitle() {
    const QString title = QString::fromStdWString(contactName());
    setWindowTitle(title);
    if (windowTitle() != title) {
        Log::error("ChatDialog::OnInitDialog: while set SetWindowText().");
    }
}

// Three runs at the end of the log: the name and a space, the time label and a space, the
// text and a line feed. The log then shows its end.
void ChatDialog::appendLine(const std::wstring& name, const std::wstring& time,
                            const std::wstring& text, const LineColours& colours) {
    QTextCursor cursor(log_->document());
    cursor.movePosition(QTextCursor::End);
    QTextCharFormat format;
    format.setForeground(colours.name);
    format.setFontWeight(QFont::Bold);
    cursor.insertText(QString::fromStdWString(name + L" "), format);
    format.setFontWeight(QFont::Normal);
    format.setForeground(colours.time);
    cursor.insertText(QString::fromStdWString(time + L" "), format);
    format.setForeground(colours.text);
    cursor.insertText(QString::fromStdWString(text) + QLatin1Char('\n'), format);
    QScrollBar* bar = log_->verticalScrollBar();
    bar->setValue(bar->maximum());
}

// A failed write is logged; the line stays on screen and the message is not lost for the
// contact (it was sent or received), only for the history.
void ChatDialog::writeHistory(const std::wstring& text, bool sent) {
    if (!contact_) {
        return;
    }
    try {
        ChatHistory::addMessageNow(contact_->getHashContactName(), text,
                                   sent ? ChatHistory::SENT : ChatHistory::RECEIVED,
                                   contact_->getLock(), clock_);
    } catch (const std::exception& e) {
        Log::error(std::string("ChatDialog: the message could not be written to the history: ") +
                   e.what());
    }
}

void ChatDialog::sendMessage() {
    input_->setFocus();
    const QString typed = input_->toPlainText();
    if (typed.trimmed().isEmpty()) {
        return;
    }
    const std::wstring text = ChatText::clean(typed.toStdWString());
    input_->clear();
    const std::wstring time = ChatText::timeLabel(clock_.now());
    appendLine(userName(), time, text, SENT);
    if (contact_) {
        controller_.sendChatMessage(text, contact_->getJid());
    }
    const UserContactProfile* profile = controller_.getUserContactProfile();
    const int status = profile != nullptr ? profile->getStatus() : LumoraContact::STATUS_OFFLINE;
    if (status == LumoraContact::STATUS_OFFLINE || status == LumoraContact::STATUS_CONNECTING) {
        appendLine(std::wstring(), time, Dictionary::translate("No connection."), NOTICE);
    }
    writeHistory(text, true);
}

void ChatDialog::addChatMessage(const std::wstring& received, bool notice) {
    const std::wstring text = ChatText::clean(received);
    const std::wstring time = ChatText::timeLabel(clock_.now());
    if (notice) {
        appendLine(std::wstring(), time, text, NOTICE);
        return;
    }
    appendLine(contactName(), time, text, RECEIVED);
    writeHistory(text, false);
}

void ChatDialog::contactStatusChanged(int status) {
    const std::wstring text = contactName() + Dictionary::translate(" changed status to ") +
                              ChatText::statusWord(status) + L".";
    appendLine(std::wstring(), ChatText::statusTimeLabel(clock_.now()), text, NOTICE);
    update();
}

// The last day's latest records: "4" + date for the day, then "0"/"1" + "HH:MM:SS" + text.
// Records of another day than today carry that day's short date in their time label.
void ChatDialog::showLastMessages() {
    if (!contact_) {
        return;
    }
    std::vector<std::wstring> entries;
    try {
        ChatHistory::loadLastDay(contact_->getHashContactName(), entries, LAST_MESSAGES,
                                 contact_->getLock());
    } catch (const std::exception& e) {
        Log::error(std::string("ChatDialog::setLastMessages: ") + e.what());
        return;
    }
    const std::wstring today = ChatHistory::dateText(clock_.now());
    const bool english = ChatText::englishDates();
    std::wstring dateSuffix;
    for (const std::wstring& entry : entries) {
        if (entry.size() < 10) {
            continue;
        }
        if (entry[0] < L'0' || entry[0] > L'9') {
            Log::error(" ChatDialog::setLastMessages error while parsing history");
            break;
        }
        const int type = entry[0] - L'0';
        if (type == ChatHistory::DAY_HEADER) {
            const std::wstring date = entry.substr(1, 10);
            dateSuffix = date == today ? std::wstring() : L" " + ChatText::shortDate(date, english);
            continue;
        }
        const std::wstring time = L"(" + entry.substr(1, 5) + dateSuffix + L")";
        const std::wstring text = entry.substr(9);
        if (type == ChatHistory::RECEIVED) {
            appendLine(contactName(), time, text, RECEIVED);
        } else if (type == ChatHistory::SENT) {
            appendLine(userName(), time, text, SENT);
        }
    }
}

void ChatDialog::showChat() {
    setEnabled(true);
    bringWindowToFront(*this);
    input_->setFocus();
}

void ChatDialog::hideChat() {
    hide();
}

void ChatDialog::hideEvent(QHideEvent* event) {
    setEnabled(false);
    front_->store(false);
    QDialog::hideEvent(event);
}

void ChatDialog::changeEvent(QEvent* event) {
    if (event->type() == QEvent::ActivationChange) {
        front_->store(isActiveWindow());
    }
    QDialog::changeEvent(event);
}

// Enter sends, Shift+Enter (or Ctrl+Enter) is a line feed in the text.
bool ChatDialog::eventFilter(QObject* watched, QEvent* event) {
    if (watched == input_ && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
        if (enter && !(key->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier))) {
            sendMessage();
            return true;
        }
        if (enter) {
            input_->insertPlainText(QStringLiteral("\n"));
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void ChatDialog::showLogMenu(const QPoint& position) {
    QMenu menu(this);
    QAction* copy = menu.addAction(uiText("Copy"));
    copy->setEnabled(log_->textCursor().hasSelection());
    connect(copy, &QAction::triggered, log_, &QTextEdit::copy);
    menu.exec(log_->viewport()->mapToGlobal(position));
}
