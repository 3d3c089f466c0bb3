#include "client/view/QuadTree.h"

#include <algorithm>
#include <cmath>
#include <deque>

#include "kestra/Log.h"

using kestra::Log;

namespace {

bool countsAsOnline(int status) {
    return status != LumoraContact::STATUS_UNAVAILABLE && status != LumoraContact::STATUS_OFFLINE;
}

}  // namespace

QuadTree::QuadTree() = default;

void QuadTree::init(int levelsNum, int mergeDistance, IDrawContact* drawer) {
    kestra::Mutex::Locker lock(lock_);
    levelsNum_ = levelsNum + ADDITION_LEVELS_NUM;
    mergeDistance_ = mergeDistance;
    drawer_ = drawer;
    if (levelsNum_ > MAX_LEVELS_NUM) {
        Log::error("QuadTree::init: _levelsNum > MAX_LEVELS_NUM.");
    }
    worldSide_ = static_cast<std::int64_t>(std::pow(2.0, levelsNum_ - 1));
    nodes_.clear();
    freeNodes_.clear();
    entries_.clear();
    freeEntries_.clear();
    items_.clear();
    Cell root;
    root.right = static_cast<std::int32_t>(std::min<std::int64_t>(worldSide_, INT32_MAX));
    root.bottom = root.right;
    root.level = 1;
    newNode(root);
}

int QuadTree::size() {
    kestra::Mutex::Locker lock(lock_);
    return nodes_.empty() ? 0 : nodes_[0].count;
}

int QuadTree::nodeCount() {
    kestra::Mutex::Locker lock(lock_);
    return static_cast<int>(nodes_.size() - freeNodes_.size());
}

// ---- Geometry ----

bool QuadTree::project(const WorldCoords& at, MercatorCoords& p) const {
    p.x = -1;  // stays outside the world when the projection refuses the level
    p.y = -1;
    worldToMercatorProjectionCoords(levelsNum_, at, p, 1);
    return !nodes_.empty() && inside(nodes_[0].cell, p);
}

bool QuadTree::inside(const Cell& s, const MercatorCoords& p) {
    return p.x >= s.left && p.x < s.right && p.y >= s.top && p.y < s.bottom;
}

int QuadTree::quadrant(const Cell& s, const MercatorCoords& p) {
    const std::int32_t hx = (s.right - s.left) / 2;
    const std::int32_t hy = (s.bottom - s.top) / 2;
    return (p.y >= s.top + hy ? 2 : 0) + (p.x >= s.left + hx ? 1 : 0);
}

QuadTree::Cell QuadTree::quadrantCell(const Cell& s, int index) {
    const std::int32_t hx = (s.right - s.left) / 2;
    const std::int32_t hy = (s.bottom - s.top) / 2;
    Cell c = s;
    c.level = s.level + 1;
    if ((index & 1) == 0) {
        c.right = s.left + hx;
    } else {
        c.left = s.left + hx;
    }
    if ((index & 2) == 0) {
        c.bottom = s.top + hy;
    } else {
        c.top = s.top + hy;
    }
    return c;
}

std::int32_t QuadTree::newNode(const Cell& cell) {
    Node node;
    node.cell = cell;
    if (!freeNodes_.empty()) {
        const std::int32_t index = freeNodes_.back();
        freeNodes_.pop_back();
        nodes_[static_cast<std::size_t>(index)] = node;
        return index;
    }
    nodes_.push_back(node);
    return static_cast<std::int32_t>(nodes_.size() - 1);
}

std::int32_t QuadTree::newEntry(const std::shared_ptr<LumoraContact>& contact,
                                const WorldCoords& at, const MercatorCoords& p) {
    Entry entry;
    entry.contact = contact;
    entry.at = at;
    entry.p = p;
    entry.online = countsAsOnline(contact->getStatus());
    if (!freeEntries_.empty()) {
        const std::int32_t index = freeEntries_.back();
        freeEntries_.pop_back();
        entries_[static_cast<std::size_t>(index)] = std::move(entry);
        return index;
    }
    entries_.push_back(std::move(entry));
    return static_cast<std::int32_t>(entries_.size() - 1);
}

void QuadTree::append(std::int32_t node, std::int32_t entry) {
    Node& leaf = nodes_[static_cast<std::size_t>(node)];
    leaf.kind = 0;
    entries_[static_cast<std::size_t>(entry)].next = -1;
    if (leaf.last >= 0) {
        entries_[static_cast<std::size_t>(leaf.last)].next = entry;
    } else {
        leaf.first = entry;
    }
    leaf.last = entry;
}

void QuadTree::addCounts(std::int32_t node, const MercatorCoords& p, bool online, int sign) {
    Node& n = nodes_[static_cast<std::size_t>(node)];
    n.count += sign;
    n.sumX += sign * static_cast<std::int64_t>(p.x);
    n.sumY += sign * static_cast<std::int64_t>(p.y);
    n.online += online ? sign : 0;
}

