#pragma once

#include "client/app/IGuiFactory.h"

// Builds the Qt windows, on the GUI thread.
class GuiFactory : public IGuiFactory {
public:
    IMainFrame* createMainFrame(IApplicationManager* controller) override;
};
