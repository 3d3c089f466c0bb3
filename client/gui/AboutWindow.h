#pragma once

#include <QDialog>

class QLabel;

// The program's name and version, the libraries it uses with their licences, and where the
// map data comes from; with a link to download a newer version when the update check found
// one.
class AboutWindow : public QDialog {
    Q_OBJECT
public:
    explicit AboutWindow(QWidget* parent);

    // Empty: no link. Only web addresses (http, https) are offered.
    void setDownloadAddress(const QString& address);
    QLabel* downloadLink() const { return download_; }
    // Empty: no note.
    void setUpdateNote(const QString& note);
    QLabel* updateNote() const { return note_; }
    // Opens a web address in the user's browser; false (and a log line) when it cannot.
    static bool openAddress(const QString& address);

private:
    QLabel* download_;
    QLabel* note_;
};
