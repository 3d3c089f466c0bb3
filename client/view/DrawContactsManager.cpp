#include "client/view/DrawContactsManager.h"

#include <algorithm>
#include <set>

#include "client/contacts/UserContactProfile.h"
#include "kestra/Log.h"

using kestra::Log;

namespace {

constexpr unsigned int PASS_SLEEP_MS = 10;
constexpr double MOVE_METRES = 1.0;

bool countsAsOnline(int status) {
    return status != LumoraContact::STATUS_UNAVAILABLE && status != LumoraContact::STATUS_OFFLINE;
}

}  // namespace

DrawContactsManager::DrawContactsManager(LumoraContact::ContactMap& contacts,
                                         kestra::Mutex& contactsLock, IDrawContactsToMap* view)
    : contacts_(contacts),
      contactsLock_(contactsLock),
      view_(view),
      thread_(this, L"Draw contacts manager") {}

DrawContactsManager::~DrawContactsManager() {
    stop();
}

void DrawContactsManager::start() {
    if (thread_.isRunning()) {
        return;
    }
    keepRunning_ = true;
    thread_.start();
}

void DrawContactsManager::stop() {
    keepRunning_ = false;
    while (thread_.isRunning()) {
        kestra::Thread::sleep(PASS_SLEEP_MS);
    }
}

std::wstring DrawContactsManager::displayName(const LumoraContact& contact) {
    const std::wstring nick = contact.getNick();
    return nick.empty() ? contact.getGid() : nick;
}

// ---- The thread ----

void DrawContactsManager::setUp() {
    int cw = 0;
    int ch = 0;
    int gw = 0;
    int gh = 0;
    if (view_ == nullptr) {
        Log::error("DrawContactsManager::run _view == NULL.");
    } else {
        view_->getImageSizes(cw, ch, gw, gh);
    }
    contactWidth_ = cw;
    contactHeight_ = ch;
    groupWidth_ = gw;
    groupHeight_ = gh;
    std::vector<QuadTree::Placed> placed;
    {
        kestra::Mutex::Locker lock(contactsLock_);
        for (const auto& entry : contacts_) {
            if (entry.second && entry.second->hasPosition()) {
                placed.push_back({entry.second, entry.second->getPosition()});
            }
        }
    }
    kestra::Mutex::Locker lock(positionsLock_);
    tree_.init(TREE_LEVELS, std::max(cw, ch), this);
    remembered_.clear();
    std::vector<bool> inserted;
    tree_.addEllements(placed, &inserted);  // all at once: the tree is filled in its own order
    for (std::size_t i = 0; i < placed.size(); ++i) {
        if (inserted[i]) {
            const auto& contact = placed[i].contact;
            remembered_[contact->getJid()] = {contact, placed[i].at,
                                              countsAsOnline(contact->getStatus())};
        }
    }
    treeReady_ = true;
    dirty_ = true;
}

void DrawContactsManager::run() {
    running_ = true;
    setUp();
    while (keepRunning_) {
        const bool changed = pass();
        if (changed || dirty_) {
            ViewParams v;
            if (view_ != nullptr &&
                view_->getViewParams(v.centre, v.zoom, v.blockSide, v.width, v.height)) {
                const bool wasDirty = dirty_.exchange(false);
                view_->onTraversalStart();
                const bool itemsChanged =
                    traverse(v.centre, v.zoom, v.blockSide, v.width, v.height);
                if (wasDirty || itemsChanged) {
                    view_->repaintContacts();
                }
            }
        }
        ++passes_;
        kestra::Thread::sleep(PASS_SLEEP_MS);
    }
    treeReady_ = false;
    running_ = false;
}

