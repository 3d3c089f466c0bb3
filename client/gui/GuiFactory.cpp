#include "client/gui/GuiFactory.h"

#include "client/gui/MainFrame.h"
#include "client/gui/MainFrameProxy.h"

std::unique_ptr<IMainFrame> GuiFactory::createMainFrame(IApplicationManager& controller) {
    auto* frame = new MainFrame(controller);
    frame->setAttribute(Qt::WA_DeleteOnClose);
    return std::make_unique<MainFrameProxy>(gui_, frame);
}
