// The real client program on a private X server, looked at from outside: the map it shows
// is read back from the server's screen and checked against the projection, the user's
// drags and wheel turns go through the X server, and what the view shows must survive a
// restart.

#include <gtest/gtest.h>
#include <signal.h>

#include <QHash>
#include <algorithm>
#include <climits>
#include <cmath>

#include "ClientProcess.h"
#include "TestSupport.h"
#include "XScreen.h"
#include "client/contacts/LumoraContact.h"
#include "client/maps/CoordinateUtils.h"
#include "kestra/Settings.h"
#include "kestra/TextCodec.h"
#include "testing/view/RenderRig.h"
#include "testing/view/TileServer.h"

namespace {

using fixture::TileServer;
using testsupport::ChildProcess;

constexpr int LEVEL = 6;
constexpr int WAIT_MS = 60000;

// Where the program's map lies on the screen, found from the served tiles alone.
struct MapOnScreen {
    QRect pane;           // the box of the pixels that show a served tile
    QPoint worldOffset;   // world pixel = screen pixel + worldOffset
    double coverage = 0;  // the share of the box's pixels that show a served tile
    std::string problem;  // empty when the tiles make one consistent map

    bool found() const { return problem.empty(); }
    // The world pixel the view has at its centre.
    QPoint centre() const {
        return pane.topLeft() + QPoint(pane.width() / 2, pane.height() / 2) + worldOffset;
    }
    QPoint onScreen(const MercatorCoords& world) const {
        return QPoint(world.x, world.y) - worldOffset;
    }
};

// Every pixel with the colour of a tile of the level narrows the offset between screen and
// world to the tile's 256 pixels; all of them together leave exactly one offset when the
// tiles lie where the projection puts them and at least one tile edge is in sight.
MapOnScreen findMap(const QImage& screen, int level) {
    QHash<QRgb, QPoint> tiles;
    const int n = static_cast<int>(CoordinateUtils::blocksPerSide(level));
    for (int y = 0; y < n; ++y) {
        for (int x = 0; x < n; ++x) {
            // A greyish tile colour could be a pixel of anti-aliased text: such tiles are
            // not looked for.
            const Rgb c = TileServer::colourOf(level, x, y);
            const int r = redOf(c), g = greenOf(c), b = blueOf(c);
            if (std::max({r, g, b}) - std::min({r, g, b}) > 24) {
                tiles.insert(qRgb(r, g, b), QPoint(x, y));
            }
        }
    }
    MapOnScreen map;
    long loX = LONG_MIN, hiX = LONG_MAX, loY = LONG_MIN, hiY = LONG_MAX;
    int left = INT_MAX, top = INT_MAX, right = -1, bottom = -1;
    long shown = 0;
    for (int y = 0; y < screen.height(); ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(screen.constScanLine(y));
        for (int x = 0; x < screen.width(); ++x) {
            const auto tile = tiles.constFind(row[x] | 0xff000000U);
            if (tile == tiles.constEnd()) {
                continue;
            }
            ++shown;
            left = std::min(left, x), right = std::max(right, x);
            top = std::min(top, y), bottom = std::max(bottom, y);
            loX = std::max<long>(loX, tile->x() * TileServer::SIDE - x);
            hiX = std::min<long>(hiX, tile->x() * TileServer::SIDE + TileServer::SIDE - 1 - x);
            loY = std::max<long>(loY, tile->y() * TileServer::SIDE - y);
            hiY = std::min<long>(hiY, tile->y() * TileServer::SIDE + TileServer::SIDE - 1 - y);
        }
    }
    if (shown == 0) {
        map.problem = "no served tile of level " + std::to_string(level) + " on the screen";
        return map;
    }
    map.pane = QRect(QPoint(left, top), QPoint(right, bottom));
    map.coverage = double(shown) / (double(map.pane.width()) * map.pane.height());
    if (loX > hiX || loY > hiY) {
        map.problem = "tiles out of place";
    } else if (loX != hiX || loY != hiY) {
        map.problem = "no tile edge in sight";
    }
    map.worldOffset = QPoint(static_cast<int>(loX), static_cast<int>(loY));
    return map;
}

MercatorCoords project(int level, const WorldCoords& place) {
    MercatorCoords world;
    CoordinateUtils::worldToMercatorProjectionCoords(level, place, world, TileServer::SIDE);
    return world;
}

bool near(const QPoint& a, const QPoint& b) {
    return (a - b).manhattanLength() <= 2;
}

std::string text(const QPoint& p) {
    return "(" + std::to_string(p.x()) + ", " + std::to_string(p.y()) + ")";
}

// The grey disc of an offline contact's marker, left of its glyph.
bool offlineMarkerAt(const QImage& screen, const QPoint& place) {
    const QColor seen = screen.pixelColor(place + QPoint(-9, 0));
    return std::abs(seen.red() - 134) + std::abs(seen.green() - 142) + std::abs(seen.blue() - 150) <
           30;
}

class ClientScreenTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(screen.started()) << "Xvfb did not start";
        tiles.serveAround(LEVEL, project(LEVEL, start), 2400, 1800);
        tiles.serveAround(LEVEL + 1, project(LEVEL + 1, start), 3200, 2400);
        // The settings a user would have who looked at the map here before: the test's
        // tile server as OpenStreetMap, and no server that answers, so nothing leaves the
        // machine.
        std::filesystem::create_directories(sandbox.settingsFile().parent_path());
        kestra::Settings::startup(sandbox.settingsFile().wstring());
        tiles.configureSettings();
        kestra::Settings::setIntValue(L"maps.loaderMode", 1);
        kestra::Settings::setIntValue(L"lastZoom", LEVEL);
        kestra::Settings::setIntValue(L"mapPosition", 2);
        CoordinateUtils::writeToSettings(L"userLastViewCoord", start);
        kestra::Settings::setStringValue(L"lumoraServer.host", L"127.0.0.1");
        kestra::Settings::setIntValue(L"lumoraServer.port", 9);
        kestra::Settings::setStringValue(L"lumoraServer.webRoot",
                                         kestra::utf8ToWide(tiles.http().url("/")));
        ASSERT_TRUE(kestra::Settings::shutdown());
        // A contact kept from an earlier run, with the last position it published.
        LumoraContact::setContactsFolder((sandbox.appFolder() / "Jabber").wstring() + L"/");
        LumoraContact::ContactMap contacts;
        auto anna = std::make_shared<LumoraContact>(L"100001@127.0.0.1", L"Anna", L"", L"", L"", 1,
                                                    0, 0, 0, 0, false);
        anna->setPosition(annaAt);
        contacts[anna->getJid()] = anna;
        LumoraContact::saveContactsListInfo(contacts);
    }

    bool startClient(ChildProcess& client) {
        auto environment = sandbox.environment();
        environment["QT_QPA_PLATFORM"] = "xcb";
        environment["DISPLAY"] = screen.display();
        return client.start(sandbox.installedProgram().string(), {}, environment);
    }

    // Until the screen shows a consistent map of the level whose centre is the given world
    // pixel, with Anna's marker at her place; the last look is kept in `seen`.
    bool showsMap(int level, const QPoint& centre) {
        const bool shown = testsupport::waitUntil(
            [&] {
                frame = screen.grab();
                seen = findMap(frame, level);
                return seen.found() && seen.coverage > 0.8 && near(seen.centre(), centre) &&
                       offlineMarkerAt(frame, seen.onScreen(project(level, annaAt)));
            },
            WAIT_MS, 200);
        if (!shown) {
            saveScreen("client-map-unexpected.png");
        }
        return shown;
    }
    std::string describe() {
        return "map: " + (seen.found() ? std::string("found") : seen.problem) + ", pane " +
               text(seen.pane.topLeft()) + " size " +
               text({seen.pane.width(), seen.pane.height()}) + ", coverage " +
               std::to_string(seen.coverage) + ", centre " + text(seen.centre()) + "\n" +
               requested() + sandbox.log();
    }
    std::string requested() {
        std::string list;
        for (const auto& request : tiles.http().requests()) {
            list += request.target + "\n";
        }
        return list;
    }
    void saveScreen(const std::string& name) const {
        const auto folder = testsupport::binaryDir().parent_path() / "screenshots";
        std::filesystem::create_directories(folder);
        frame.save(QString::fromStdString((folder / name).string()), "PNG");
    }
    int quit(ChildProcess& client) {
        client.sendSignal(SIGTERM);
        int code = -1;
        EXPECT_TRUE(client.waitExit(WAIT_MS, code)) << "the client did not end";
        return code;
    }

    const WorldCoords start = fixture::degrees(48.85, 2.35);
    const WorldCoords annaAt = fixture::degrees(50.10, 5.90);
    XScreen screen{1280, 900};
    ClientSandbox sandbox;
    TileServer tiles;
    QImage frame;
    MapOnScreen seen;
};

