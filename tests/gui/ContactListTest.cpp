// The contact pane as a user meets it, with every window made as the controller makes them
// and contacts from the real contact store: the filter box, the online and offline parts,
// the context menu with and without a selection and a position, the dialogs and the
// messages they post, the information windows, and contacts without a name or a position.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QContextMenuEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QTest>

#include "WindowsRig.h"
#include "client/app/ApplicationMessages.h"
#include "client/app/AuthorizationRequest.h"
#include "client/app/IContactInfoWindow.h"
#include "client/app/IGroupListWindow.h"
#include "client/gui/AddContactDialog.h"
#include "client/gui/AuthorizationRequestDialog.h"
#include "client/gui/ContactInfoWindow.h"
#include "client/gui/ContactList.h"
#include "client/gui/ContactListModel.h"
#include "client/gui/ContactsListBoxWindow.h"
#include "client/gui/GroupListWindow.h"
#include "client/gui/MainFrame.h"
#include "client/gui/MainSplitter.h"
#include "client/gui/RemoveContactDialog.h"
#include "client/gui/WindowContactList.h"
#include "kestra/TextCodec.h"

using ::testing::ElementsAre;
using ::testing::HasSubstr;

namespace {

class ContactListTest : public ::testing::Test {
protected:
    void SetUp() override {
        anna = rig.addContact(L"100001", L"Anna", LumoraContact::STATUS_ONLINE, true, true);
        bruno = rig.addContact(L"100002", L"bruno", LumoraContact::STATUS_AWAY);
        carla = rig.addContact(L"100003", L"Carla", LumoraContact::STATUS_OFFLINE, true);
        nameless = rig.addContact(L"100004", L"", LumoraContact::STATUS_UNAVAILABLE);
        ASSERT_TRUE(rig.create());
        ASSERT_TRUE(rig.eventually([&] { return box().model()->rowCount() == 4; }));
    }
    ContactsListBoxWindow& box() { return rig.contactPane().contactList().listBox(); }
    QStringList shownNames() {
        QStringList names;
        for (int row = 0; row < box().model()->rowCount(); ++row) {
            names << box().model()->index(row, 0).data().toString();
        }
        return names;
    }
    QRect entryOf(const std::shared_ptr<LumoraContact>& contact) {
        return box().visualRect(box().contacts().indexOf(contact->getJid()));
    }
    // A right click (the platform's context menu request) at a point of the list.
    QMenu* contextMenuAt(const QPoint& inViewport) {
        QContextMenuEvent event(QContextMenuEvent::Mouse, inViewport,
                                box().viewport()->mapToGlobal(inViewport));
        QApplication::sendEvent(box().viewport(), &event);
        QMenu* menu = rig.contactPane().contactList().contextMenu();
        if (menu == nullptr || !rig.eventually([&] { return menu->isVisible(); })) {
            ADD_FAILURE() << "no context menu";
            return rig.contactPane().contactList().createContextMenu(nullptr);
        }
        return menu;
    }
    static QStringList entries(QMenu* menu) {
        QStringList texts;
        for (QAction* action : menu->actions()) {
            texts << (action->isSeparator() ? QStringLiteral("--") : action->text());
        }
        return texts;
    }
    void trigger(QMenu* menu, const QString& text) {
        for (QAction* action : menu->actions()) {
            if (action->text() == text) {
                QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(action).center());
                return;
            }
        }
        ADD_FAILURE() << "no entry " << text.toStdString();
    }
    std::shared_ptr<LumoraContact> postedContact(unsigned int id) {
        const kestra::ThreadMessage* message = rig.controller.lastPosted(id);
        if (message == nullptr) {
            return nullptr;
        }
        const auto* contact = message->payloadAs<std::shared_ptr<LumoraContact>>();
        return contact != nullptr ? *contact : nullptr;
    }
    template <class Dialog>
    Dialog* openDialog() {
        Dialog* dialog = nullptr;
        rig.eventually([&] {
            dialog = rig.frame().findChild<Dialog*>();
            return dialog != nullptr && dialog->isVisible();
        });
        return dialog;
    }

    WindowsRig rig;
    std::shared_ptr<LumoraContact> anna, bruno, carla, nameless;
};

