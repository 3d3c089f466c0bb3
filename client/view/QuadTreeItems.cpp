// The draw items of the contact quad tree: traversal, merging, drawing and hit tests.
#include <cmath>
#include <deque>

#include "client/view/QuadTree.h"
#include "kestra/Log.h"

using kestra::Log;

std::int64_t QuadTree::levelDifference(int zoom, const char* tooDeep, const char* zero) {
    const int exponent = levelsNum_ - ADDITION_LEVELS_NUM - zoom;
    std::int64_t d = 0;
    if (exponent >= MAX_LEVELS_NUM) {
        Log::error(tooDeep);
        d = static_cast<std::int64_t>(std::pow(2.0, exponent));
    } else if (exponent >= 0) {
        d = static_cast<std::int64_t>(1) << exponent;
    }
    if (d == 0) {
        Log::error(zero);
    }
    return d;
}

Rect QuadTree::toMapPixels(const Cell& s, std::int64_t d, int blockSide) const {
    // Map pixels of a cell at the zoom: ((t / d) * B) / 2^ADDITION_LEVELS_NUM.
    auto v = [&](std::int32_t t) {
        const std::int64_t value = ((t / d) * blockSide) / (1 << ADDITION_LEVELS_NUM);
        return static_cast<std::int32_t>(
            std::max<std::int64_t>(INT32_MIN, std::min<std::int64_t>(INT32_MAX, value)));
    };
    return Rect(v(s.left), v(s.top), v(s.right), v(s.bottom));
}

// A node wholly inside the view: its cells at the grouping level zoom + 2.
void QuadTree::emitSubtree(std::int32_t index, int zoom, std::vector<std::int32_t>& emitted) {
    std::deque<std::int32_t> queue{index};
    while (!queue.empty()) {
        const Node& node = nodes_[static_cast<std::size_t>(queue.front())];
        const std::int32_t current = queue.front();
        queue.pop_front();
        if (node.kind != 0 && node.cell.level - ADDITION_LEVELS_NUM < zoom) {
            for (std::int32_t b : node.branches) {
                if (b >= 0) {
                    queue.push_back(b);
                }
            }
        } else {
            emitted.push_back(current);  // a cell of the grouping level, or a leaf above it
        }
    }
}

std::int32_t QuadTree::firstLeafBelow(std::int32_t index) const {
    while (nodes_[static_cast<std::size_t>(index)].kind != 0) {
        std::int32_t next = -1;
        for (std::int32_t b : nodes_[static_cast<std::size_t>(index)].branches) {
            if (b >= 0) {
                next = b;
                break;
            }
        }
        if (next < 0) {
            return -1;
        }
        index = next;
    }
    return index;
}

bool QuadTree::makeItem(std::int32_t index, int blockSide, int zoom, const MercatorCoords& centre,
                        int width, int height, DrawItem& item) {
    const Node& node = nodes_[static_cast<std::size_t>(index)];
    if (node.count < 2) {
        const std::int32_t leafIndex = firstLeafBelow(index);
        if (leafIndex < 0) {
            return false;
        }
        const Node& leaf = nodes_[static_cast<std::size_t>(leafIndex)];
        if (leaf.first < 0) {
            return false;
        }
        const Entry& first = entries_[static_cast<std::size_t>(leaf.first)];
        MercatorCoords point;
        worldToMercatorProjectionCoords(zoom, first.at, point, blockSide);
        worldToScreen(centre, point, item.point, width, height);
        item.type = SINGLE;
        item.count = 1;
        item.online = first.online ? 1 : 0;
        item.contact = first.contact;
        item.cells = {leaf.cell};
    } else {
        if (!fromTreeToDisplCoordinates(node.sumX, node.sumY, node.count, zoom, centre, width,
                                        height, item.point)) {
            return false;
        }
        item.type = GROUP;
        item.count = node.count;
        item.online = node.online;
        item.cells = {node.cell};
    }
    return item.point.x >= 0 && item.point.x < width && item.point.y >= 0 && item.point.y < height;
}

