// The main of tests that draw: a QGuiApplication on the offscreen platform owns the main
// thread (fonts need it; the main thread stands for the window's thread), and the texts
// are drawn with a known font.
#include <gtest/gtest.h>

#include <QFontDatabase>
#include <QGuiApplication>
#include <cstdlib>

#include "TestSupport.h"

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    testsupport::TempDir runtime;  // Qt's runtime folder, removed at the end
    setenv("XDG_RUNTIME_DIR", runtime.str().c_str(), 1);
    QGuiApplication app(argc, argv);
    QFontDatabase::addApplicationFont("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf");
    QFontDatabase::addApplicationFont("/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf");
    QGuiApplication::setFont(QFont("DejaVu Sans"));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
