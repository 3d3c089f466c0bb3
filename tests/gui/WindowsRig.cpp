#include "WindowsRig.h"

#include <QImage>
#include <QPainter>
#include <filesystem>

#include "client/gui/ContactInfoWindow.h"
#include "client/gui/IQtWindow.h"
#include "client/gui/MainFrame.h"
#include "client/gui/MainSplitter.h"
#include "client/gui/WindowContactList.h"
#include "client/maps/CoordinateUtils.h"
#include "kestra/Log.h"
#include "kestra/Settings.h"

namespace {
constexpr int WAIT_MS = 10000;  // only so that a broken test cannot hang
}

WindowsRig::WindowsRig() {
    kestra::Log::open((dir.path() / "lumora.log").wstring(), kestra::LOG_DEBUG, 1000000);
    kestra::Settings::startup((dir.path() / "settings.cfg").wstring());
    LumoraContact::setContactsFolder(dir.path().wstring());
    LumoraContact::setServiceHost(L"localhost");
}

WindowsRig::~WindowsRig() {
    windows.release();
    kestra::Settings::shutdown();
    kestra::Log::close();
}

std::shared_ptr<LumoraContact> WindowsRig::addContact(const std::wstring& gid,
                                                      const std::wstring& nick, int status,
                                                      bool positioned, bool picture) {
    auto contact = std::make_shared<LumoraContact>(
        gid + L"@localhost", nick, L"", L"", L"", LumoraContact::GENDER_UNKNOWN, 0, 0, 0, 0, false);
    contact->saveContactsInfo();
    contact->setStatus(status);
    if (positioned) {
        contact->setPosition(CoordinateUtils::fromDecimal({52.52, 13.40}));
    }
    if (picture) {
        QImage face(48, 48, QImage::Format_ARGB32);
        face.fill(QColor(250, 176, 5));
        QPainter painter(&face);
        painter.setBrush(QColor(92, 64, 51));
        painter.drawEllipse(QRect(14, 16, 6, 6));
        painter.drawEllipse(QRect(28, 16, 6, 6));
        painter.drawArc(QRect(12, 20, 24, 16), 200 * 16, 140 * 16);
        painter.end();
        face.save(QString::fromStdWString(contact->getAvatarPath()), "PNG");
        contact->setAvatarFlag();
    }
    kestra::Mutex::Locker guard(controller.getContactsLock());
    controller.getContacts()[contact->getJid()] = contact;
    return contact;
}

bool WindowsRig::create() {
    windows.create(factory, controller);
    return eventually([&] { return factory.mainFrame() && factory.mainFrame()->isVisible(); }) &&
           QTest::qWaitForWindowExposed(factory.mainFrame());
}

MainFrame& WindowsRig::frame() const {
    return *factory.mainFrame();
}

QWidget& WindowsRig::widgetOf(const IWindow& window) const {
    return *dynamic_cast<const IQtWindow&>(window).widget();
}

MainSplitter& WindowsRig::splitter() const {
    return static_cast<MainSplitter&>(widgetOf(*windows.splitter()));
}

WindowContactList& WindowsRig::contactPane() const {
    return static_cast<WindowContactList&>(widgetOf(*windows.contactList()));
}

ContactInfoWindow& WindowsRig::infoWindow(bool withPicture) const {
    return static_cast<ContactInfoWindow&>(widgetOf(*windows.infoWindow(withPicture)));
}

std::string WindowsRig::log() const {
    return testsupport::readFile(dir.path() / "lumora.log");
}

bool WindowsRig::saveScreenshot(const QImage& image, const std::string& name) {
    const std::filesystem::path folder = testsupport::binaryDir().parent_path() / "screenshots";
    std::filesystem::create_directories(folder);
    return image.save(QString::fromStdString((folder / name).string()), "PNG");
}

bool WindowsRig::eventually(const std::function<bool()>& condition) {
    return QTest::qWaitFor(condition, WAIT_MS);
}
