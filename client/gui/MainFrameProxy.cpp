#include "client/gui/MainFrameProxy.h"

MainFrameProxy::MainFrameProxy(IGuiThread& gui, MainFrame* frame)
    : WindowProxy(gui, frame, "MainFrame") {}

bool MainFrameProxy::show() {
    return window_.post([](MainFrame& frame) { frame.show(); });
}

bool MainFrameProxy::postClose() {
    return window_.post([](MainFrame& frame) { frame.close(); });
}

bool MainFrameProxy::bringToFront() {
    return window_.post([](MainFrame& frame) { frame.bringToFront(); });
}

void MainFrameProxy::showConnectionStatus(int status) {
    window_.post([status](MainFrame& frame) { frame.showConnectionStatus(status); });
}

void MainFrameProxy::showGpsState(int state) {
    window_.post([state](MainFrame& frame) { frame.showGpsState(state); });
}

void MainFrameProxy::showAuthorizationRequest(const std::wstring& jid, const std::wstring& text) {
    window_.post([jid, text](MainFrame& frame) { frame.showAuthorizationRequest(jid, text); });
}

void MainFrameProxy::createChatWindow(const std::shared_ptr<LumoraContact>& contact) {
    window_.post([contact](MainFrame& frame) { frame.createChatWindow(contact); });
}

void MainFrameProxy::reconnect(int status, int delayMs) {
    window_.post([status, delayMs](MainFrame& frame) { frame.reconnect(status, delayMs); });
}

void MainFrameProxy::setNoSleep(bool on) {
    window_.post([on](MainFrame& frame) { frame.setNoSleep(on); });
}

void MainFrameProxy::showMapLoading(bool loading) {
    window_.post([loading](MainFrame& frame) { frame.showMapLoading(loading); });
}

void MainFrameProxy::onTimer() {
    window_.post([](MainFrame& frame) { frame.onTick(); });
}
