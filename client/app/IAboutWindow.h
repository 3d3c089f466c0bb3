#pragma once

#include <string>

#include "client/app/IWindow.h"

// The program's version, licences and the map data's attribution.
class IAboutWindow : public IWindow {
public:
    // Where a newer version can be downloaded by hand (empty: no link is offered).
    virtual void setDownloadAddress(const std::wstring& address) = 0;
    // Why this installation does not update itself (empty: it does, no note is shown).
    virtual void setUpdateNote(const std::wstring& note) = 0;
};
