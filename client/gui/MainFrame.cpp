#include "client/gui/MainFrame.h"

#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QMenuBar>

#include "client/app/IApplicationManager.h"
#include "client/locale/Dictionary.h"

namespace {
QString text(const char* english) {
    return QString::fromStdWString(tr(english));
}
}  // namespace

MainFrame::MainFrame(IApplicationManager& controller) : controller_(controller) {
    setObjectName(WINDOW_CLASS);
    setWindowTitle(QStringLiteral("Lumora"));
    auto* placeholder = new QLabel(this);
    placeholder->setAlignment(Qt::AlignCenter);
    setCentralWidget(placeholder);
    createMenu();
    resize(480, 640);
}

void MainFrame::createMenu() {
    QMenu* menu = menuBar()->addMenu(text("Menu"));
    QAction* exit = menu->addAction(text("Exit"));
    connect(exit, &QAction::triggered, this, [this] { controller_.quit(); });
}

void MainFrame::bringToFront() {
    if (isMinimized()) {
        showNormal();
    }
    show();
    if (QGuiApplication::platformName() != QLatin1String("offscreen")) {
        raise();  // the offscreen platform cannot raise and only warns
    }
    activateWindow();
}

void MainFrame::closeEvent(QCloseEvent* event) {
    event->accept();
    QCoreApplication::quit();
}
