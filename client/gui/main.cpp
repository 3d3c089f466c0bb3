// The client program: Qt owns the main thread; everything else is composed here.
#include <QApplication>

#include "client/app/ClientVersion.h"
#include "client/app/LumoraMain.h"
#include "client/drawing/QtImageFactory.h"
#include "client/gui/Artwork.h"
#include "client/gui/GuiFactory.h"
#include "client/gui/QtGuiThread.h"
#include "platform/TerminationSignals.h"

int main(int argc, char** argv) {
    // Before any thread exists, so that only the watcher receives SIGTERM and SIGINT.
    platform::TerminationSignals::block();
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Lumora"));
    QApplication::setApplicationVersion(QString::fromLatin1(LUMORA_CLIENT_VERSION));
    QApplication::setWindowIcon(Artwork::icon(QStringLiteral("lumora"), 64));
    // Ties the windows to the installed desktop entry (its name and icon in the desktop's
    // task list).
    QGuiApplication::setDesktopFileName(QString::fromLatin1(LUMORA_DESKTOP_ID));
    QtGuiThread guiThread(application);
    QtImageFactory images;
    GuiFactory guiFactory(guiThread, &images);
    LumoraMain program(guiThread, guiFactory, &images);
    return program.run();
}
