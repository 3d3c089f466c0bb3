#pragma once

#include <QObject>
#include <atomic>

#include "client/app/IGuiThread.h"

class QApplication;

// The GUI thread over Qt: the application's event loop on the main thread.
class QtGuiThread : public IGuiThread {
public:
    explicit QtGuiThread(QApplication& application);

    void post(std::function<void()> work) override;
    bool isRunning() const override { return running_.load(); }
    int exec() override;
    void quit() override;
    void processEvents(int ms) override;
    void showError(const std::wstring& text, const std::wstring& caption) override;

private:
    QApplication& application_;
    std::atomic<bool> running_{true};
};
