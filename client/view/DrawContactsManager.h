#pragma once

#include <atomic>
#include <map>
#include <memory>
#include <string>

#include "client/contacts/LumoraContact.h"
#include "client/maps/CoordinateUtils.h"
#include "client/view/IDrawContact.h"
#include "client/view/IDrawContactsToMap.h"
#include "client/view/QuadTree.h"
#include "kestra/IRunnable.h"
#include "kestra/Mutex.h"
#include "kestra/Thread.h"

class UserContactProfile;

// Keeps the contact quad tree in step with the contacts' positions and with the view, on
// the thread "Draw contacts manager", and draws the tree's items through the map view.
//
// Each pass (every 10 ms) looks at every contact of the contact map: one that got a
// position is inserted; one that left the map is taken out; an online contact that moved
// more than a metre, where either place is in view, is re-inserted at its new place; a
// change of online state is counted. After any change, or after wake, the tree is
// traversed once for the view as it is and the view is asked to repaint when the items
// changed. The traversal covers the view enlarged by one contact image, so markers half
// outside are still drawn.
//
// States: constructed (thread not started) -> running (start) -> stopped (stop; can be
// started again). Locks: the positions lock guards the remembered positions and the pass;
// the drawing lock guards the last traversal's view (and render and hit test); the
// tree has its own. Order: positions, drawing, tree. The contact map is read only under
// its owner's lock, for a moment, to copy it.
class DrawContactsManager : public CoordinateUtils, public kestra::IRunnable, public IDrawContact {
public:
    static constexpr int TREE_LEVELS = 20;
    // Hit test results: the kinds of info window.
    enum HitKind { HIT_NONE = 0, HIT_GROUP = 7, HIT_CONTACT = 8 };

    DrawContactsManager(LumoraContact::ContactMap& contacts, kestra::Mutex& contactsLock,
                        IDrawContactsToMap* view);
    ~DrawContactsManager() override;
    DrawContactsManager(const DrawContactsManager&) = delete;
    DrawContactsManager& operator=(const DrawContactsManager&) = delete;

    void start();
    // Ends the passes and waits for the thread.
    void stop();
    bool isRunning() const { return running_; }

    // The next pass traverses even when nothing moved.
    void wake() { dirty_ = true; }
    // A contact that got a position: inserted now (when the thread runs) and drawn by the
    // next pass. A null contact is logged.
    void addDrawContact(const std::shared_ptr<LumoraContact>& contact);
    // A contact removed from the contact map: out of the tree now.
    void removeDrawContact(const std::shared_ptr<LumoraContact>& contact);

    // Traverses the tree for a view; true when the items changed.
    bool traverse(const MercatorCoords& centre, int zoom, int blockSide, int width, int height);
    // Draws the items of the last traversal into a view of width x height pixels centred on
    // centre at the zoom (items of another zoom are not drawn).
    void render(const MercatorCoords& centre, int zoom, int width, int height, IDrawContext* dc);
    // The item under viewPoint of the view: HIT_GROUP or HIT_CONTACT with its contacts and
    // its place in the view, or HIT_NONE.
    int hitTest(int zoom, const MercatorCoords& centre, const MercatorCoords& viewPoint,
                int blockSide, int width, int height, LumoraContact::ContactList& contacts,
                MercatorCoords& point);
    // Whether a contact-sized marker centred on viewPoint overlaps a view of that size.
    bool isOwnMarkerVisible(const MercatorCoords& viewPoint, int width, int height);
    void drawOwnMarker(const UserContactProfile& profile, const MercatorCoords& viewPoint,
                       IDrawContext* dc);

    void run() override;
    void draw(const std::shared_ptr<LumoraContact>& contact, const MercatorCoords& point, int count,
              int onlineCount, IDrawContext* dc) override;

    // The contact image's size, as the view gave it when the thread started.
    void getContactImageSize(int& width, int& height) const {
        width = contactWidth_;
        height = contactHeight_;
    }
    // The name a contact is shown by: its nick, else its user id.
    static std::wstring displayName(const LumoraContact& contact);
    // Passes made since start (for tests and diagnostics).
    long passes() const { return passes_; }
    QuadTree& getTree() { return tree_; }

private:
    struct Remembered {
        std::shared_ptr<LumoraContact> contact;
        WorldCoords position;
        bool online = false;
    };
    struct ViewParams {
        MercatorCoords centre;
        int zoom = 0;
        int blockSide = 0;
        int width = 0;
        int height = 0;
    };

    void setUp();
    bool pass();
    bool insert(const std::shared_ptr<LumoraContact>& contact);
    bool moved(Remembered& remembered, const ViewParams* view);
    MercatorCoords offsetFor(const MercatorCoords& centre, int width, int height) const;

    LumoraContact::ContactMap& contacts_;
    kestra::Mutex& contactsLock_;
    IDrawContactsToMap* view_;
    QuadTree tree_;

    kestra::Mutex positionsLock_;
    std::map<std::wstring, Remembered> remembered_;

    kestra::Mutex drawLock_;
    ViewParams traversed_;  // the view of the last traversal
    int enlargedWidth_ = 0;
    int enlargedHeight_ = 0;
    MercatorCoords offset_;  // added to item points while rendering

    std::atomic<int> contactWidth_{0};
    std::atomic<int> contactHeight_{0};
    std::atomic<int> groupWidth_{0};
    std::atomic<int> groupHeight_{0};
    std::atomic<bool> running_{false};
    std::atomic<bool> keepRunning_{false};
    std::atomic<bool> dirty_{false};
    std::atomic<bool> treeReady_{false};
    std::atomic<long> passes_{0};
    kestra::Thread thread_;
};
