#pragma once

#include <QColor>
#include <QDialog>
#include <QString>
#include <memory>

class IApplicationManager;
class LumoraContact;
class QLineEdit;
class QPushButton;
class QTextEdit;

// A contact's whole stored conversation, day by day: each line the name and time label in
// the writer's colour (the time label carries the day) and the text in black; "No history."
// when nothing is stored. The search marks every match light blue and the current one
// yellow; "Search" again with the same text moves to the next match, round to the first.
// Hiding it empties the log and the search box. GUI thread only.
class HistoryDialog : public QDialog {
    Q_OBJECT
public:
    static const QColor USER_COLOUR;
    static const QColor CONTACT_COLOUR;
    static const QColor MATCH_COLOUR;
    static const QColor CURRENT_MATCH_COLOUR;

    HistoryDialog(IApplicationManager& controller, QWidget* parent);

    // Empties the window and shows the contact's history (nothing for a null contact).
    void setHistory(const std::shared_ptr<LumoraContact>& contact);
    // The "Search" button.
    void search();

    QTextEdit* log() const { return log_; }
    QLineEdit* searchBox() const { return searchBox_; }
    QPushButton* searchButton() const { return searchButton_; }
    // The current match in the log's text (start, end), or (-1, -1).
    int currentMatchStart() const { return currentStart_; }
    int matchCount() const;

protected:
    void hideEvent(QHideEvent* event) override;

private:
    void appendLine(const QString& name, const QString& time, const QString& text,
                    const QColor& nameColour);
    void markMatches();
    void clearSearch();

    IApplicationManager& controller_;
    std::shared_ptr<LumoraContact> contact_;
    QTextEdit* log_;
    QLineEdit* searchBox_;
    QPushButton* searchButton_;
    QString lastSearch_;
    // Every match of the last search, in order, as start positions in the log's text.
    std::vector<int> matches_;
    int currentStart_ = -1;
    int currentEnd_ = -1;
};
