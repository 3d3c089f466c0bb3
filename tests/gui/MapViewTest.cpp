// The map window on the real stack: the tile server on loopback, the real cache, the maps
// loader with its thread, the block matrix, the contact drawing thread and the view manager
// (made and wired by the controller's ControllerMap), in the real main frame made by the GUI
// factory. Input goes to the widget as Qt events.

#include <gtest/gtest.h>

#include <QApplication>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QSlider>
#include <QTest>
#include <QToolButton>
#include <QWheelEvent>
#include <cmath>
#include <future>

#include "WindowsRig.h"
#include "client/app/ApplicationMessages.h"
#include "client/app/ControllerMap.h"
#include "client/contacts/UserContactProfile.h"
#include "client/drawing/QtImageFactory.h"
#include "client/gui/ContactInfoWindow.h"
#include "client/gui/MainFrame.h"
#include "client/gui/MainSplitter.h"
#include "client/gui/MobileClientView.h"
#include "client/maps/CacheManager.h"
#include "client/maps/ConnectionManager.h"
#include "client/maps/MapsLoaderManager.h"
#include "client/view/LumoraViewManager.h"
#include "kestra/Settings.h"
#include "kestra/TextCodec.h"
#include "testing/view/RenderRig.h"
#include "testing/view/TileServer.h"

namespace {

using fixture::TileServer;

// Settings, contacts and windows (WindowsRig), a tile server with tiles of known colours at
// the levels around the stored view, and the map's stack as the controller makes it.
class MapRig {
public:
    explicit MapRig(int zoom = 10, double latitude = 52.52, double longitude = 13.40)
        : zoom(zoom), centre(fixture::degrees(latitude, longitude)) {
        tiles.configureSettings();
        kestra::Settings::setIntValue(L"maps.loaderMode", 1);
        kestra::Settings::setIntValue(L"lastZoom", zoom);
        kestra::Settings::setIntValue(L"mapPosition", LumoraViewManager::KEEP_POINT);
        CoordinateUtils::writeToSettings(L"userLastViewCoord", centre);
        for (int level = std::max(1, zoom - 1); level <= zoom + 1; ++level) {
            tiles.serveAround(level, project(level), 1600, 1200);
        }
        CacheManager::setCachePlace(windows.dir.wstr(), windows.dir.wstr());
        ConnectionManager::initialise(kestra::utf8ToWide(tiles.http().url("/")));
        loader.selectLoader(2);
        loader.setOnline();
        map.create(loader, images);
        loader.start();
        testsupport::waitUntil(
            [&] { return loader.getInternetState() == MapsLoaderManager::INTERNET; }, 20000);
    }

    ~MapRig() {
        map.stopDrawing();
        loader.stop();
        map.stopMatrix();
        map.close();
        CacheManager::shutdown();
    }

    // The windows, the main frame at a size, and the view manager's set-up on a thread of
    // its own (as on the controller's), while this one runs the GUI.
    bool start(int width = 800, int height = 600) {
        if (!windows.create()) {
            return false;
        }
        windows.frame().resize(width, height);
        QTest::qWait(50);
        auto prepared = std::async(std::launch::async, [&] {
            return map.prepare(
                *windows.windows.mapView(), windows.windows.viewInfoWindow(true),
                windows.windows.viewInfoWindow(false), windows.windows.viewGroupList(), profile,
                windows.controller.getContacts(), windows.controller.getContactsLock());
        });
        while (prepared.wait_for(std::chrono::milliseconds(10)) != std::future_status::ready) {
            QApplication::processEvents();
        }
        return prepared.get();
    }

    MobileClientView& view() const {
        return static_cast<MobileClientView&>(windows.widgetOf(*windows.windows.mapView()));
    }
    LumoraViewManager& manager() const { return *map.viewManager(); }

