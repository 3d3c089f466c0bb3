#pragma once

#include <QApplication>
#include <QTest>
#include <memory>

#include "FakeApplicationManager.h"
#include "TestSupport.h"
#include "client/app/ControllerWindows.h"
#include "client/contacts/LumoraContact.h"
#include "client/gui/GuiFactory.h"
#include "client/gui/QtGuiThread.h"
#include "kestra/Mutex.h"

class ContactInfoWindow;
class MainFrame;
class MainSplitter;
class WindowContactList;

// Every window of the program as the controller makes them (ControllerWindows over the real
// GuiFactory), with a recording controller, its contacts from the real contact store in a
// folder of the test's own, the settings and the log there too.
class WindowsRig {
public:
    WindowsRig();
    ~WindowsRig();

    // A contact stored on the device: nick (may be empty), status, a position when wanted,
    // a picture when wanted. Put into the controller's contact map.
    std::shared_ptr<LumoraContact> addContact(const std::wstring& gid, const std::wstring& nick,
                                              int status, bool positioned = false,
                                              bool picture = false);
    // Makes the windows and waits until the main frame is on screen.
    bool create();

    MainFrame& frame() const;
    MainSplitter& splitter() const;
    WindowContactList& contactPane() const;
    ContactInfoWindow& infoWindow(bool withPicture) const;
    QWidget& widgetOf(const IWindow& window) const;
    std::string log() const;
    // Saves the screenshot PNG into the build folder's "screenshots".
    static bool saveScreenshot(const QImage& image, const std::string& name);
    static bool eventually(const std::function<bool()>& condition);

    testsupport::TempDir dir;
    QtGuiThread gui{*qApp};
    FakeApplicationManager controller;
    GuiFactory factory{gui};
    kestra::Mutex lock;
    ControllerWindows windows{lock};
};
