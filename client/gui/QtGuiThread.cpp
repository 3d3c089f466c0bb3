#include "client/gui/QtGuiThread.h"

#include <QApplication>
#include <QMessageBox>
#include <chrono>
#include <cstdio>
#include <thread>

#include "kestra/TextCodec.h"

QtGuiThread::QtGuiThread(QApplication& application) : application_(application) {
    application_.setQuitOnLastWindowClosed(false);  // the main frame decides when we end
}

void QtGuiThread::post(std::function<void()> work) {
    QMetaObject::invokeMethod(&application_, std::move(work), Qt::QueuedConnection);
}

int QtGuiThread::exec() {
    running_ = true;
    const int result = application_.exec();
    running_ = false;
    return result;
}

void QtGuiThread::quit() {
    // Queued, so a quit asked before the loop runs still ends it once it does.
    QMetaObject::invokeMethod(&application_, &QCoreApplication::quit, Qt::QueuedConnection);
}

void QtGuiThread::processEvents(int ms) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, ms);
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

void QtGuiThread::showError(const std::wstring& text, const std::wstring& caption) {
    const std::string narrowText = kestra::wideToUtf8(text);
    std::fprintf(stderr, "%s: %s\n", kestra::wideToUtf8(caption).c_str(), narrowText.c_str());
    if (QGuiApplication::platformName() == QLatin1String("offscreen")) {
        return;  // nobody could answer a modal box
    }
    QMessageBox::critical(nullptr, QString::fromStdWString(caption), QString::fromStdWString(text));
}
