#pragma once

#include "client/app/IAccountControl.h"
#include "client/app/IChatControl.h"
#include "client/app/IContactsControl.h"
#include "client/app/IControllerCommands.h"
#include "client/app/IGpsControl.h"
#include "client/gps/IGPSListener.h"

// The controller as the windows see it. A window takes the role it needs (a chat window
// IChatControl, the search window IContactsControl, ...) or the whole controller; it calls
// these operations directly, or posts the controller one of its application messages.
// Every operation may be called from any thread and never waits for the GUI thread. The
// GPS sources report to the controller as their listener, on their own threads.
class IApplicationManager : public IGPSListener,
                            public IControllerCommands,
                            public IGpsControl,
                            public IAccountControl,
                            public IChatControl,
                            public IContactsControl {
public:
    virtual ~IApplicationManager() = default;
};
