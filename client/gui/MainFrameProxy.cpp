#include "client/gui/MainFrameProxy.h"

#include <QCoreApplication>

MainFrameProxy::MainFrameProxy(MainFrame* frame)
    : frame_(frame), alive_(std::make_shared<std::atomic<bool>>(frame != nullptr)) {
    if (frame != nullptr) {
        std::shared_ptr<std::atomic<bool>> alive = alive_;
        QObject::connect(frame, &QObject::destroyed, [alive] { *alive = false; });
    }
}

bool MainFrameProxy::postClose() {
    if (!isWindow()) {
        return false;
    }
    QPointer<MainFrame> frame = frame_;
    return QMetaObject::invokeMethod(
        qApp,
        [frame] {
            if (frame) {
                frame->close();
            }
        },
        Qt::QueuedConnection);
}

bool MainFrameProxy::bringToFront() {
    if (!isWindow()) {
        return false;
    }
    QPointer<MainFrame> frame = frame_;
    return QMetaObject::invokeMethod(
        qApp,
        [frame] {
            if (frame) {
                frame->bringToFront();
            }
        },
        Qt::QueuedConnection);
}
