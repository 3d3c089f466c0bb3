#pragma once

#include <QMainWindow>

class IApplicationManager;

// The top-level window. Closing it ends the GUI loop, which ends the program.
class MainFrame : public QMainWindow {
    Q_OBJECT
public:
    static constexpr const char* WINDOW_CLASS = "KestraLumoraAppWnd";

    explicit MainFrame(IApplicationManager& controller);

    void bringToFront();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void createMenu();

    IApplicationManager& controller_;
};
