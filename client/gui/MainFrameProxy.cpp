#include "client/gui/MainFrameProxy.h"

MainFrameProxy::MainFrameProxy(IGuiThread& gui, MainFrame* frame)
    : window_(gui, frame, "MainFrame") {}

bool MainFrameProxy::show() {
    return window_.post([](MainFrame& frame) { frame.show(); });
}

bool MainFrameProxy::postClose() {
    return window_.post([](MainFrame& frame) { frame.close(); });
}

bool MainFrameProxy::bringToFront() {
    return window_.post([](MainFrame& frame) { frame.bringToFront(); });
}