    MercatorCoords project(int level) const {
        MercatorCoords point;
        CoordinateUtils::worldToMercatorProjectionCoords(level, centre, point, TileServer::SIDE);
        return point;
    }
    // The world pixel under a point of the view.
    MercatorCoords worldAt(const QPoint& at) const {
        const MercatorCoords c = manager().getCentrePoint();
        return {c.x - view().width() / 2 + at.x(), c.y - view().height() / 2 + at.y()};
    }
    // The colour the tile server gave the tile under a point of the view.
    QColor servedColourAt(const QPoint& at) const {
        const MercatorCoords world = worldAt(at);
        const Rgb colour = TileServer::colourOf(manager().getZoom(), world.x / TileServer::SIDE,
                                                world.y / TileServer::SIDE);
        return QColor(redOf(colour), greenOf(colour), blueOf(colour));
    }
    // Until the view shows the served tiles at the given points.
    bool showsServedTiles(const std::vector<QPoint>& points) const {
        return WindowsRig::eventually([&] {
            const QImage frame = view().grab().toImage();
            for (const QPoint& at : points) {
                if (frame.pixelColor(at) != servedColourAt(at)) {
                    return false;
                }
            }
            return true;
        });
    }

    const int zoom;
    const WorldCoords centre;
    WindowsRig windows;
    TileServer tiles;
    QtImageFactory images;
    UserContactProfile profile;
    MapsLoaderManager loader;
    ControllerMap map{windows.controller, {}};
};

void mouse(QWidget& widget, QEvent::Type type, const QPoint& at,
           Qt::MouseButtons buttons = Qt::LeftButton) {
    QMouseEvent event(type, QPointF(at), widget.mapToGlobal(QPointF(at)),
                      type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, buttons,
                      Qt::NoModifier);
    QApplication::sendEvent(&widget, &event);
}

// A drag from a point through steps of (dx, dy), waiting pauseMs between moves.
void drag(QWidget& widget, QPoint at, int dx, int dy, int steps, int pauseMs) {
    mouse(widget, QEvent::MouseButtonPress, at);
    for (int i = 0; i < steps; ++i) {
        at += QPoint(dx, dy);
        if (pauseMs > 0) {
            QTest::qWait(pauseMs);
        }
        mouse(widget, QEvent::MouseMove, at);
    }
    mouse(widget, QEvent::MouseButtonRelease, at, Qt::NoButton);
}

MercatorCoords shifted(MercatorCoords point, int dx, int dy) {
    point.x += dx;
    point.y += dy;
    return point;
}

}  // namespace

TEST(MapViewTest, DragsPanByExactlyTheDistanceAndOnlyABriskDiagonalReleaseFlicks) {
    MapRig rig;
    ASSERT_TRUE(rig.start());
    MobileClientView& view = rig.view();
    const std::vector<QPoint> probes = {
        {100, 30}, {view.width() / 2, view.height() / 2}, {view.width() - 30, view.height() - 30}};
    ASSERT_TRUE(rig.showsServedTiles(probes)) << rig.windows.log();

    // A slow drag (4 pixels a sample, under the threshold) moves the map with the stylus and
    // stops with it.
    MercatorCoords before = rig.manager().getCentrePoint();
    drag(view, {300, 300}, 4, 3, 12, 5);
    EXPECT_FALSE(view.isFlicking());
    EXPECT_EQ(rig.manager().getCentrePoint(), shifted(before, -48, -36));

    // A fast purely horizontal drag does not flick either: both directions must move.
    before = rig.manager().getCentrePoint();
    drag(view, {200, 300}, 40, 0, 6, 15);
    EXPECT_FALSE(view.isFlicking());
    QTest::qWait(100);
    EXPECT_EQ(rig.manager().getCentrePoint(), shifted(before, -240, 0));

    // A fast diagonal one runs on after the release, in the same direction, and comes to rest.
    before = rig.manager().getCentrePoint();
    drag(view, {200, 200}, 30, 20, 6, 15);
    EXPECT_TRUE(view.isFlicking());
    ASSERT_TRUE(rig.windows.eventually([&] { return !view.isFlicking(); }));
    const MercatorCoords after = rig.manager().getCentrePoint();
    EXPECT_LT(after.x, before.x - 180);
    EXPECT_LT(after.y, before.y - 120);

    // The map still shows the served tiles where the projection puts them after all that.
    EXPECT_TRUE(rig.showsServedTiles(probes));
    EXPECT_FALSE(rig.windows.controller.lastPosted(UM_SET_OWN_POSITION));
}

