#include "client/gui/GuiFactory.h"

#include "client/gui/MainFrame.h"
#include "client/gui/MainFrameProxy.h"

IMainFrame* GuiFactory::createMainFrame(IApplicationManager* controller) {
    auto* frame = new MainFrame(controller);
    frame->setAttribute(Qt::WA_DeleteOnClose);
    frame->show();
    return new MainFrameProxy(frame);
}
