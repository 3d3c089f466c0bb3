#pragma once

#include <QObject>
#include <atomic>
#include <memory>

#include "client/app/IGuiThread.h"

class QApplication;

// The GUI thread over Qt: the application's event loop on the main thread. Posted work
// becomes a queued call on the application object; it runs only while exec() runs. The loop
// counts as ended from the moment the application handles its quit request (whoever made
// it), so that work queued behind the request is dropped although Qt may still deliver it
// before exec() returns.
class QtGuiThread : public QObject, public IGuiThread {
public:
    explicit QtGuiThread(QApplication& application);

    bool post(std::function<void()> work) override;
    bool isRunning() const override { return running_->load(); }
    int exec() override;
    void quit() override;
    void processEvents(int ms) override;
    void showError(const std::wstring& text, const std::wstring& caption) override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QApplication& application_;
    // Shared with the queued calls, which may outlive this object inside Qt's queue.
    std::shared_ptr<std::atomic<bool>> running_;
};