TEST(MapViewTest, ALongPressOpensImHereUnlessItMovedAndPostsThePressedPlace) {
    MapRig rig;
    ASSERT_TRUE(rig.start());
    MobileClientView& view = rig.view();
    ASSERT_TRUE(rig.showsServedTiles({{view.width() / 2, view.height() / 2}}));

    // Moved 6 pixels: no menu, however long the press.
    mouse(view, QEvent::MouseButtonPress, {250, 250});
    mouse(view, QEvent::MouseMove, {253, 250});
    mouse(view, QEvent::MouseMove, {256, 250});
    QTest::qWait(MobileClientView::LONG_PRESS_MS + 300);
    EXPECT_EQ(view.longPressMenu(), nullptr);
    mouse(view, QEvent::MouseButtonRelease, {256, 250}, Qt::NoButton);

    // Moved 5 pixels (and back): still a long press.
    const QPoint at(320, 260);
    const MercatorCoords world = rig.worldAt(at);
    mouse(view, QEvent::MouseButtonPress, at);
    mouse(view, QEvent::MouseMove, at + QPoint(5, 5));
    mouse(view, QEvent::MouseMove, at);
    ASSERT_TRUE(rig.windows.eventually([&] { return view.longPressMenu() != nullptr; }));
    QMenu& menu = *view.longPressMenu();
    ASSERT_EQ(menu.actions().size(), 1);
    EXPECT_EQ(menu.actions().front()->text(), QStringLiteral("I'm here"));
    QImage shot = rig.windows.frame().grab().toImage();
    {
        QPainter painter(&shot);
        painter.drawPixmap(rig.windows.frame().mapFromGlobal(menu.mapToGlobal(QPoint(0, 0))),
                           menu.grab());
    }
    EXPECT_TRUE(WindowsRig::saveScreenshot(shot, "map-im-here-menu.png"));
    menu.actions().front()->trigger();
    menu.close();
    mouse(view, QEvent::MouseButtonRelease, at, Qt::NoButton);

    const kestra::ThreadMessage* posted = rig.windows.controller.lastPosted(UM_SET_OWN_POSITION);
    ASSERT_NE(posted, nullptr);
    const WorldCoords* chosen = posted->payloadAs<WorldCoords>();
    ASSERT_NE(chosen, nullptr);
    MercatorCoords back;
    CoordinateUtils::worldToMercatorProjectionCoords(rig.zoom, *chosen, back, TileServer::SIDE);
    EXPECT_NEAR(back.x, world.x, 1);
    EXPECT_NEAR(back.y, world.y, 1);
    // The press did not move the map.
    EXPECT_EQ(rig.worldAt(at), world);
}

