#include "client/app/ControllerWindows.h"

#include "client/app/IGuiFactory.h"
#include "kestra/Exceptions.h"
#include "kestra/Log.h"

ControllerWindows::ControllerWindows() = default;

ControllerWindows::~ControllerWindows() = default;

void ControllerWindows::create(IGuiFactory& factory, IApplicationManager& controller) {
    mainFrame_ = factory.createMainFrame(controller);
    if (!mainFrame_) {
        kestra::Log::error(
            "ApplicationManager::run false == GuiFactory::createWindowInstance(mainFrame).");
        throw kestra::GUICreateException();
    }
    mainFrame_->show();
}

void ControllerWindows::release() {
    mainFrame_.reset();
}