// One look at every contact; true when the tree changed.
bool DrawContactsManager::pass() {
    LumoraContact::ContactList present;
    {
        kestra::Mutex::Locker lock(contactsLock_);
        present.reserve(contacts_.size());
        for (const auto& entry : contacts_) {
            present.push_back(entry.second);
        }
    }
    ViewParams v;
    const bool haveView =
        view_ != nullptr && view_->getViewParams(v.centre, v.zoom, v.blockSide, v.width, v.height);
    kestra::Mutex::Locker lock(positionsLock_);
    bool changed = false;
    std::set<const LumoraContact*> inMap;
    for (const std::shared_ptr<LumoraContact>& contact : present) {
        if (!contact) {
            continue;
        }
        inMap.insert(contact.get());
        const std::wstring jid = contact->getJid();
        auto it = remembered_.find(jid);
        if (it == remembered_.end() || it->second.contact != contact) {
            if (it != remembered_.end()) {
                tree_.removeContact(it->second.contact, it->second.position);
                remembered_.erase(it);
                changed = true;
            }
            changed = insert(contact) || changed;
            continue;
        }
        changed = moved(it->second, haveView ? &v : nullptr) || changed;
        const bool online = countsAsOnline(contact->getStatus());
        if (online != it->second.online && tree_.refreshStatus(contact, it->second.position)) {
            changed = true;
        }
        it->second.online = online;
    }
    // Contacts no longer in the map leave the map view too.
    for (auto it = remembered_.begin(); it != remembered_.end();) {
        if (inMap.count(it->second.contact.get()) == 0) {
            tree_.removeContact(it->second.contact, it->second.position);
            it = remembered_.erase(it);
            changed = true;
        } else {
            ++it;
        }
    }
    return changed;
}

bool DrawContactsManager::insert(const std::shared_ptr<LumoraContact>& contact) {
    if (!contact->hasPosition()) {
        return false;
    }
    const WorldCoords position = contact->getPosition();
    if (!tree_.addEllement(contact, position)) {
        return false;
    }
    remembered_[contact->getJid()] = {contact, position, countsAsOnline(contact->getStatus())};
    return true;
}

// An online contact that moved more than a metre, where the old or the new place is in
// view, goes to its new place in the tree.
bool DrawContactsManager::moved(Remembered& remembered, const ViewParams* v) {
    const std::shared_ptr<LumoraContact>& contact = remembered.contact;
    if (v == nullptr || !contact->hasPosition() ||
        contact->getStatus() != LumoraContact::STATUS_ONLINE) {
        return false;
    }
    const WorldCoords now = contact->getPosition();
    if (!isVisible(v->centre, v->zoom, v->blockSide, v->width, v->height, remembered.position) &&
        !isVisible(v->centre, v->zoom, v->blockSide, v->width, v->height, now)) {
        return false;
    }
    if (distanceInMeters(remembered.position, now) <= MOVE_METRES) {
        return false;
    }
    tree_.removeContact(contact, remembered.position);
    if (tree_.addEllement(contact, now)) {
        remembered.position = now;
    } else {
        remembered_.erase(contact->getJid());  // now outside the world: no longer drawn
    }
    return true;
}

void DrawContactsManager::addDrawContact(const std::shared_ptr<LumoraContact>& contact) {
    if (!contact) {
        Log::error("DrawContactsManager::addDrawContact contact == NULL.");
        return;
    }
    if (treeReady_) {
        kestra::Mutex::Locker lock(positionsLock_);
        if (remembered_.find(contact->getJid()) == remembered_.end() && insert(contact) &&
            view_ != nullptr) {
            view_->repaintContacts();
        }
    }
    dirty_ = true;
}

void DrawContactsManager::removeDrawContact(const std::shared_ptr<LumoraContact>& contact) {
    if (!contact) {
        return;
    }
    kestra::Mutex::Locker lock(positionsLock_);
    auto it = remembered_.find(contact->getJid());
    if (it != remembered_.end()) {
        tree_.removeContact(it->second.contact, it->second.position);
        remembered_.erase(it);
    }
    dirty_ = true;
}

// ---- Traversal, drawing and hit tests ----

bool DrawContactsManager::traverse(const MercatorCoords& centre, int zoom, int blockSide, int width,
                                   int height) {
    kestra::Mutex::Locker lock(drawLock_);
    traversed_ = {centre, zoom, blockSide, width, height};
    enlargedWidth_ = width + contactWidth_;
    enlargedHeight_ = height + contactHeight_;
    return tree_.doTraversal(blockSide, zoom, centre, enlargedWidth_, enlargedHeight_);
}