TEST(MapViewTest, WheelKeysAndSliderZoomAndArrowsPanByAStep) {
    MapRig rig;
    ASSERT_TRUE(rig.start());
    MobileClientView& view = rig.view();
    const QPoint middle(view.width() / 2, view.height() / 2);
    ASSERT_TRUE(rig.showsServedTiles({middle}));

    QWheelEvent up(QPointF(middle), view.mapToGlobal(QPointF(middle)), QPoint(), QPoint(0, 120),
                   Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(&view, &up);
    ASSERT_TRUE(rig.windows.eventually([&] { return rig.manager().getZoom() == rig.zoom + 1; }));
    EXPECT_TRUE(rig.windows.eventually([&] { return view.zoomSlider()->value() == rig.zoom + 1; }));
    EXPECT_TRUE(rig.showsServedTiles({middle, {100, 30}}));

    view.setFocus();
    QTest::keyClick(&view, Qt::Key_Minus);
    ASSERT_TRUE(rig.windows.eventually([&] { return rig.manager().getZoom() == rig.zoom; }));
    QTest::keyClick(&view, Qt::Key_Minus);
    ASSERT_TRUE(rig.windows.eventually([&] { return rig.manager().getZoom() == rig.zoom - 1; }));
    QTest::keyClick(&view, Qt::Key_Plus);
    ASSERT_TRUE(rig.windows.eventually([&] { return rig.manager().getZoom() == rig.zoom; }));
    EXPECT_TRUE(rig.showsServedTiles({middle}));

    // No tiles two levels up: the slider's jump there lands on the nearest level below that
    // has them, and the slider shows where it landed.
    view.zoomSlider()->setValue(rig.zoom + 2);
    ASSERT_TRUE(rig.windows.eventually([&] { return rig.manager().getZoom() == rig.zoom + 1; }));
    EXPECT_TRUE(rig.windows.eventually([&] { return view.zoomSlider()->value() == rig.zoom + 1; }));
    EXPECT_TRUE(rig.showsServedTiles({middle}));

    const MercatorCoords before = rig.manager().getCentrePoint();
    QTest::keyClick(&view, Qt::Key_Right);
    QTest::keyClick(&view, Qt::Key_Down);
    QTest::keyClick(&view, Qt::Key_Down);
    EXPECT_EQ(rig.manager().getCentrePoint(), shifted(before, 64, 128));
}

TEST(MapViewTest, TheWorldsEdgeAndExtremeSizesGiveSaneResults) {
    MapRig rig(2, 10.0, 10.0);  // the world is 512 pixels wide: the view shows its edges
    ASSERT_TRUE(rig.start(900, 700));
    rig.windows.splitter().showContactPane(false);
    QApplication::processEvents();
    MobileClientView& view = rig.view();
    const QPoint middle(view.width() / 2, view.height() / 2);
    ASSERT_TRUE(rig.showsServedTiles({middle}));

    // A drag far beyond the edge does not move the view off the world.
    const MercatorCoords before = rig.manager().getCentrePoint();
    drag(view, middle, 2000, 0, 5, 0);
    drag(view, middle, 0, -3000, 5, 0);
    const MercatorCoords after = rig.manager().getCentrePoint();
    EXPECT_EQ(after, before);
    EXPECT_TRUE(rig.showsServedTiles({middle}));

    // A long press in the grey beyond the world's top-left corner takes the corner.
    const QPoint outside(middle.x() - static_cast<int>(after.x) - 40,
                         middle.y() - static_cast<int>(after.y) - 40);
    ASSERT_GE(outside.x(), 0);
    ASSERT_GE(outside.y(), 0);
    mouse(view, QEvent::MouseButtonPress, outside);
    ASSERT_TRUE(rig.windows.eventually([&] { return view.longPressMenu() != nullptr; }));
    QMenu* menu = view.longPressMenu();
    menu->actions().front()->trigger();
    menu->close();
    mouse(view, QEvent::MouseButtonRelease, outside, Qt::NoButton);
    const kestra::ThreadMessage* posted = rig.windows.controller.lastPosted(UM_SET_OWN_POSITION);
    ASSERT_NE(posted, nullptr);
    const DecimalCoords corner = CoordinateUtils::toDecimal(*posted->payloadAs<WorldCoords>());
    EXPECT_TRUE(CoordinateUtils::isValid(*posted->payloadAs<WorldCoords>()));
    EXPECT_NEAR(corner.latitude, 85.05, 0.1);
    EXPECT_NEAR(corner.longitude, -180.0, 0.5);

    // 0 x 0 and 4000 x 3000 paint, and the view comes back with its tiles.
    view.resize(0, 0);
    QApplication::processEvents();
    EXPECT_TRUE(view.grab().isNull() || view.grab().width() == 0);
    view.resize(4000, 3000);
    const QPoint far(3900, 2900);
    const QImage big = view.grab().toImage();
    ASSERT_EQ(big.width(), 4000);
    EXPECT_EQ(big.pixelColor(far), QColor(100, 100, 100)) << "beyond the world: no map";
    rig.windows.frame().resize(900, 700);
    QApplication::processEvents();
    EXPECT_TRUE(rig.showsServedTiles({{view.width() / 2, view.height() / 2}}));
}

// Contacts with stored positions are drawn at their places (own marker too), a tap on one
// opens its information window over the map; screenshots of both for review.
TEST(MapViewTest, ContactsAreDrawnAtTheirPlacesAndATapShowsTheirInformation) {
    MapRig rig(12);
    struct Placed {
        const wchar_t* gid;
        const wchar_t* nick;
        int status;
        double latitude;
        double longitude;
    };
    const Placed placed[] = {
        {L"100001", L"Anna", LumoraContact::STATUS_ONLINE, 52.530, 13.370},
        {L"100002", L"Bruno", LumoraContact::STATUS_AWAY, 52.505, 13.455},
        {L"100003", L"", LumoraContact::STATUS_OFFLINE, 52.490, 13.330},
        {L"100004", L"Dora", LumoraContact::STATUS_ONLINE, 52.548, 13.470},
        {L"100005", L"Emil", LumoraContact::STATUS_OFFLINE, 52.5482, 13.4702},
    };
    std::vector<std::shared_ptr<LumoraContact>> contacts;
    for (const Placed& p : placed) {
        auto contact = rig.windows.addContact(p.gid, p.nick, p.status, false, p.nick[0] == L'A');
        contact->setPosition(fixture::degrees(p.latitude, p.longitude));
        contacts.push_back(contact);
    }
    rig.windows.addContact(L"100006", L"Nowhere", LumoraContact::STATUS_ONLINE);  // no position
    ASSERT_TRUE(rig.start(900, 640));
    rig.windows.frame().showConnectionStatus(LumoraContact::STATUS_ONLINE);
    rig.profile.setStatus(LumoraContact::STATUS_ONLINE);
    rig.profile.setNick(L"me");
    rig.map.setOwnPosition(fixture::degrees(52.515, 13.40));
    MobileClientView& view = rig.view();
    ASSERT_TRUE(rig.showsServedTiles(
        {{100, 30}, {300, 100}, {480, 200}, {60, 450}, {260, 500}, {480, 500}}));

    // Where a contact's marker must be: its world pixel less the view's top-left.
    const auto placeOf = [&](const std::shared_ptr<LumoraContact>& contact) {
        MercatorCoords world;
        CoordinateUtils::worldToMercatorProjectionCoords(rig.zoom, contact->getPosition(), world,
                                                         TileServer::SIDE);
        const MercatorCoords corner = rig.worldAt(QPoint(0, 0));
        return QPoint(world.x - corner.x, world.y - corner.y);
    };
    const QPoint anna = placeOf(contacts[0]);
    const QPoint carla = placeOf(contacts[2]);
    ASSERT_TRUE(view.rect().contains(anna) && view.rect().contains(carla));
    // The disc of a marker, left of its glyph: green for online, grey for offline.
    const auto near = [](const QColor& a, const QColor& b) {
        return std::abs(a.red() - b.red()) + std::abs(a.green() - b.green()) +
                   std::abs(a.blue() - b.blue()) <
               30;
    };
    ASSERT_TRUE(rig.windows.eventually([&] {
        const QImage frame = view.grab().toImage();
        return near(frame.pixelColor(anna + QPoint(-9, 0)), QColor(47, 158, 68)) &&
               near(frame.pixelColor(carla + QPoint(-9, 0)), QColor(134, 142, 150));
    })) << rig.windows.log();
    WindowsRig::saveScreenshot(rig.windows.frame().grab().toImage(), "map-main-window.png");

    // A tap on Anna: her information window, placed below her marker, over the map.
    mouse(view, QEvent::MouseButtonPress, anna);
    mouse(view, QEvent::MouseButtonRelease, anna, Qt::NoButton);
    ContactInfoWindow& info = rig.windows.infoWindow(true);
    ASSERT_TRUE(rig.windows.eventually([&] { return info.isVisible(); }));
    EXPECT_EQ(info.contact(), contacts[0]);
    const QPoint corner = view.mapTo(&rig.windows.frame(), QPoint(0, 0));
    EXPECT_GT(info.y() - corner.y(), anna.y());
    WindowsRig::saveScreenshot(rig.windows.frame().grab().toImage(), "map-info-window.png");
}
