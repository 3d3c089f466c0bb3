// The contact drawing thread on real contact records and its real thread, with a map view
// that records what it is asked to draw.
#include "client/view/DrawContactsManager.h"

#include <gtest/gtest.h>

#include <mutex>

#include "LogCapture.h"
#include "TestSupport.h"
#include "client/contacts/UserContactProfile.h"
#include "kestra/Settings.h"

namespace {

constexpr int GUARD_MS = 20000;  // only keeps a broken test from hanging
constexpr int ZOOM = 20;
constexpr int WIDTH = 800;
constexpr int HEIGHT = 480;

struct Marker {
    std::wstring label;
    int kind;
    MercatorCoords point;
};

class RecordingMap : public IDrawContactsToMap {
public:
    void darwImgToTheMap(const std::wstring& label, int, int kind, const MercatorCoords& point,
                         IDrawContext*) override {
        std::lock_guard<std::mutex> lock(mutex_);
        markers_.push_back({label, kind, point});
    }
    void getImageSizes(int& cw, int& ch, int& gw, int& gh) override {
        cw = 20;
        ch = 20;
        gw = 28;
        gh = 28;
    }
    bool getViewParams(MercatorCoords& centre, int& zoom, int& side, int& width,
                       int& height) override {
        std::lock_guard<std::mutex> lock(mutex_);
        centre = centre_;
        zoom = ZOOM;
        side = 256;
        width = WIDTH;
        height = HEIGHT;
        return true;
    }
    void onTraversalStart() override {}
    void repaintContacts() override { ++repaints; }

    void setCentre(const MercatorCoords& centre) {
        std::lock_guard<std::mutex> lock(mutex_);
        centre_ = centre;
    }
    MercatorCoords centre() {
        std::lock_guard<std::mutex> lock(mutex_);
        return centre_;
    }
    std::vector<Marker> take() {
        std::lock_guard<std::mutex> lock(mutex_);
        std::vector<Marker> out;
        out.swap(markers_);
        return out;
    }
    std::atomic<int> repaints{0};

private:
    std::mutex mutex_;
    MercatorCoords centre_;
    std::vector<Marker> markers_;
};

WorldCoords position(double latitude, double longitude) {
    DecimalCoords d;
    d.latitude = latitude;
    d.longitude = longitude;
    return CoordinateUtils::fromDecimal(d);
}

// A position moved north by some metres (the distance rule's flat arc).
WorldCoords north(const WorldCoords& from, double metres) {
    DecimalCoords d = CoordinateUtils::toDecimal(from);
    d.latitude += metres / CoordinateUtils::EARTH_RADIUS_METERS * CoordinateUtils::RAD_TO_DEG;
    return CoordinateUtils::fromDecimal(d);
}

class DrawContactsManagerTest : public ::testing::Test {
protected:
    void SetUp() override {
        home = position(52.52, 13.40);
        map.setCentre(project(home));
    }
    void TearDown() override { drawer.stop(); }

    static MercatorCoords project(const WorldCoords& at) {
        MercatorCoords p;
        CoordinateUtils::worldToMercatorProjectionCoords(ZOOM, at, p, 256);
        return p;
    }
    // Where a position is in the map's view.
    MercatorCoords onScreen(const WorldCoords& at) {
        MercatorCoords s;
        CoordinateUtils::worldToScreen(map.centre(), project(at), s, WIDTH, HEIGHT);
        return s;
    }
    std::shared_ptr<LumoraContact> add(const std::wstring& nick, const WorldCoords* at,
                                       int status = LumoraContact::STATUS_ONLINE) {
        auto contact = std::make_shared<LumoraContact>();
        contact->setJid(nick + L"@lumora");
        contact->setNick(nick);
        contact->setStatus(status);
        if (at != nullptr) {
            contact->setPosition(*at);
        }
        kestra::Mutex::Locker lock(contactsLock);
        contacts[contact->getJid()] = contact;
        return contact;
    }
    bool passes(long n) {
        const long target = drawer.passes() + n;
        return testsupport::waitUntil([&] { return drawer.passes() >= target; }, GUARD_MS);
    }
    std::vector<Marker> rendered() {
        map.take();
        drawer.render(map.centre(), ZOOM, WIDTH, HEIGHT, nullptr);
        return map.take();
    }

