// The contact quad tree on real contact records: grouping by 64-pixel cells, merging,
// removal, bad coordinates, the view's edges and hit tests.
#include "client/view/QuadTree.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "LogCapture.h"

namespace {

constexpr int SIDE = 256;
constexpr int WIDTH = 800;
constexpr int HEIGHT = 480;

struct Drawn {
    std::shared_ptr<LumoraContact> contact;
    MercatorCoords point;
    int count;
    int online;
};

class RecordingDrawer : public IDrawContact {
public:
    void draw(const std::shared_ptr<LumoraContact>& contact, const MercatorCoords& point, int count,
              int onlineCount, IDrawContext*) override {
        drawn.push_back({contact, point, count, onlineCount});
    }
    std::vector<Drawn> drawn;
};

// The position whose projection at zoom is the map pixel (x, y) (through a deep zoom, so
// that projecting back gives exactly (x, y)).
WorldCoords atPixel(int zoom, std::int64_t x, std::int64_t y) {
    const int deep = 20;
    const std::int64_t scale = static_cast<std::int64_t>(1) << (deep - zoom);
    MercatorCoords p;
    p.x = static_cast<std::int32_t>(x * scale + scale / 2);
    p.y = static_cast<std::int32_t>(y * scale + scale / 2);
    WorldCoords position;
    CoordinateUtils::mercatorProjectionToWorldCoords(p, deep, SIDE, position);
    return position;
}

WorldCoords fromDecimalDegrees(double latitude, double longitude) {
    DecimalCoords d;
    d.latitude = latitude;
    d.longitude = longitude;
    return CoordinateUtils::fromDecimal(d);
}

class QuadTreeTest : public ::testing::Test {
protected:
    void SetUp() override {
        tree.init(20, 1, &drawer);
        // A view at zoom 10 whose centre lies in the middle of a 64-pixel cell.
        centre.x = 64 * 1000 + 32;
        centre.y = 64 * 600 + 32;
    }
    std::shared_ptr<LumoraContact> contact(const std::wstring& jid, const WorldCoords& at,
                                           int status = LumoraContact::STATUS_ONLINE) {
        auto c = std::make_shared<LumoraContact>();
        c->setJid(jid);
        c->setStatus(status);
        c->setPosition(at);
        return c;
    }
    // The view pixel of a map pixel at the test's view.
    MercatorCoords screen(std::int64_t x, std::int64_t y) const {
        MercatorCoords p;
        p.x = static_cast<std::int32_t>(x);
        p.y = static_cast<std::int32_t>(y);
        MercatorCoords s;
        CoordinateUtils::worldToScreen(centre, p, s, WIDTH, HEIGHT);
        return s;
    }
    std::vector<QuadTree::DrawItem> traverse(int zoom = 10) {
        tree.doTraversal(SIDE, zoom, centre, WIDTH, HEIGHT);
        return tree.getItems();
    }

    RecordingDrawer drawer;
    QuadTree tree;
    MercatorCoords centre;
};

TEST_F(QuadTreeTest, ContactsOfOneCellAreOneGroupAtTheirMeanThatSplitsOneLevelDeeper) {
    const std::int64_t cx = 64 * 1001;  // the cell right of the centre's
    const std::int64_t cy = 64 * 600;
    tree.addEllement(contact(L"a@x", atPixel(10, cx + 10, cy + 10)));
    tree.addEllement(contact(L"b@x", atPixel(10, cx + 40, cy + 50), LumoraContact::STATUS_OFFLINE));
    EXPECT_EQ(tree.size(), 2);

    auto items = traverse(10);
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].type, QuadTree::GROUP);
    EXPECT_EQ(items[0].count, 2);
    EXPECT_EQ(items[0].online, 1);
    const MercatorCoords mean = screen(cx + 25, cy + 30);
    EXPECT_NEAR(items[0].point.x, mean.x, 1);
    EXPECT_NEAR(items[0].point.y, mean.y, 1);
    tree.render(nullptr);
    ASSERT_EQ(drawer.drawn.size(), 1u);
    EXPECT_EQ(drawer.drawn[0].contact, nullptr);
    EXPECT_EQ(drawer.drawn[0].count, 2);
    EXPECT_EQ(drawer.drawn[0].online, 1);

    // One zoom deeper the cell is four cells: two single contacts at their own places.
    centre.x = centre.x * 2;
    centre.y = centre.y * 2;
    items = traverse(11);
    ASSERT_EQ(items.size(), 2u);
    for (const auto& item : items) {
        EXPECT_EQ(item.type, QuadTree::SINGLE);
        EXPECT_EQ(item.count, 1);
    }
    const MercatorCoords a = screen(2 * (cx + 10), 2 * (cy + 10));
    EXPECT_EQ(items[0].contact->getJid(), L"a@x");
    EXPECT_NEAR(items[0].point.x, a.x, 1);
    EXPECT_NEAR(items[0].point.y, a.y, 1);
}