TEST_F(ContactListTest, OnlineContactsComeFirstAndMoveWhenTheirStatusCrossesOffline) {
    EXPECT_EQ(shownNames(), QStringList({"Anna", "bruno", "100004", "Carla"}))
        << "the online part, then the offline part (6 and 7), each by name; no nick: the GID";
    EXPECT_TRUE(box().model()->index(2, 0).data(ContactListModel::FirstOfflineRole).toBool());
    EXPECT_EQ(rig.windows.contactList()->contactCount(), 4);

    carla->setStatus(LumoraContact::STATUS_FREE_FOR_CHAT);
    rig.windows.contactList()->contactChanged(carla->getJid());
    nameless->setStatus(LumoraContact::STATUS_OFFLINE);  // 6 to 7: stays where it is
    rig.windows.contactList()->contactChanged(nameless->getJid());
    ASSERT_TRUE(rig.eventually(
        [&] { return shownNames().first() == "Anna" && shownNames()[2] == "Carla"; }));
    EXPECT_EQ(shownNames(), QStringList({"Anna", "bruno", "Carla", "100004"}));

    // A contact without a name or an id is not listed; the same JID again replaces its entry.
    rig.windows.contactList()->addContact(std::make_shared<LumoraContact>());
    rig.windows.contactList()->addContact(nullptr);
    rig.windows.contactList()->addContact(bruno);
    rig.windows.contactList()->removeContact(anna->getJid());
    ASSERT_TRUE(rig.eventually([&] { return rig.windows.contactList()->contactCount() == 3; }));
    EXPECT_EQ(shownNames(), QStringList({"bruno", "Carla", "100004"}));
    EXPECT_THAT(rig.log(), HasSubstr("[ERROR] ContactsListBoxWindow::addStringAndData text "
                                     "string size == 0.\n"));
    EXPECT_THAT(rig.log(), HasSubstr("ContactsListBoxWindow::addStringAndData, data == NULL"));
}

TEST_F(ContactListTest, TheFilterNarrowsTheListAsTheUserTypesAndKeepsTheSelection) {
    box().selectContact(carla->getJid());
    QLineEdit* filter = rig.contactPane().filterBox();
    QTest::keyClicks(filter, "AR");
    EXPECT_EQ(shownNames(), QStringList({"Carla"})) << "any case";
    EXPECT_EQ(box().selectedContact(), carla) << "the selection stays with its contact";
    QTest::keyClick(filter, Qt::Key_Backspace);
    EXPECT_EQ(shownNames(), QStringList({"Anna", "Carla"}));
    filter->clear();
    QTest::keyClicks(filter, "10000");
    EXPECT_EQ(shownNames().size(), 4) << "user ids match too";
    QTest::keyClicks(filter, "4");
    EXPECT_EQ(shownNames(), QStringList({"100004"}));
    EXPECT_EQ(box().selectedContact(), nullptr) << "a hidden contact is not selected";
    QTest::keyClicks(filter, "zzz");
    EXPECT_EQ(box().model()->rowCount(), 0);
    EXPECT_EQ(rig.windows.contactList()->contactCount(), 4) << "the entries stay";
    QTest::keyClick(filter, Qt::Key_Escape);
    EXPECT_EQ(filter->text(), QString());
    EXPECT_EQ(shownNames().size(), 4);
}

TEST_F(ContactListTest, TheContextMenuFollowsTheSelectionAndThePosition) {
    QMenu* menu = contextMenuAt(entryOf(anna).center());
    EXPECT_EQ(box().selectedContact(), anna) << "the right click selects";
    EXPECT_EQ(entries(menu),
              QStringList({"Chat", "Position", "History", "Authorization request", "Remove contact",
                           "--", "Find Lumora users", "Add jabber user"}));
    trigger(menu, "Position");
    EXPECT_EQ(postedContact(UM_SHOW_CONTACT_ON_MAP), anna);

    menu = contextMenuAt(entryOf(bruno).center());
    EXPECT_EQ(entries(menu),
              QStringList({"Chat", "History", "Authorization request", "Remove contact", "--",
                           "Find Lumora users", "Add jabber user"}))
        << "no position known: no Position";
    trigger(menu, "Chat");
    EXPECT_EQ(postedContact(UM_OPEN_CHAT), bruno);
    menu = contextMenuAt(entryOf(bruno).center());
    trigger(menu, "History");
    EXPECT_EQ(postedContact(UM_SHOW_HISTORY), bruno);

    const QPoint below(5, box().viewport()->height() - 3);
    ASSERT_FALSE(box().indexAt(below).isValid());
    menu = contextMenuAt(below);
    EXPECT_EQ(box().selectedContact(), nullptr) << "a click on empty space clears the selection";
    EXPECT_EQ(entries(menu), QStringList({"Find Lumora users", "Add jabber user"}));
    trigger(menu, "Find Lumora users");
    EXPECT_EQ(rig.controller.postedIds().back(), UM_SHOW_SEARCH);
}