// From the points of the last traversal (an enlarged view around its centre) to a view of
// width x height around centre: exact, since both are offsets of the same world pixels.
MercatorCoords DrawContactsManager::offsetFor(const MercatorCoords& centre, int width,
                                              int height) const {
    MercatorCoords offset;
    offset.x = traversed_.centre.x - centre.x + width / 2 - enlargedWidth_ / 2;
    offset.y = traversed_.centre.y - centre.y + height / 2 - enlargedHeight_ / 2;
    return offset;
}

void DrawContactsManager::render(const MercatorCoords& centre, int zoom, int width, int height,
                                 IDrawContext* dc) {
    kestra::Mutex::Locker lock(drawLock_);
    if (zoom != traversed_.zoom) {
        return;  // the traversal for this zoom is still to come
    }
    offset_ = offsetFor(centre, width, height);
    tree_.render(dc);
}

void DrawContactsManager::draw(const std::shared_ptr<LumoraContact>& contact,
                               const MercatorCoords& point, int count, int onlineCount,
                               IDrawContext* dc) {
    if (view_ == nullptr) {
        return;
    }
    MercatorCoords at;
    at.x = point.x + offset_.x;
    at.y = point.y + offset_.y;
    if (count != 1 || !contact) {
        const int kind = onlineCount == count ? IDrawContactsToMap::GROUP_ALL_ONLINE
                         : onlineCount == 0   ? IDrawContactsToMap::GROUP_NONE_ONLINE
                                              : IDrawContactsToMap::GROUP_SOME_ONLINE;
        view_->darwImgToTheMap(std::to_wstring(count), 0, kind, at, dc);
        return;
    }
    const int kind = countsAsOnline(contact->getStatus()) ? IDrawContactsToMap::CONTACT_ONLINE
                                                          : IDrawContactsToMap::CONTACT_OFFLINE;
    view_->darwImgToTheMap(displayName(*contact), 0, kind, at, dc);
}

int DrawContactsManager::hitTest(int zoom, const MercatorCoords& centre,
                                 const MercatorCoords& viewPoint, int /*blockSide*/, int width,
                                 int height, LumoraContact::ContactList& contacts,
                                 MercatorCoords& point) {
    kestra::Mutex::Locker lock(drawLock_);
    if (zoom != traversed_.zoom) {
        return HIT_NONE;
    }
    const MercatorCoords offset = offsetFor(centre, width, height);
    MercatorCoords inTraversal;
    inTraversal.x = viewPoint.x - offset.x;
    inTraversal.y = viewPoint.y - offset.y;
    const int radius = (contactWidth_ + contactHeight_) / 4;
    QuadTree::DrawItem item;
    MercatorCoords found;
    if (!tree_.hitTest(inTraversal, radius, found, item)) {
        return HIT_NONE;
    }
    point.x = found.x + offset.x;
    point.y = found.y + offset.y;
    return tree_.getInformationAboutNode(item, contacts) ? HIT_GROUP : HIT_CONTACT;
}

bool DrawContactsManager::isOwnMarkerVisible(const MercatorCoords& p, int width, int height) {
    const int w = contactWidth_;
    const int h = contactHeight_;
    return p.x - w / 2 <= width && p.y - h / 2 <= height && p.x + w / 2 >= 0 && p.y + h / 2 >= 0;
}

void DrawContactsManager::drawOwnMarker(const UserContactProfile& profile,
                                        const MercatorCoords& viewPoint, IDrawContext* dc) {
    if (view_ == nullptr) {
        return;
    }
    const int kind = profile.getStatus() == LumoraContact::STATUS_OFFLINE
                         ? IDrawContactsToMap::OWN_OFFLINE
                         : IDrawContactsToMap::OWN_ONLINE;
    view_->darwImgToTheMap(displayName(profile), 0, kind, viewPoint, dc);
}
