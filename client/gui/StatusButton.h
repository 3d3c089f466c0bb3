#pragma once

#include <QToolButton>

class QMenu;

// The status button of the main frame's bar: the user's presence status as a picture and a
// text, and the popup of the statuses the user can choose (it opens above the button). The
// entry of the shown status is checked; "Invisible" stands for 5 and 6, and "Connecting..."
// (8) has no entry. While 8 is shown the picture turns (advanceAnimation).
//
// It only shows: the rules of what a choice does are the main frame's (statusChosen).
class StatusButton : public QToolButton {
    Q_OBJECT
public:
    // An entry's command is its status + 10.
    static constexpr int COMMAND_BASE = 10;
    static constexpr int ANIMATION_FRAMES = 6;

    StatusButton(bool highResolution, QWidget* parent);

    // The status shown now; 7 (offline) at start.
    int shownStatus() const { return shown_; }
    // Shows a status. One without a picture or a text writes an ERROR line for each and
    // leaves the button as it was.
    void display(int status);
    void advanceAnimation();

    QMenu* popup() const { return popup_; }
    void openPopup();

signals:
    // The user picked the entry of this status.
    void statusChosen(int status);

private:
    void addEntry(const char* text, int status);
    void checkShownEntry();

    QMenu* popup_;
    int shown_ = 7;
    int frame_ = 0;
    int iconSize_;
};