TEST_F(QuadTreeTest, MarkersCloserThanTheMergeDistanceBecomeOneGroupAtTheirMidpoint) {
    tree.init(20, 30, &drawer);
    const std::int64_t x = 64 * 1001;
    const std::int64_t y = 64 * 600;
    // Three cells side by side; the first two items are 20 pixels apart, the third 70.
    tree.addEllement(contact(L"a@x", atPixel(10, x + 54, y + 20)));
    tree.addEllement(contact(L"b@x", atPixel(10, x + 74, y + 20), LumoraContact::STATUS_OFFLINE));
    tree.addEllement(contact(L"c@x", atPixel(10, x + 84, y + 20)));
    tree.addEllement(contact(L"d@x", atPixel(10, x + 200, y + 20)));
    const auto items = traverse(10);
    ASSERT_EQ(items.size(), 2u);
    const QuadTree::DrawItem& merged = items[0];
    EXPECT_EQ(merged.type, QuadTree::MERGED);
    EXPECT_EQ(merged.count, 3);
    EXPECT_EQ(merged.online, 2);
    // The single contact a and the group (b, c) of the next cell, at the running midpoint.
    const MercatorCoords a = screen(x + 54, y + 20);
    EXPECT_EQ(items[1].type, QuadTree::SINGLE);
    EXPECT_LT(std::abs(merged.point.x - (a.x + 10)), 4);
    LumoraContact::ContactList contacts;
    EXPECT_TRUE(tree.getInformationAboutNode(merged, contacts));
    ASSERT_EQ(contacts.size(), 3u);
    std::vector<std::wstring> jids;
    for (const auto& c : contacts) {
        jids.push_back(c->getJid());
    }
    EXPECT_EQ(jids, (std::vector<std::wstring>{L"a@x", L"b@x", L"c@x"}));

    contacts.clear();
    EXPECT_FALSE(tree.getInformationAboutNode(items[1], contacts));
    ASSERT_EQ(contacts.size(), 1u);
    EXPECT_EQ(contacts[0]->getJid(), L"d@x");

    // The hit test finds the group near its point and nothing far from both.
    QuadTree::DrawItem hit;
    MercatorCoords at;
    EXPECT_TRUE(tree.hitTest({merged.point.x + 3, merged.point.y - 3}, 10, at, hit));
    EXPECT_EQ(hit.count, 3);
    EXPECT_EQ(at, merged.point);
    EXPECT_FALSE(tree.hitTest({merged.point.x + 40, merged.point.y + 40}, 10, at, hit));
}

TEST_F(QuadTreeTest, RemovalFreesABranchOfOneContactAndKeepsALeafOfSeveral) {
    auto a = contact(L"a@x", atPixel(10, 64 * 1001 + 5, 64 * 600 + 5));
    auto twin = contact(L"twin@x", a->getPosition());
    auto far = contact(L"far@x", atPixel(10, 64 * 900, 64 * 700));
    tree.addEllement(a);
    EXPECT_EQ(tree.nodeCount(), 2) << "the root and a's leaf";
    tree.addEllement(twin);
    const int withTwins = tree.nodeCount();
    EXPECT_EQ(withTwins, 22) << "twins share a leaf at the deepest level";
    tree.addEllement(far);
    EXPECT_GT(tree.nodeCount(), withTwins);

    EXPECT_TRUE(tree.removeContact(far));
    EXPECT_EQ(tree.nodeCount(), withTwins) << "the far branch is freed";
    EXPECT_TRUE(tree.removeContact(twin));
    EXPECT_EQ(tree.nodeCount(), withTwins) << "the leaf stays for a";
    auto items = traverse();
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].contact, a);

    // A contact that is not where it is looked for changes nothing.
    LogCapture log;
    auto stranger = contact(L"stranger@x", a->getPosition());
    EXPECT_FALSE(tree.removeContact(stranger));
    EXPECT_FALSE(tree.removeContact(a, far->getPosition()));
    EXPECT_EQ(tree.size(), 1);
    EXPECT_TRUE(
        log.contains("[ERROR] QuadTree::fiendNodeByContactTreeCoordinates tmpPtr->branches["));
    EXPECT_TRUE(tree.removeContact(a));
    EXPECT_EQ(tree.size(), 0);
    EXPECT_EQ(tree.nodeCount(), 1) << "the root alone";
    EXPECT_TRUE(traverse().empty());
    drawer.drawn.clear();
    tree.render(nullptr);
    EXPECT_TRUE(drawer.drawn.empty());
}

