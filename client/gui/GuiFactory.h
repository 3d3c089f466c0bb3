#pragma once

#include "client/app/IGuiFactory.h"

class IGuiThread;

// Builds the Qt windows, hidden, on the GUI thread, each behind the proxy through which
// the controller reaches it.
class GuiFactory : public IGuiFactory {
public:
    explicit GuiFactory(IGuiThread& gui) : gui_(gui) {}

    std::unique_ptr<IMainFrame> createMainFrame(IApplicationManager& controller) override;

private:
    IGuiThread& gui_;
};