// Items closer than the merge distance become one, at the running midpoint of its members.
void QuadTree::merge(std::vector<DrawItem>& items) const {
    const std::int64_t limit = static_cast<std::int64_t>(mergeDistance_) * mergeDistance_;
    std::vector<bool> gone(items.size(), false);
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (gone[i]) {
            continue;
        }
        for (std::size_t j = i + 1; j < items.size(); ++j) {
            if (gone[j]) {
                continue;
            }
            const std::int64_t dx = items[i].point.x - items[j].point.x;
            const std::int64_t dy = items[i].point.y - items[j].point.y;
            if (dx * dx + dy * dy >= limit) {
                continue;
            }
            DrawItem& into = items[i];
            into.point.x = (items[j].point.x + into.point.x) / 2;
            into.point.y = (items[j].point.y + into.point.y) / 2;
            into.type = MERGED;
            into.contact.reset();
            into.count += items[j].count;
            into.online += items[j].online;
            into.cells.insert(into.cells.end(), items[j].cells.begin(), items[j].cells.end());
            gone[j] = true;
            j = i;  // the scan starts again right after i
        }
    }
    std::vector<DrawItem> kept;
    kept.reserve(items.size());
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (!gone[i]) {
            kept.push_back(std::move(items[i]));
        }
    }
    items.swap(kept);
}

bool QuadTree::sameItems(const std::vector<DrawItem>& a, const std::vector<DrawItem>& b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (a[i].type != b[i].type || a[i].point != b[i].point || a[i].count != b[i].count ||
            a[i].online != b[i].online || a[i].contact != b[i].contact) {
            return false;
        }
    }
    return true;
}

bool QuadTree::doTraversal(int blockSide, int zoom, const MercatorCoords& centre, int width,
                           int height) {
    kestra::Mutex::Locker lock(lock_);
    blockSide_ = blockSide;
    std::vector<DrawItem> items;
    const std::int64_t d =
        nodes_.empty()
            ? 0
            : levelDifference(zoom,
                              "QuadTree::doTraversal: (_levelsNum - ADDITION_LEVELS_NUM) - zoom > "
                              "MAX_LEVELS_NUM.",
                              "QuadTree::doTraversal: difference == 0.");
    if (d != 0 && width > 0 && height > 0) {
        // Near the deepest zooms the centre is close to the 32-bit limit.
        auto clamp = [](std::int64_t v) {
            return static_cast<std::int32_t>(
                std::max<std::int64_t>(INT32_MIN, std::min<std::int64_t>(INT32_MAX, v)));
        };
        const Rect view(clamp(static_cast<std::int64_t>(centre.x) - width / 2),
                        clamp(static_cast<std::int64_t>(centre.y) - height / 2),
                        clamp(static_cast<std::int64_t>(centre.x) + width / 2),
                        clamp(static_cast<std::int64_t>(centre.y) + height / 2));
        std::vector<std::int32_t> emitted;
        std::deque<std::int32_t> queue{0};
        while (!queue.empty()) {
            const std::int32_t index = queue.front();
            queue.pop_front();
            const Node& node = nodes_[static_cast<std::size_t>(index)];
            const Rect r = toMapPixels(node.cell, d, blockSide);
            if (r.left >= view.left && r.top >= view.top && r.right <= view.right &&
                r.bottom <= view.bottom) {
                emitSubtree(index, zoom, emitted);
            } else if (r.intersects(view)) {
                if (node.kind != 0 && node.cell.level - ADDITION_LEVELS_NUM < zoom) {
                    for (std::int32_t b : node.branches) {
                        if (b >= 0) {
                            queue.push_back(b);
                        }
                    }
                } else {
                    emitted.push_back(index);
                }
            }
        }
        for (std::int32_t index : emitted) {
            DrawItem item;
            if (nodes_[static_cast<std::size_t>(index)].count > 0 &&
                makeItem(index, blockSide, zoom, centre, width, height, item)) {
                items.push_back(std::move(item));
            }
        }
        merge(items);
    }
    const bool changed = !sameItems(items, items_);
    items_.swap(items);
    return changed;
}

