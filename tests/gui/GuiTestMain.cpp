// The window tests' program: Qt on its offscreen platform with a runtime folder of its own,
// the bundled DejaVu font (so screenshots look alike everywhere), and no way to reach a real
// desktop's D-Bus: a test that wants a bus starts its own.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QApplication>
#include <QFont>
#include <QFontDatabase>

#include "TestSupport.h"

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    testsupport::TempDir runtime;
    ::chmod(runtime.str().c_str(), 0700);
    qputenv("XDG_RUNTIME_DIR", runtime.str().c_str());
    const std::string noBus = "unix:path=" + runtime.str() + "/no-bus";
    qputenv("DBUS_SESSION_BUS_ADDRESS", noBus.c_str());
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", noBus.c_str());
    QApplication application(argc, argv);
    for (const char* file : {"DejaVuSans.ttf", "DejaVuSans-Bold.ttf"}) {
        QFontDatabase::addApplicationFont(QStringLiteral("/usr/share/fonts/truetype/dejavu/") +
                                          QString::fromLatin1(file));
    }
    QApplication::setFont(QFont(QStringLiteral("DejaVu Sans"), 9));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
