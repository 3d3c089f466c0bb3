#include "client/gui/HistoryDialog.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>
#include <QVBoxLayout>
#include <algorithm>
#include <string>
#include <vector>

#include "client/app/IApplicationManager.h"
#include "client/contacts/ChatHistory.h"
#include "client/contacts/LumoraContact.h"
#include "client/contacts/UserContactProfile.h"
#include "client/gui/Artwork.h"
#include "client/gui/ChatText.h"
#include "client/gui/ContactLook.h"
#include "client/gui/UiText.h"
#include "kestra/Log.h"

using kestra::Log;

const QColor HistoryDialog::USER_COLOUR(0, 125, 8);
const QColor HistoryDialog::CONTACT_COLOUR(215, 2, 12);
const QColor HistoryDialog::MATCH_COLOUR(175, 223, 241);
const QColor HistoryDialog::CURRENT_MATCH_COLOUR(255, 255, 0);

HistoryDialog::HistoryDialog(IApplicationManager& controller, QWidget* parent)
    : QDialog(parent),
      controller_(controller),
      log_(new QTextEdit(this)),
      searchBox_(new QLineEdit(this)),
      searchButton_(new QPushButton(uiText("Search"), this)) {
    setObjectName(QStringLiteral("historyDialog"));
    setWindowTitle(uiText("History"));
    setWindowIcon(Artwork::icon(QStringLiteral("lumora"), 64));
    resize(520, 420);
    log_->setObjectName(QStringLiteral("historyLog"));
    log_->setReadOnly(true);
    log_->setAcceptRichText(false);
    searchBox_->setObjectName(QStringLiteral("historySearch"));
    searchBox_->setPlaceholderText(uiText("Text to find"));
    searchButton_->setObjectName(QStringLiteral("searchButton"));
    searchButton_->setAutoDefault(false);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(log_, 1);
    auto* row = new QHBoxLayout;
    row->addWidget(searchBox_, 1);
    row->addWidget(searchButton_);
    layout->addLayout(row);
    connect(searchButton_, &QPushButton::clicked, this, &HistoryDialog::search);
    connect(searchBox_, &QLineEdit::returnPressed, this, &HistoryDialog::search);
}

void HistoryDialog::appendLine(const QString& name, const QString& time, const QString& text,
                               const QColor& nameColour) {
    QTextCursor cursor(log_->document());
    cursor.movePosition(QTextCursor::End);
    QTextCharFormat format;
    format.setForeground(nameColour);
    format.setFontWeight(QFont::Bold);
    cursor.insertText(name + QLatin1Char(' '), format);
    format.setFontWeight(QFont::Normal);
    if (!time.isEmpty()) {
        cursor.insertText(time + QLatin1Char(' '), format);
    }
    format.setForeground(QColor(0, 0, 0));
    cursor.insertText(text + QLatin1Char('\n'), format);
}

void HistoryDialog::setHistory(const std::shared_ptr<LumoraContact>& contact) {
    contact_ = contact;
    log_->clear();
    clearSearch();
    lastSearch_.clear();
    if (!contact) {
        Log::error("HistoryDialog::onSetHistory contact == NULL.");
        return;
    }
    setWindowTitle(uiText("History") + QStringLiteral(": ") + ContactLook::displayName(*contact));
    std::vector<std::wstring> entries;
    try {
        ChatHistory::loadAllDays(contact->getHashContactName(), entries, contact->getLock());
    } catch (const std::exception& e) {
        Log::error(std::string("HistoryDialog::onSetHistory: ") + e.what());
        entries.clear();
    }
    const UserContactProfile* profile = controller_.getUserContactProfile();
    const QString userName = profile != nullptr ? ContactLook::displayName(*profile) : QString();
    const QString contactName = ContactLook::displayName(*contact);
    bool shown = false;
    const bool english = ChatText::englishDates();
    std::wstring date;
    for (const std::wstring& entry : entries) {
        if (entry.size() <= 9) {
            continue;
        }
        if (entry[0] < L'0' || entry[0] > L'9') {
            Log::error("HistoryDialog::setAll error while parsing history");
            break;
        }
        const int type = entry[0] - L'0';
        if (type == ChatHistory::DAY_HEADER) {
            date = ChatText::shortDate(entry.substr(1, 10), english);
            continue;
        }
        if (type != ChatHistory::RECEIVED && type != ChatHistory::SENT) {
            continue;
        }
        const QString time =
            QString::fromStdWString(L"(" + entry.substr(1, 5) + L" " + date + L")");
        const bool sent = type == ChatHistory::SENT;
        appendLine(sent ? userName : contactName, time, QString::fromStdWString(entry.substr(9)),
                   sent ? USER_COLOUR : CONTACT_COLOUR);
        shown = true;
    }
    if (!shown) {
        appendLine(userName, QString(), uiText("No history."), USER_COLOUR);
    }
    QScrollBar* bar = log_->verticalScrollBar();
    bar->setValue(bar->maximum());
}

int HistoryDialog::matchCount() const {
    return static_cast<int>(matches_.size());
}

void HistoryDialog::clearSearch() {
    matches_.clear();
    currentStart_ = -1;
    currentEnd_ = -1;
    log_->setExtraSelections({});
}

// Every match light blue, the current one yellow and in view. The marks lie over the text
// (the log's own formats stay as they are).
void HistoryDialog::markMatches() {
    QList<QTextEdit::ExtraSelection> marks;
    const int length = static_cast<int>(lastSearch_.size());
    QTextEdit::ExtraSelection current;
    for (const int start : matches_) {
        QTextEdit::ExtraSelection mark;
        mark.cursor = QTextCursor(log_->document());
        mark.cursor.setPosition(start);
        mark.cursor.setPosition(start + length, QTextCursor::KeepAnchor);
        const bool isCurrent = start == currentStart_;
        mark.format.setBackground(isCurrent ? CURRENT_MATCH_COLOUR : MATCH_COLOUR);
        if (isCurrent) {
            current = mark;
        } else {
            marks.append(mark);
        }
    }
    if (currentStart_ >= 0) {
        marks.append(current);  // drawn last, over any neighbour
        QTextCursor view(log_->document());
        view.setPosition(currentStart_);
        log_->setTextCursor(view);
        log_->ensureCursorVisible();
    }
    log_->setExtraSelections(marks);
}

void HistoryDialog::search() {
    const QString text = searchBox_->text();
    if (text.isEmpty()) {
        lastSearch_.clear();
        clearSearch();
        return;
    }
    if (text != lastSearch_) {
        clearSearch();
        lastSearch_ = text;
        QApplication::setOverrideCursor(Qt::WaitCursor);
        QTextCursor found(log_->document());
        for (;;) {
            found = log_->document()->find(text, found);
            if (found.isNull()) {
                break;
            }
            matches_.push_back(found.selectionStart());
        }
        QApplication::restoreOverrideCursor();
        if (!matches_.empty()) {
            currentStart_ = matches_.front();
            currentEnd_ = currentStart_ + static_cast<int>(text.size());
        }
        markMatches();
        return;
    }
    if (matches_.empty()) {
        return;
    }
    auto next = std::upper_bound(matches_.begin(), matches_.end(), currentStart_);
    currentStart_ = next != matches_.end() ? *next : matches_.front();
    currentEnd_ = currentStart_ + static_cast<int>(text.size());
    markMatches();
}

void HistoryDialog::hideEvent(QHideEvent* event) {
    log_->clear();
    searchBox_->clear();
    lastSearch_.clear();
    clearSearch();
    QDialog::hideEvent(event);
}