    WorldCoords home;
    RecordingMap map;
    LumoraContact::ContactMap contacts;
    kestra::Mutex contactsLock;
    DrawContactsManager drawer{contacts, contactsLock, &map};
};

TEST_F(DrawContactsManagerTest, AContactIsDrawnOnceItHasAPositionAndLeavesWithTheContactMap) {
    auto late = add(L"late", nullptr);
    drawer.start();
    ASSERT_TRUE(passes(3));
    EXPECT_TRUE(rendered().empty()) << "no position, no marker";
    EXPECT_EQ(drawer.getTree().size(), 0);

    late->setPosition(home);
    drawer.addDrawContact(late);
    ASSERT_TRUE(passes(2));
    auto markers = rendered();
    ASSERT_EQ(markers.size(), 1u);
    EXPECT_EQ(markers[0].label, L"late");
    EXPECT_EQ(markers[0].kind, IDrawContactsToMap::CONTACT_ONLINE);
    EXPECT_EQ(markers[0].point, onScreen(home));

    late->setStatus(LumoraContact::STATUS_OFFLINE);
    ASSERT_TRUE(passes(2));
    markers = rendered();
    ASSERT_EQ(markers.size(), 1u);
    EXPECT_EQ(markers[0].kind, IDrawContactsToMap::CONTACT_OFFLINE);

    {
        kestra::Mutex::Locker lock(contactsLock);
        contacts.clear();
    }
    ASSERT_TRUE(passes(2));
    EXPECT_TRUE(rendered().empty()) << "a removed contact leaves the map";
    EXPECT_EQ(drawer.getTree().size(), 0);

    LogCapture log;
    drawer.addDrawContact(nullptr);
    EXPECT_TRUE(log.contains("[ERROR] DrawContactsManager::addDrawContact contact == NULL."));
}

TEST_F(DrawContactsManagerTest, HalfAMetreStaysTwoMetresMoveAndFarMovesOutOfViewWait) {
    auto walker = add(L"walker", &home);
    drawer.start();
    ASSERT_TRUE(passes(3));
    const MercatorCoords drawnAt = rendered().at(0).point;

    walker->setPosition(north(home, 0.5));
    ASSERT_NE(project(walker->getPosition()), project(home)) << "a visible move at this zoom";
    ASSERT_TRUE(passes(3));
    EXPECT_EQ(rendered().at(0).point, drawnAt) << "half a metre: drawn where it was";

    const WorldCoords twoMetres = north(home, 2.0);
    walker->setPosition(twoMetres);
    ASSERT_TRUE(passes(3));
    EXPECT_EQ(rendered().at(0).point, onScreen(twoMetres));

    // Far away from the view, then further: neither place is in view, so the tree keeps
    // the old place until the view comes there.
    const WorldCoords away = position(48.85, 2.35);
    const WorldCoords further = position(41.90, 12.50);
    walker->setPosition(away);  // from a visible place: re-inserted
    ASSERT_TRUE(passes(3));
    walker->setPosition(further);
    ASSERT_TRUE(passes(3));
    drawer.traverse(project(further), ZOOM, 256, WIDTH, HEIGHT);
    map.setCentre(project(further));
    EXPECT_TRUE(rendered().empty()) << "not yet moved in the tree";
    drawer.wake();
    ASSERT_TRUE(passes(3));
    auto markers = rendered();
    ASSERT_EQ(markers.size(), 1u);
    EXPECT_EQ(markers[0].point, onScreen(further));
}

TEST_F(DrawContactsManagerTest, AGroupsKindFollowsItsMembersOnlineStateAndAnswersTheHitTest) {
    // Three contacts 20 metres apart: one cell at zoom 14, three markers at zoom 20.
    auto a = add(L"a", &home);
    const WorldCoords b0 = north(home, 20);
    const WorldCoords c0 = north(home, 40);
    auto b = add(L"b", &b0, LumoraContact::STATUS_OFFLINE);
    auto c = add(L"c", &c0, LumoraContact::STATUS_UNAVAILABLE);
    drawer.start();
    ASSERT_TRUE(passes(3));
    MercatorCoords centre;
    CoordinateUtils::worldToMercatorProjectionCoords(14, home, centre, 256);
    drawer.traverse(centre, 14, 256, WIDTH, HEIGHT);
    map.take();
    drawer.render(centre, 14, WIDTH, HEIGHT, nullptr);
    auto markers = map.take();
    ASSERT_EQ(markers.size(), 1u);
    EXPECT_EQ(markers[0].kind, IDrawContactsToMap::GROUP_SOME_ONLINE);
    EXPECT_EQ(markers[0].label, L"3");
    const MercatorCoords groupAt = markers[0].point;

    LumoraContact::ContactList hit;
    MercatorCoords at;
    EXPECT_EQ(
        drawer.hitTest(14, centre, {groupAt.x + 3, groupAt.y + 2}, 256, WIDTH, HEIGHT, hit, at),
        DrawContactsManager::HIT_GROUP);
    EXPECT_EQ(hit.size(), 3u);
    EXPECT_EQ(at, groupAt);
    hit.clear();
    EXPECT_EQ(drawer.hitTest(14, centre, {groupAt.x + 30, groupAt.y}, 256, WIDTH, HEIGHT, hit, at),
              DrawContactsManager::HIT_NONE);

    // At the thread's own zoom the three are single markers; one is hit alone.
    drawer.wake();
    ASSERT_TRUE(passes(3));
    markers = rendered();
    ASSERT_EQ(markers.size(), 3u);
    hit.clear();
    EXPECT_EQ(drawer.hitTest(ZOOM, map.centre(), onScreen(home), 256, WIDTH, HEIGHT, hit, at),
              DrawContactsManager::HIT_CONTACT);
    ASSERT_EQ(hit.size(), 1u);
    EXPECT_EQ(hit[0], a);
}

TEST_F(DrawContactsManagerTest, AllOnlineAndNoneOnlineGroupsAndTheOwnMarker) {
    const WorldCoords b0 = north(home, 5);
    add(L"a", &home);
    auto b = add(L"b", &b0);
    drawer.start();
    ASSERT_TRUE(passes(3));
    MercatorCoords centre;
    CoordinateUtils::worldToMercatorProjectionCoords(12, home, centre, 256);
    auto groupKind = [&] {
        drawer.traverse(centre, 12, 256, WIDTH, HEIGHT);
        map.take();
        drawer.render(centre, 12, WIDTH, HEIGHT, nullptr);
        auto markers = map.take();
        return markers.size() == 1 ? markers[0].kind : -1;
    };
    EXPECT_EQ(groupKind(), IDrawContactsToMap::GROUP_ALL_ONLINE);
    {
        kestra::Mutex::Locker lock(contactsLock);
        for (auto& entry : contacts) {
            entry.second->setStatus(LumoraContact::STATUS_OFFLINE);
        }
    }
    ASSERT_TRUE(passes(3));
    EXPECT_EQ(groupKind(), IDrawContactsToMap::GROUP_NONE_ONLINE);

    testsupport::TempDir dir;
    kestra::Settings::startup(dir.wstr() + L"/settings.cfg");
    {
        UserContactProfile me;
        me.setNick(L"me");
        EXPECT_TRUE(drawer.isOwnMarkerVisible({-9, 5}, WIDTH, HEIGHT));
        EXPECT_FALSE(drawer.isOwnMarkerVisible({-11, 5}, WIDTH, HEIGHT));
        EXPECT_FALSE(drawer.isOwnMarkerVisible({400, HEIGHT + 11}, WIDTH, HEIGHT));
        drawer.drawOwnMarker(me, {100, 50}, nullptr);
        me.setStatus(LumoraContact::STATUS_ONLINE);
        drawer.drawOwnMarker(me, {100, 50}, nullptr);
        const auto markers = map.take();
        ASSERT_EQ(markers.size(), 2u);
        EXPECT_EQ(markers[0].kind, IDrawContactsToMap::OWN_OFFLINE);
        EXPECT_EQ(markers[1].kind, IDrawContactsToMap::OWN_ONLINE);
        EXPECT_EQ(markers[1].label, L"me");
    }
    kestra::Settings::shutdown();
}

TEST(DrawContactsManagerWithoutView, RunsAndLogsTheMissingView) {
    LogCapture log;
    LumoraContact::ContactMap contacts;
    kestra::Mutex lock;
    DrawContactsManager drawer(contacts, lock, nullptr);
    drawer.start();
    ASSERT_TRUE(testsupport::waitUntil([&] { return drawer.passes() > 2; }, GUARD_MS));
    drawer.stop();
    EXPECT_FALSE(drawer.isRunning());
    EXPECT_TRUE(log.contains("[ERROR] DrawContactsManager::run _view == NULL."));
}

}  // namespace