void QuadTree::freeSubtree(std::int32_t index) {
    std::vector<std::int32_t> stack{index};
    while (!stack.empty()) {
        const std::int32_t n = stack.back();
        stack.pop_back();
        Node& node = nodes_[static_cast<std::size_t>(n)];
        for (std::int32_t& b : node.branches) {
            if (b >= 0) {
                stack.push_back(b);
                b = -1;
            }
        }
        for (std::int32_t e = node.first; e >= 0;) {
            Entry& entry = entries_[static_cast<std::size_t>(e)];
            const std::int32_t next = entry.next;
            entry.contact.reset();
            freeEntries_.push_back(e);
            e = next;
        }
        node.first = -1;
        node.last = -1;
        freeNodes_.push_back(n);
    }
}

std::int32_t QuadTree::findEntry(std::int32_t leaf, const LumoraContact* contact) const {
    for (std::int32_t e = nodes_[static_cast<std::size_t>(leaf)].first; e >= 0;
         e = entries_[static_cast<std::size_t>(e)].next) {
        if (entries_[static_cast<std::size_t>(e)].contact.get() == contact) {
            return e;
        }
    }
    return -1;
}

// ---- Insertion and removal ----

bool QuadTree::addEllement(const std::shared_ptr<LumoraContact>& contact) {
    return contact != nullptr && addEllement(contact, contact->getPosition());
}

bool QuadTree::addEllement(const std::shared_ptr<LumoraContact>& contact, const WorldCoords& at) {
    kestra::Mutex::Locker lock(lock_);
    MercatorCoords p;
    if (contact == nullptr || !project(at, p)) {
        Log::error(L"QuadTree::addEllement bad coordinates: " +
                   (contact != nullptr ? contact->getJid() : std::wstring()));
        return false;
    }
    const std::int32_t entry = newEntry(contact, at, p);
    insertAt(entry, p, entries_[static_cast<std::size_t>(entry)].online);
    return true;
}

namespace {

// Spreads the low 32 bits of v to the even bits of the result.
std::uint64_t spread(std::uint64_t v) {
    v &= 0xFFFFFFFFu;
    v = (v | (v << 16)) & 0x0000FFFF0000FFFFull;
    v = (v | (v << 8)) & 0x00FF00FF00FF00FFull;
    v = (v | (v << 4)) & 0x0F0F0F0F0F0F0F0Full;
    v = (v | (v << 2)) & 0x3333333333333333ull;
    v = (v | (v << 1)) & 0x5555555555555555ull;
    return v;
}

// The position of a point along the tree's order (Morton order: the bits of x and y
// interleaved), so that points that share a path sort next to each other.
std::uint64_t treeOrder(const MercatorCoords& p) {
    return spread(static_cast<std::uint32_t>(p.x)) | (spread(static_cast<std::uint32_t>(p.y)) << 1);
}

}  // namespace

int QuadTree::addEllements(const std::vector<Placed>& contacts, std::vector<bool>* inserted) {
    kestra::Mutex::Locker lock(lock_);
    // The contacts are read once, in their own order; the tree is then filled in its own
    // order from the entries alone.
    struct Keyed {
        std::uint64_t key;
        MercatorCoords p;
        std::int32_t entry;
        bool online;
    };
    std::vector<Keyed> keyed;
    keyed.reserve(contacts.size());
    entries_.reserve(entries_.size() + contacts.size());
    if (inserted != nullptr) {
        inserted->assign(contacts.size(), false);
    }
    for (const Placed& placed : contacts) {
        MercatorCoords p;
        if (placed.contact == nullptr || !project(placed.at, p)) {
            Log::error(L"QuadTree::addEllement bad coordinates: " +
                       (placed.contact != nullptr ? placed.contact->getJid() : std::wstring()));
            continue;
        }
        if (inserted != nullptr) {
            (*inserted)[static_cast<std::size_t>(&placed - contacts.data())] = true;
        }
        const std::int32_t entry = newEntry(placed.contact, placed.at, p);
        keyed.push_back({treeOrder(p), p, entry, entries_[static_cast<std::size_t>(entry)].online});
    }
    std::sort(keyed.begin(), keyed.end(),
              [](const Keyed& a, const Keyed& b) { return a.key < b.key; });
    nodes_.reserve(nodes_.size() + keyed.size() * 2);
    for (const Keyed& k : keyed) {
        insertAt(k.entry, k.p, k.online);
    }
    return static_cast<int>(keyed.size());
}

std::int32_t QuadTree::newLeaf(const Cell& cell, std::int32_t entry, const MercatorCoords& p,
                               bool online) {
    const std::int32_t index = newNode(cell);
    addCounts(index, p, online, 1);
    append(index, entry);
    return index;
}

// A leaf above the deepest level holds one contact; a second one arriving there splits
// it: the first moves one level down and both go on until their ways part.
void QuadTree::split(std::int32_t index) {
    Node& node = nodes_[static_cast<std::size_t>(index)];
    const std::int32_t moved = node.first;
    node.first = -1;
    node.last = -1;
    node.kind = 1;
    const Entry& entry = entries_[static_cast<std::size_t>(moved)];
    const int q = quadrant(node.cell, entry.p);
    const Cell child = quadrantCell(node.cell, q);
    const std::int32_t branch = newLeaf(child, moved, entry.p, entry.online);  // may move nodes_
    nodes_[static_cast<std::size_t>(index)].branches[q] = branch;
}

