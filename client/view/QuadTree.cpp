#include "client/view/QuadTree.h"

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
    leaves_.clear();
    freeLeaves_.clear();
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
        if (node.leaf >= 0) {
            leaves_[static_cast<std::size_t>(node.leaf)].clear();
            freeLeaves_.push_back(node.leaf);
            node.leaf = -1;
        }
        freeNodes_.push_back(n);
    }
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
    const bool online = countsAsOnline(contact->getStatus());
    std::int32_t index = 0;
    for (;;) {
        Node& node = nodes_[static_cast<std::size_t>(index)];
        node.count += 1;
        node.sumX += p.x;
        node.sumY += p.y;
        node.online += online ? 1 : 0;
        if (node.cell.level >= levelsNum_) {
            break;
        }
        const int q = quadrant(node.cell, p);
        std::int32_t branch = node.branches[q];
        if (branch < 0) {
            const Cell child = quadrantCell(node.cell, q);
            branch = newNode(child);  // may move nodes_: node is not used after this
            nodes_[static_cast<std::size_t>(index)].branches[q] = branch;
        }
        index = branch;
    }
    Node& leaf = nodes_[static_cast<std::size_t>(index)];
    leaf.kind = 0;
    if (leaf.leaf < 0) {
        if (!freeLeaves_.empty()) {
            leaf.leaf = freeLeaves_.back();
            freeLeaves_.pop_back();
        } else {
            leaves_.emplace_back();
            leaf.leaf = static_cast<std::int32_t>(leaves_.size() - 1);
        }
    }
    leaves_[static_cast<std::size_t>(leaf.leaf)].push_back({contact, at, online});
    return true;
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
    while (nodes_[static_cast<std::size_t>(index)].cell.level < levelsNum_) {
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
    const Node& leaf = nodes_[static_cast<std::size_t>(index)];
    if (leaf.leaf >= 0) {
        for (const Entry& entry : leaves_[static_cast<std::size_t>(leaf.leaf)]) {
            if (entry.contact.get() == contact) {
                return path;
            }
        }
    }
    Log::error("QuadTree::removeContact contact not found at its coordinates.");
    return {};
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
    std::vector<Entry>& entries =
        leaves_[static_cast<std::size_t>(nodes_[static_cast<std::size_t>(path.back())].leaf)];
    bool online = false;
    for (auto it = entries.begin(); it != entries.end(); ++it) {
        if (it->contact == contact) {
            online = it->online;
            entries.erase(it);
            break;
        }
    }
    for (std::size_t k = 0; k < path.size(); ++k) {
        Node& node = nodes_[static_cast<std::size_t>(path[k])];
        if (k > 0 && node.count == 1) {
            // The contact was the only one below: the branch goes.
            Node& parent = nodes_[static_cast<std::size_t>(path[k - 1])];
            for (std::int32_t& b : parent.branches) {
                if (b == path[k]) {
                    b = -1;
                }
            }
            freeSubtree(path[k]);
            break;
        }
        node.count -= 1;
        node.sumX -= p.x;
        node.sumY -= p.y;
        node.online -= online ? 1 : 0;
    }
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
    const bool online = countsAsOnline(contact->getStatus());
    for (Entry& entry :
         leaves_[static_cast<std::size_t>(nodes_[static_cast<std::size_t>(path.back())].leaf)]) {
        if (entry.contact == contact && entry.online != online) {
            entry.online = online;
            for (std::int32_t index : path) {
                nodes_[static_cast<std::size_t>(index)].online += online ? 1 : -1;
            }
            return true;
        }
    }
    return false;
}
