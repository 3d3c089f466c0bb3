#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "client/contacts/LumoraContact.h"
#include "client/maps/CoordinateUtils.h"
#include "client/view/IDrawContact.h"
#include "kestra/Mutex.h"

// The spatial index behind the drawing of contacts. Every contact with a position is
// inserted once at its tree coordinates (its position projected at level levelsNum with a
// block side of 1, so the world is [0, S) x [0, S), S = 2^(levelsNum - 1)); each node
// keeps the count, the online count and the coordinate sums of the contacts below it. A
// square with one contact is a leaf at whatever level it is (it splits when a second
// contact comes), so the tree has about as many nodes as contacts; at the deepest level a
// leaf keeps every contact of its square. For
// a zoom and a view, doTraversal makes the draw items: single contacts, or groups of the
// contacts that share one cell of B/4 x B/4 map pixels (the content of one node at level
// zoom + 2), and then merges items closer than the merge distance. render draws them
// through the drawer; hitTest and getInformationAboutNode answer what lies under a point.
//
// Every operation holds the tree's recursive lock. The items keep what they show by value
// (the contact of a single item, the cells of a group), so a contact removed after a
// traversal never leaves an item pointing at freed memory.
class QuadTree : public CoordinateUtils {
public:
    static constexpr int ADDITION_LEVELS_NUM = 2;
    enum ItemType { SINGLE = 0, GROUP = 1, MERGED = 2 };

    // A tree cell: its square (tree coordinates, left/top inclusive) and level.
    struct Cell {
        std::int32_t left = 0;
        std::int32_t top = 0;
        std::int32_t right = 0;
        std::int32_t bottom = 0;
        std::int32_t level = 0;
    };

    struct DrawItem {
        int type = SINGLE;
        MercatorCoords point;  // view pixels of the traversal's view
        int count = 0;
        int online = 0;
        std::shared_ptr<LumoraContact> contact;  // a single item's contact
        std::vector<Cell> cells;                 // the tree cells the item stands for
    };

    QuadTree();
    QuadTree(const QuadTree&) = delete;
    QuadTree& operator=(const QuadTree&) = delete;

    // Empties the tree; its depth becomes levelsNum + 2.
    void init(int levelsNum, int mergeDistance, IDrawContact* drawer);
    int getLevelsNum() const { return levelsNum_; }

    // Inserts the contact at its position (or the given one); false (logged) when the
    // position lies outside the tree's world or the tree was not initialised.
    bool addEllement(const std::shared_ptr<LumoraContact>& contact);
    bool addEllement(const std::shared_ptr<LumoraContact>& contact, const WorldCoords& at);
    // Inserts many contacts at once, in the order of their places along the tree (so that
    // contacts that share a path follow each other in memory); the number inserted, and
    // for each contact whether it was (when asked).
    struct Placed {
        std::shared_ptr<LumoraContact> contact;
        WorldCoords at;
    };
    int addEllements(const std::vector<Placed>& contacts, std::vector<bool>* inserted = nullptr);
    // Removes the contact stored at its position (or the given one); false (logged, the
    // tree unchanged) when it is not there.
    bool removeContact(const std::shared_ptr<LumoraContact>& contact);
    bool removeContact(const std::shared_ptr<LumoraContact>& contact, const WorldCoords& at);
    // Counts the contact (stored at at) as online or not by its status now; true when
    // that changed.
    bool refreshStatus(const std::shared_ptr<LumoraContact>& contact, const WorldCoords& at);
    // Contacts stored, and nodes in use (every occupied square down to the leaves).
    int size();
    int nodeCount();