TEST_F(QuadTreeTest, PositionsOutsideTheWorldAndZoomsWithoutResolutionAreLogged) {
    LogCapture log;
    // Beyond the projection's range (Mercator ends near 85 degrees) and on the far edge.
    auto pole = contact(L"pole@x", fromDecimalDegrees(89.9, 10.0));
    auto edge = contact(L"edge@x", fromDecimalDegrees(10.0, 180.0));
    EXPECT_FALSE(tree.addEllement(pole));
    EXPECT_FALSE(tree.addEllement(edge));
    EXPECT_TRUE(log.contains("[ERROR] QuadTree::addEllement bad coordinates: pole@x"));
    EXPECT_TRUE(log.contains("[ERROR] QuadTree::addEllement bad coordinates: edge@x"));
    EXPECT_EQ(tree.size(), 0) << "nothing counted for contacts not stored";

    tree.addEllement(contact(L"a@x", atPixel(10, 64 * 1001, 64 * 600)));
    EXPECT_FALSE(traverse(10).empty());
    // Past zoom 20 the tree has no resolution left: nothing is drawn, nothing crashes.
    centre.x = INT32_MAX - 10;
    EXPECT_TRUE(traverse(25).empty());
    EXPECT_TRUE(log.contains("[ERROR] QuadTree::doTraversal: difference == 0."));
    MercatorCoords out;
    EXPECT_FALSE(tree.fromTreeToDisplCoordinates(10, 10, 1, 21, centre, WIDTH, HEIGHT, out));
    EXPECT_TRUE(log.contains("[ERROR] QuadTree::fromTreeToDisplCoordinates: difference == 0."));
}

TEST_F(QuadTreeTest, AnItemWhosePointLiesOutsideTheViewIsDroppedThoughItsCellOverlaps) {
    // The view's left edge runs through a cell; a contact in that cell left of the edge.
    const std::int64_t left = centre.x - WIDTH / 2;  // 16 pixels into a cell
    tree.addEllement(contact(L"out@x", atPixel(10, left - 10, centre.y)));
    tree.addEllement(contact(L"in@x", atPixel(10, left + 10, centre.y - 100)));
    const auto items = traverse();
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].contact->getJid(), L"in@x");
    EXPECT_EQ(items[0].point.x, 10);
}

TEST_F(QuadTreeTest, OnlineCountsFollowStatusChangesAndRemovals) {
    const std::int64_t x = 64 * 1001;
    const std::int64_t y = 64 * 600;
    auto a = contact(L"a@x", atPixel(10, x + 5, y + 5));
    auto b = contact(L"b@x", atPixel(10, x + 30, y + 30));
    auto c = contact(L"c@x", atPixel(10, x + 50, y + 50));
    for (const auto& each : {a, b, c}) {
        tree.addEllement(each);
    }
    EXPECT_EQ(traverse()[0].online, 3);
    b->setStatus(LumoraContact::STATUS_UNAVAILABLE);
    EXPECT_TRUE(tree.refreshStatus(b, b->getPosition()));
    EXPECT_FALSE(tree.refreshStatus(b, b->getPosition())) << "already counted";
    EXPECT_EQ(traverse()[0].online, 2);
    tree.removeContact(a);
    const auto items = traverse();
    EXPECT_EQ(items[0].count, 2);
    EXPECT_EQ(items[0].online, 1);
}

}  // namespace