TEST_F(ContactListTest, TheDialogsPostTheirMessages) {
    trigger(contextMenuAt(entryOf(carla).center()), "Authorization request");
    auto* request = openDialog<AuthorizationRequestDialog>();
    ASSERT_NE(request, nullptr);
    QStringList texts;
    for (QLabel* label : request->findChildren<QLabel*>()) {
        texts << label->text();
    }
    EXPECT_TRUE(texts.contains("Do you want to add Carla GID 100003 to your contact list?"));
    EXPECT_TRUE(texts.contains("Send a message:"));
    QTest::keyClicks(request->messageBox(), "Hello, it's me");
    QTest::mouseClick(request->addButton(), Qt::LeftButton);
    const kestra::ThreadMessage* asked = rig.controller.lastPosted(UM_AUTHORIZATION_REQUEST);
    ASSERT_NE(asked, nullptr);
    ASSERT_NE(asked->payloadAs<AuthorizationRequest>(), nullptr);
    EXPECT_EQ(asked->payloadAs<AuthorizationRequest>()->jid, L"100003@localhost");
    EXPECT_EQ(asked->payloadAs<AuthorizationRequest>()->text, L"Hello, it's me");

    trigger(contextMenuAt(entryOf(bruno).center()), "Remove contact");
    auto* removal = openDialog<RemoveContactDialog>();
    ASSERT_NE(removal, nullptr);
    EXPECT_NE(removal->findChild<QLabel*>()->text().indexOf("remove contact: bruno"), -1);
    QTest::mouseClick(removal->yesButton(), Qt::LeftButton);
    EXPECT_EQ(postedContact(UM_REMOVE_CONTACT), bruno);

    trigger(contextMenuAt(QPoint(5, box().viewport()->height() - 3)), "Add jabber user");
    auto* add = openDialog<AddContactDialog>();
    ASSERT_NE(add, nullptr);
    EXPECT_EQ(add->windowTitle(), QStringLiteral("Add new contact"));
    for (const char* refused : {"", "alice", "@example.org", "alice@", "a b@example.org",
                                "al<ice@example.org", "alice@example.org/phone"}) {
        add->jidBox()->setText(QString::fromUtf8(refused));
        EXPECT_FALSE(add->addButton()->isEnabled()) << refused;
    }
    EXPECT_EQ(AddContactDialog::jidFrom(" 123456 "), L"123456@localhost")
        << "a GID of this service";
    add->jidBox()->clear();
    QTest::keyClicks(add->jidBox(), "alice@example.org");
    ASSERT_TRUE(add->addButton()->isEnabled());
    QTest::mouseClick(add->addButton(), Qt::LeftButton);
    asked = rig.controller.lastPosted(UM_AUTHORIZATION_REQUEST);
    EXPECT_EQ(asked->payloadAs<AuthorizationRequest>()->jid, L"alice@example.org");
    EXPECT_EQ(asked->payloadAs<AuthorizationRequest>()->text, L"");
}