    // The draw items for a view of width x height pixels centred on the world pixel centre
    // at the zoom; true when they differ from the previous traversal's.
    bool doTraversal(int blockSide, int zoom, const MercatorCoords& centre, int width, int height);
    // Draws the items of the last traversal.
    void render(IDrawContext* dc);
    // The view point of a group from its coordinate sums; false (logged) when the zoom
    // leaves no resolution.
    bool fromTreeToDisplCoordinates(std::int64_t sumX, std::int64_t sumY, int count, int zoom,
                                    const MercatorCoords& centre, int width, int height,
                                    MercatorCoords& out);
    // The first item whose squared distance to point is below radius^2.
    bool hitTest(const MercatorCoords& point, int radius, MercatorCoords& out, DrawItem& item);
    // A single item: its contact, false. A group: every contact of its cells (leaves
    // breadth-first, contacts in stored order), true.
    bool getInformationAboutNode(const DrawItem& item, LumoraContact::ContactList& contacts);
    std::vector<DrawItem> getItems();
    kestra::Mutex& getLock() { return lock_; }

private:
    // A contact stored in a leaf; a leaf's entries form a list in the entry pool, in the
    // order they were stored.
    struct Entry {
        std::shared_ptr<LumoraContact> contact;
        WorldCoords at;    // where it was inserted (and is drawn)
        MercatorCoords p;  // at in tree coordinates
        bool online = false;
        std::int32_t next = -1;
    };
    struct Node {
        Cell cell;
        std::int32_t kind = 1;  // 1 inner, 0 leaf (holding its contacts)
        std::int32_t count = 0;
        std::int32_t online = 0;
        std::int64_t sumX = 0;
        std::int64_t sumY = 0;
        std::int32_t branches[4] = {-1, -1, -1, -1};
        std::int32_t first = -1;  // a leaf's entries, first and last
        std::int32_t last = -1;
    };

    bool project(const WorldCoords& at, MercatorCoords& p) const;
    static int quadrant(const Cell& square, const MercatorCoords& p);
    static Cell quadrantCell(const Cell& square, int index);
    static bool inside(const Cell& square, const MercatorCoords& p);
    std::int32_t newNode(const Cell& cell);
    std::int32_t newEntry(const std::shared_ptr<LumoraContact>& contact, const WorldCoords& at,
                          const MercatorCoords& p);
    void append(std::int32_t node, std::int32_t entry);
    void addCounts(std::int32_t node, const MercatorCoords& p, bool online, int sign);
    // Insertion of a pool entry at p (under the lock).
    void insertAt(std::int32_t entry, const MercatorCoords& p, bool online);
    std::int32_t newLeaf(const Cell& cell, std::int32_t entry, const MercatorCoords& p,
                         bool online);
    void split(std::int32_t index);
    void freeSubtree(std::int32_t index);
    // The entry of the contact in a leaf, or -1.
    std::int32_t findEntry(std::int32_t leaf, const LumoraContact* contact) const;
    // The nodes from the root to the leaf holding the contact, or empty (logged).
    std::vector<std::int32_t> pathTo(const LumoraContact* contact, const MercatorCoords& p,
                                     const char* badCoordinates);
    std::int64_t levelDifference(int zoom, const char* tooDeep, const char* zero);
    Rect toMapPixels(const Cell& square, std::int64_t d, int blockSide) const;
    void emitSubtree(std::int32_t index, int zoom, std::vector<std::int32_t>& emitted);
    bool makeItem(std::int32_t index, int blockSide, int zoom, const MercatorCoords& centre,
                  int width, int height, DrawItem& item);
    std::int32_t firstLeafBelow(std::int32_t index) const;
    void merge(std::vector<DrawItem>& items) const;
    std::int32_t findNode(const Cell& cell) const;
    void collectContacts(std::int32_t index, LumoraContact::ContactList& contacts);
    static bool sameItems(const std::vector<DrawItem>& a, const std::vector<DrawItem>& b);

    kestra::Mutex lock_;
    int levelsNum_ = 0;
    std::int64_t worldSide_ = 0;
    int mergeDistance_ = 0;
    IDrawContact* drawer_ = nullptr;
    std::vector<Node> nodes_;  // nodes_[0] is the root
    std::vector<std::int32_t> freeNodes_;
    std::vector<Entry> entries_;
    std::vector<std::int32_t> freeEntries_;
    std::vector<DrawItem> items_;  // the snapshot of the last traversal
    int blockSide_ = 0;
};
