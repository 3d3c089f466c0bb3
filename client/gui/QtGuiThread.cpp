#include "client/gui/QtGuiThread.h"

#include <QApplication>
#include <QMessageBox>
#include <chrono>
#include <cstdio>
#include <thread>

#include "client/app/GuiJob.h"
#include "kestra/TextCodec.h"

QtGuiThread::QtGuiThread(QApplication& application)
    : application_(application), running_(std::make_shared<std::atomic<bool>>(true)) {
    application_.setQuitOnLastWindowClosed(false);  // the main frame decides when we end
    application_.installEventFilter(this);
}

// A filter on the application object sees the events of every object; only the
// application's own quit request counts.
bool QtGuiThread::eventFilter(QObject* watched, QEvent* event) {
    if (watched == &application_ && event->type() == QEvent::Quit) {
        running_->store(false);
    }
    return QObject::eventFilter(watched, event);
}

// Queued calls that Qt still delivers after the quit request (in the same pass, or in a
// later processEvents()) are dropped, so that Qt and every other GUI thread behave alike.
bool QtGuiThread::post(std::function<void()> work) {
    if (!running_->load()) {
        return false;
    }
    std::shared_ptr<std::atomic<bool>> running = running_;
    return QMetaObject::invokeMethod(
        &application_,
        [running, work = std::move(work)] {
            if (running->load()) {
                runGuiJob("QtGuiThread", work);
            }
        },
        Qt::QueuedConnection);
}

int QtGuiThread::exec() {
    const int result = application_.exec();
    running_->store(false);
    return result;
}

void QtGuiThread::quit() {
    // Queued, so a quit asked before the loop runs still ends it once it does, after the
    // work posted before it.
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