TEST_F(ContactListTest, ATapShowsTheContactsInformationWindow) {
    ContactInfoWindow& withPicture = rig.infoWindow(true);
    ContactInfoWindow& withoutPicture = rig.infoWindow(false);
    QTest::mouseClick(box().viewport(), Qt::LeftButton, {}, entryOf(bruno).center());
    ASSERT_TRUE(rig.eventually([&] { return withoutPicture.isVisible(); }));
    EXPECT_EQ(box().selectedContact(), bruno);
    EXPECT_FALSE(withPicture.isVisible());
    EXPECT_FALSE(withoutPicture.positionButton()->isEnabled()) << "no position known";
    EXPECT_TRUE(rig.frame().rect().contains(withoutPicture.geometry())) << "inside the frame";

    QTest::mouseClick(box().viewport(), Qt::LeftButton, {}, entryOf(anna).center());
    ASSERT_TRUE(rig.eventually([&] { return withPicture.isVisible(); }));
    EXPECT_FALSE(withoutPicture.isVisible()) << "one information window at a time";
    QStringList texts;
    for (QLabel* label : withPicture.findChildren<QLabel*>()) {
        texts << label->text();
    }
    EXPECT_TRUE(texts.contains("Anna"));
    EXPECT_TRUE(texts.contains("GID: 100001"));
    QTest::mouseClick(withPicture.chatButton(), Qt::LeftButton);
    EXPECT_EQ(postedContact(UM_OPEN_CHAT), anna);
    EXPECT_TRUE(withPicture.isVisible());
    QTest::mouseClick(withPicture.profileButton(), Qt::LeftButton);
    EXPECT_EQ(postedContact(UM_SHOW_CONTACT_DETAILS), anna);
    EXPECT_EQ(rig.controller.lastPosted(UM_SHOW_CONTACT_DETAILS)->wParam, 0);
    EXPECT_FALSE(withPicture.isVisible()) << "User profile hides the window";

    // A contact the device knows nothing about but its id.
    auto stranger = std::make_shared<LumoraContact>();
    stranger->setJid(L"100009@localhost");
    rig.windows.contactList()->addContact(stranger);
    ASSERT_TRUE(
        rig.eventually([&] { return box().contacts().indexOf(stranger->getJid()).isValid(); }));
    QTest::mouseClick(box().viewport(), Qt::LeftButton, {}, entryOf(stranger).center());
    ASSERT_TRUE(rig.eventually([&] { return withoutPicture.isVisible(); }));
    EXPECT_EQ(withoutPicture.contact(), stranger);
    EXPECT_THAT(rig.log(),
                HasSubstr("ContactInfoWindow::setContactInfo empty contact's informarion."));
    QTest::mouseClick(withoutPicture.positionButton(), Qt::LeftButton);
    EXPECT_EQ(rig.controller.lastPosted(UM_SHOW_CONTACT_ON_MAP), nullptr) << "disabled";
}

TEST_F(ContactListTest, EntriesOfContactsWithUnreadMessagesBlink) {
    rig.controller.unread = true;
    std::vector<bool> phases;
    for (int tick = 1; tick <= 20; ++tick) {
        rig.contactPane().onTick();
        if (tick % ContactsListBoxWindow::BLINK_TICKS == 0) {
            phases.push_back(box().blinkPhase());
        }
    }
    EXPECT_THAT(phases, ElementsAre(true, false, true, false));
    rig.controller.unread = false;
    for (int tick = 0; tick < ContactsListBoxWindow::BLINK_TICKS; ++tick) {
        rig.contactPane().onTick();
    }
    EXPECT_FALSE(box().blinkPhase());
}

}  // namespace

namespace {

// The seam the map view uses: the group list and the information windows through the view
// library's interfaces, placed in the map pane's pixels and kept inside the frame.
TEST_F(ContactListTest, TheMapViewFillsAndPlacesTheFloatingWindowsInTheMapsPixels) {
    IContactsGroupWindow* group = rig.windows.groupListWindow()->viewWindow();
    ASSERT_NE(group, nullptr);
    group->clearContacts();
    group->addContact(L"", anna);
    group->addContact(L"Bruno at the lake", bruno);
    int width = 0;
    int height = 0;
    group->getSize(width, height);
    EXPECT_GT(width, 0);
    EXPECT_GT(height, 0);
    group->show();
    group->moveTo(10, 20);
    group->bringToFront();
    auto& list = static_cast<GroupListWindow&>(rig.widgetOf(*rig.windows.groupListWindow()));
    QWidget* map = rig.splitter().mapPane();
    ASSERT_NE(map, nullptr);
    EXPECT_EQ(list.pos(), map->mapTo(&rig.frame(), QPoint(10, 20)));
    EXPECT_EQ(list.list()->item(1)->text(), QStringLiteral("Bruno at the lake"));
    group->moveTo(5000, 5000);
    EXPECT_TRUE(rig.frame().rect().contains(list.geometry())) << "kept inside the frame";
    QTest::mouseClick(list.list()->viewport(), Qt::LeftButton, {},
                      list.list()->visualItemRect(list.list()->item(0)).center());
    EXPECT_EQ(postedContact(UM_OPEN_CHAT), anna);
    EXPECT_FALSE(list.isVisible()) << "choosing a contact closes the list";

    IInfoWindow* info = rig.windows.infoWindow(false)->viewWindow();
    ASSERT_NE(info, nullptr);
    info->setContact(bruno);
    info->show();
    info->moveTo(0, 0);
    EXPECT_TRUE(rig.infoWindow(false).isVisible());
    EXPECT_EQ(rig.infoWindow(false).pos(), map->mapTo(&rig.frame(), QPoint(0, 0)));
    info->hide();
    EXPECT_FALSE(rig.infoWindow(false).isVisible());
}

}  // namespace