TEST_F(ClientScreenTest,
       TheMapShowsServedTilesAndContactsWhereTheyBelongAndTheViewSurvivesARestart) {
    ChildProcess client;
    ASSERT_TRUE(startClient(client));
    const MercatorCoords centre = project(LEVEL, start);
    ASSERT_TRUE(showsMap(LEVEL, QPoint(centre.x, centre.y))) << describe();
    saveScreen("client-map-first-start.png");

    // A slow drag through the X server, 120 pixels left and 80 up: the map follows the
    // pointer exactly and stays there (no flick).
    const QPoint from = seen.pane.center();
    std::vector<std::string> drag = {"mousemove", std::to_string(from.x()),
                                     std::to_string(from.y()), "mousedown", "1"};
    for (int step = 1; step <= 20; ++step) {
        drag.insert(drag.end(), {"sleep", "0.04", "mousemove", std::to_string(from.x() - 6 * step),
                                 std::to_string(from.y() - 4 * step)});
    }
    drag.insert(drag.end(), {"sleep", "0.4", "mouseup", "1"});
    ASSERT_TRUE(screen.xdotool(drag));
    const QPoint dragged = QPoint(centre.x, centre.y) + QPoint(120, 80);
    ASSERT_TRUE(showsMap(LEVEL, dragged)) << describe();

    // One wheel notch forward over the map: the next level, at the place in the middle.
    ASSERT_TRUE(screen.xdotool({"click", "4"}));
    ASSERT_TRUE(showsMap(LEVEL + 1, dragged * 2)) << describe();
    const QPoint zoomedCentre = seen.centre();
    saveScreen("client-map-dragged-and-zoomed.png");
    EXPECT_EQ(quit(client), 0);

    kestra::Settings::startup(sandbox.settingsFile().wstring());
    EXPECT_EQ(kestra::Settings::getIntValue(L"lastZoom", 0), LEVEL + 1);
    WorldCoords saved;
    ASSERT_TRUE(CoordinateUtils::readFromSettings(L"userLastViewCoord", saved));
    kestra::Settings::shutdown();
    const MercatorCoords savedCentre = project(LEVEL + 1, saved);
    EXPECT_TRUE(near(QPoint(savedCentre.x, savedCentre.y), zoomedCentre))
        << text(QPoint(savedCentre.x, savedCentre.y)) << " saved, " << text(zoomedCentre)
        << " shown";

    // The next start shows the same level at the same place, and Anna where she was.
    ChildProcess again;
    ASSERT_TRUE(startClient(again));
    ASSERT_TRUE(showsMap(LEVEL + 1, zoomedCentre)) << describe();
    saveScreen("client-map-after-restart.png");
    EXPECT_EQ(quit(again), 0);
}

}  // namespace
