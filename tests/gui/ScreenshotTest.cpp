// Screenshots of every window, as a new user would see them, written as PNG files to the
// build folder's "screenshots" for review: the main window with an information window open,
// the context menu, the status popup, the information window, the about window, the
// satellites window, the group list, the contact details and the three contact dialogs.

#include <gtest/gtest.h>

#include <QContextMenuEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QTest>

#include "WindowsRig.h"
#include "client/app/IAboutWindow.h"
#include "client/app/IContactDetailsDialog.h"
#include "client/app/ISatellitesWindow.h"
#include "client/gui/AboutWindow.h"
#include "client/gui/AddContactDialog.h"
#include "client/gui/AuthorizationRequestDialog.h"
#include "client/gui/ContactDetailsDialog.h"
#include "client/gui/ContactInfoWindow.h"
#include "client/gui/ContactList.h"
#include "client/gui/ContactListModel.h"
#include "client/gui/ContactsListBoxWindow.h"
#include "client/gui/GroupListWindow.h"
#include "client/gui/MainFrame.h"
#include "client/gui/RemoveContactDialog.h"
#include "client/gui/SatellitesWindow.h"
#include "client/gui/StatusButton.h"
#include "client/gui/WindowContactList.h"

namespace {

// The frame with a popup drawn where it stands on the screen.
QImage withPopup(QWidget& frame, QWidget& popup) {
    QImage image = frame.grab().toImage();
    QPainter painter(&image);
    painter.drawPixmap(frame.mapFromGlobal(popup.mapToGlobal(QPoint(0, 0))), popup.grab());
    return image;
}

// A frame around a top-level window's content, as a window manager would draw one.
QImage framed(QWidget& window) {
    QTest::qWait(20);  // lets the window lay itself out after the last change
    const QPixmap content = window.grab();
    QImage image(content.width() + 2, content.height() + 2, QImage::Format_RGB32);
    image.fill(QColor(120, 120, 120));
    QPainter painter(&image);
    painter.drawPixmap(1, 1, content);
    return image;
}

TEST(ScreenshotTest, EveryWindowAsANewUserSeesIt) {
    WindowsRig rig;
    auto anna = rig.addContact(L"100001", L"Anna", LumoraContact::STATUS_ONLINE, true, true);
    rig.addContact(L"100002", L"Bruno", LumoraContact::STATUS_AWAY, true);
    rig.addContact(L"100003", L"Carla Mendes", LumoraContact::STATUS_DND);
    auto demo = rig.addContact(L"100000", L"demo", LumoraContact::STATUS_FREE_FOR_CHAT, true);
    rig.addContact(L"100004", L"", LumoraContact::STATUS_OFFLINE);
    rig.addContact(L"100005", L"Jonathan Featherstonehaugh-Smythe", LumoraContact::STATUS_OFFLINE);
    ASSERT_TRUE(rig.create());
    rig.frame().resize(720, 540);
    ContactsListBoxWindow& box = rig.contactPane().contactList().listBox();
    ASSERT_TRUE(rig.eventually([&] { return box.model()->rowCount() == 6; }));
    rig.frame().showConnectionStatus(0);
    rig.frame().showGpsState(0);
    rig.controller.unread = true;
    rig.controller.firstUnread = demo;
    rig.controller.unreadFrom = {demo->getJid()};
    for (int tick = 0; tick < 5; ++tick) {
        rig.frame().onTick();
        rig.contactPane().onTick();
    }
    QTest::qWait(50);

    const QRect annaEntry = box.visualRect(box.contacts().indexOf(anna->getJid()));
    QTest::mouseClick(box.viewport(), Qt::LeftButton, {}, annaEntry.center());
    ContactInfoWindow& info = rig.infoWindow(true);
    ASSERT_TRUE(rig.eventually([&] { return info.isVisible(); }));
    EXPECT_TRUE(WindowsRig::saveScreenshot(rig.frame().grab().toImage(), "main-window.png"));
    EXPECT_TRUE(WindowsRig::saveScreenshot(info.grab().toImage(), "info-window.png"));
    info.hide();

    const QRect demoEntry = box.visualRect(box.contacts().indexOf(demo->getJid()));
    QContextMenuEvent event(QContextMenuEvent::Mouse, demoEntry.center(),
                            box.viewport()->mapToGlobal(demoEntry.center()));
    QApplication::sendEvent(box.viewport(), &event);
    QMenu* menu = rig.contactPane().contactList().contextMenu();
    ASSERT_TRUE(rig.eventually([&] { return menu != nullptr && menu->isVisible(); }));
    EXPECT_TRUE(WindowsRig::saveScreenshot(withPopup(rig.frame(), *menu), "context-menu.png"));
    menu->close();

    rig.frame().statusButton()->openPopup();
    QMenu* popup = rig.frame().statusButton()->popup();
    ASSERT_TRUE(rig.eventually([&] { return popup->isVisible(); }));
    EXPECT_TRUE(WindowsRig::saveScreenshot(withPopup(rig.frame(), *popup), "status-popup.png"));
    popup->close();

    rig.windows.aboutWindow()->setDownloadAddress(
        L"http://localhost:25280/download/lumora-1.9.1.zip");
    rig.windows.aboutWindow()->setUpdateNote(
        L"Lumora cannot update itself where it is installed. New versions come from your "
        L"system's package manager, or from whoever installed it there.");
    rig.windows.aboutWindow()->show();
    auto& about = static_cast<AboutWindow&>(rig.widgetOf(*rig.windows.aboutWindow()));
    ASSERT_TRUE(rig.eventually([&] { return about.isVisible(); }));
    EXPECT_TRUE(WindowsRig::saveScreenshot(framed(about), "about-window.png"));

    SatelliteList satellites;
    for (auto [prn, snr, used] : {std::tuple{3, 42.0, true},
                                  {7, 38.0, true},
                                  {11, 17.0, false},
                                  {16, 45.0, true},
                                  {19, 0.0, false},
                                  {23, 31.0, true},
                                  {30, 24.0, false}}) {
        satellites.push_back({static_cast<std::uint8_t>(prn), snr, used});
    }
    rig.windows.satellitesWindow()->setSatellites(satellites, true);
    rig.windows.satellitesWindow()->show();
    QWidget& satellitesWindow = rig.widgetOf(*rig.windows.satellitesWindow());
    ASSERT_TRUE(rig.eventually([&] { return satellitesWindow.isVisible(); }));
    EXPECT_TRUE(WindowsRig::saveScreenshot(framed(satellitesWindow), "satellites-window.png"));

    auto& group = static_cast<GroupListWindow&>(rig.widgetOf(*rig.windows.groupListWindow()));
    group.clearContacts();
    group.addContact(L"", anna);
    group.addContact(L"", demo);
    group.moveTo(60, 80);
    group.showInFront();
    EXPECT_TRUE(WindowsRig::saveScreenshot(rig.frame().grab().toImage(), "group-list.png"));
    group.hide();

    rig.windows.contactDetailsDialog()->showContact(anna, 0);
    auto& details =
        static_cast<ContactDetailsDialog&>(rig.widgetOf(*rig.windows.contactDetailsDialog()));
    ASSERT_TRUE(rig.eventually([&] { return details.isVisible(); }));
    EXPECT_TRUE(WindowsRig::saveScreenshot(framed(details), "contact-details.png"));
    details.hide();

    auto* request = new AuthorizationRequestDialog(rig.controller, demo, &rig.frame());
    request->open();
    QTest::keyClicks(request->messageBox(), "Hi, this is Anna from the club.");
    EXPECT_TRUE(WindowsRig::saveScreenshot(framed(*request), "authorization-request.png"));
    request->close();
    auto* removal = new RemoveContactDialog(rig.controller, demo, &rig.frame());
    removal->open();
    EXPECT_TRUE(WindowsRig::saveScreenshot(framed(*removal), "remove-contact.png"));
    removal->close();
    auto* add = new AddContactDialog(rig.controller, &rig.frame());
    add->open();
    QTest::keyClicks(add->jidBox(), "alice@");
    EXPECT_TRUE(WindowsRig::saveScreenshot(framed(*add), "add-contact.png"));
    add->close();
}

}  // namespace
