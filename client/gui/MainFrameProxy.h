#pragma once

#include <QPointer>
#include <atomic>
#include <memory>

#include "client/app/IMainFrame.h"
#include "client/gui/MainFrame.h"

// The controller's handle on the main frame. It never touches the widget from the
// caller's thread: work is queued to the GUI thread, where a widget that is already gone
// is skipped.
class MainFrameProxy : public IMainFrame {
public:
    explicit MainFrameProxy(MainFrame* frame);

    bool isWindow() const override { return alive_->load(); }
    bool postClose() override;
    bool bringToFront() override;

private:
    QPointer<MainFrame> frame_;
    std::shared_ptr<std::atomic<bool>> alive_;
};