bool QuadTree::fromTreeToDisplCoordinates(std::int64_t sumX, std::int64_t sumY, int count, int zoom,
                                          const MercatorCoords& centre, int width, int height,
                                          MercatorCoords& out) {
    kestra::Mutex::Locker lock(lock_);
    const std::int64_t d = levelDifference(
        zoom,
        "QuadTree::fromTreeToDisplCoordinates: (_levelsNum - ADDITION_LEVELS_NUM) - zoom > "
        "MAX_LEVELS_NUM.",
        "QuadTree::fromTreeToDisplCoordinates: difference == 0.");
    if (d == 0 || count <= 0) {
        return false;
    }
    const double k = static_cast<double>(blockSide_) / (1 << ADDITION_LEVELS_NUM);
    const auto x = static_cast<std::int64_t>(static_cast<double>(sumX) / d * k);
    const auto y = static_cast<std::int64_t>(static_cast<double>(sumY) / d * k);
    MercatorCoords point;
    point.x = static_cast<std::int32_t>(x / count);
    point.y = static_cast<std::int32_t>(y / count);
    worldToScreen(centre, point, out, width, height);
    return true;
}

void QuadTree::render(IDrawContext* dc) {
    kestra::Mutex::Locker lock(lock_);
    if (drawer_ == nullptr) {
        return;
    }
    for (const DrawItem& item : items_) {
        if (item.type == SINGLE) {
            if (!item.contact) {
                Log::error("QuadTree::render: contactsList.size() == 0.");
                continue;
            }
            drawer_->draw(item.contact, item.point, 1, 0, dc);
        } else {
            drawer_->draw(nullptr, item.point, item.count, item.online, dc);
        }
    }
}

bool QuadTree::hitTest(const MercatorCoords& point, int radius, MercatorCoords& out,
                       DrawItem& item) {
    kestra::Mutex::Locker lock(lock_);
    const std::int64_t limit = static_cast<std::int64_t>(radius) * radius;
    for (const DrawItem& candidate : items_) {
        const std::int64_t dx = candidate.point.x - point.x;
        const std::int64_t dy = candidate.point.y - point.y;
        if (dx * dx + dy * dy < limit) {
            out = candidate.point;
            item = candidate;
            return true;
        }
    }
    return false;
}

std::int32_t QuadTree::findNode(const Cell& cell) const {
    if (nodes_.empty()) {
        return -1;
    }
    MercatorCoords inner;
    inner.x = cell.left;
    inner.y = cell.top;
    std::int32_t index = 0;
    while (nodes_[static_cast<std::size_t>(index)].cell.level < cell.level &&
           nodes_[static_cast<std::size_t>(index)].kind != 0) {
        const Node& node = nodes_[static_cast<std::size_t>(index)];
        index = node.branches[quadrant(node.cell, inner)];
        if (index < 0) {
            return -1;
        }
    }
    return index;
}

void QuadTree::collectContacts(std::int32_t index, LumoraContact::ContactList& contacts) {
    std::deque<std::int32_t> queue{index};
    while (!queue.empty()) {
        const Node& node = nodes_[static_cast<std::size_t>(queue.front())];
        queue.pop_front();
        if (node.kind == 0) {
            if (node.first < 0) {
                Log::error("QuadTree::getInformationAboutNode node->size() == 0.");
                continue;
            }
            for (std::int32_t e = node.first; e >= 0;
                 e = entries_[static_cast<std::size_t>(e)].next) {
                contacts.push_back(entries_[static_cast<std::size_t>(e)].contact);
            }
            continue;
        }
        for (std::int32_t b : node.branches) {
            if (b >= 0) {
                queue.push_back(b);
            }
        }
    }
}

bool QuadTree::getInformationAboutNode(const DrawItem& item, LumoraContact::ContactList& contacts) {
    kestra::Mutex::Locker lock(lock_);
    if (item.count < 2) {
        if (item.contact) {
            contacts.push_back(item.contact);
        }
        return false;
    }
    for (const Cell& cell : item.cells) {
        const std::int32_t index = findNode(cell);
        if (index >= 0) {
            collectContacts(index, contacts);
        }
    }
    return true;
}

std::vector<QuadTree::DrawItem> QuadTree::getItems() {
    kestra::Mutex::Locker lock(lock_);
    return items_;
}