void QuadTree::insertAt(std::int32_t entry, const MercatorCoords& p, bool online) {
    std::int32_t index = 0;
    for (;;) {
        addCounts(index, p, online, 1);
        if (nodes_[static_cast<std::size_t>(index)].cell.level >= levelsNum_) {
            append(index, entry);  // the deepest level keeps every contact of its square
            return;
        }
        if (nodes_[static_cast<std::size_t>(index)].kind == 0) {
            split(index);
        }
        const Node& node = nodes_[static_cast<std::size_t>(index)];
        const int q = quadrant(node.cell, p);
        const std::int32_t branch = node.branches[q];
        if (branch < 0) {
            const Cell child = quadrantCell(node.cell, q);
            const std::int32_t leaf = newLeaf(child, entry, p, online);  // may move nodes_
            nodes_[static_cast<std::size_t>(index)].branches[q] = leaf;
            return;
        }
        index = branch;
    }
}

std::vector<std::int32_t> QuadTree::pathTo(const LumoraContact* contact, const MercatorCoords& p,
                                           const char* badCoordinates) {
    std::vector<std::int32_t> path;
    if (nodes_.empty() || !inside(nodes_[0].cell, p)) {
        Log::error(badCoordinates);
        return path;
    }
    std::int32_t index = 0;
    path.push_back(index);
    while (nodes_[static_cast<std::size_t>(index)].kind != 0) {
        const Node& node = nodes_[static_cast<std::size_t>(index)];
        const int q = quadrant(node.cell, p);
        if (node.branches[q] < 0) {
            Log::error("QuadTree::fiendNodeByContactTreeCoordinates tmpPtr->branches[" +
                       std::to_string(q) + "] == NULL");
            return {};
        }
        index = node.branches[q];
        path.push_back(index);
    }
    if (findEntry(index, contact) < 0) {
        Log::error("QuadTree::removeContact contact not found at its coordinates.");
        return {};
    }
    return path;
}

bool QuadTree::removeContact(const std::shared_ptr<LumoraContact>& contact) {
    return contact != nullptr && removeContact(contact, contact->getPosition());
}

bool QuadTree::removeContact(const std::shared_ptr<LumoraContact>& contact, const WorldCoords& at) {
    kestra::Mutex::Locker lock(lock_);
    MercatorCoords p;
    project(at, p);
    const std::vector<std::int32_t> path =
        pathTo(contact.get(), p, "QuadTree::removeContact bad coordinates.");
    if (path.empty()) {
        return false;
    }
    const std::int32_t leaf = path.back();
    const std::int32_t entry = findEntry(leaf, contact.get());
    const bool online = entries_[static_cast<std::size_t>(entry)].online;
    for (std::size_t k = 0; k < path.size(); ++k) {
        if (k > 0 && nodes_[static_cast<std::size_t>(path[k])].count == 1) {
            // The contact was the only one below: the branch goes (and the entry with it).
            for (std::int32_t& b : nodes_[static_cast<std::size_t>(path[k - 1])].branches) {
                if (b == path[k]) {
                    b = -1;
                }
            }
            freeSubtree(path[k]);
            return true;
        }
        addCounts(path[k], p, online, -1);
    }
    // Out of a leaf that keeps other contacts.
    Node& node = nodes_[static_cast<std::size_t>(leaf)];
    std::int32_t previous = -1;
    for (std::int32_t e = node.first; e >= 0;
         previous = e, e = entries_[static_cast<std::size_t>(e)].next) {
        if (e == entry) {
            const std::int32_t next = entries_[static_cast<std::size_t>(e)].next;
            (previous >= 0 ? entries_[static_cast<std::size_t>(previous)].next : node.first) = next;
            if (node.last == e) {
                node.last = previous;
            }
            break;
        }
    }
    entries_[static_cast<std::size_t>(entry)].contact.reset();
    freeEntries_.push_back(entry);
    return true;
}

bool QuadTree::refreshStatus(const std::shared_ptr<LumoraContact>& contact, const WorldCoords& at) {
    kestra::Mutex::Locker lock(lock_);
    MercatorCoords p;
    if (contact == nullptr || !project(at, p)) {
        return false;
    }
    const std::vector<std::int32_t> path =
        pathTo(contact.get(), p, "QuadTree::refreshStatus bad coordinates.");
    if (path.empty()) {
        return false;
    }
    Entry& entry = entries_[static_cast<std::size_t>(findEntry(path.back(), contact.get()))];
    const bool online = countsAsOnline(contact->getStatus());
    if (entry.online == online) {
        return false;
    }
    entry.online = online;
    for (std::int32_t index : path) {
        nodes_[static_cast<std::size_t>(index)].online += online ? 1 : -1;
    }
    return true;
}
