#pragma once

#include <string>

#include "client/graphics/IDrawContext.h"
#include "client/maps/CoordinateUtils.h"

// The map view as the contact drawing thread sees it: it draws the markers and tells the
// thread about the view. The map window implements it (marker drawing can be delegated to
// MapMarkers); getViewParams is answered from the draw logic's view parameters.
//
// darwImgToTheMap and getImageSizes are called on the thread that paints (under the
// drawing thread's locks); getViewParams, onTraversalStart and repaintContacts on the
// drawing thread: a window queues the repaint to its own thread.
class IDrawContactsToMap {
public:
    // The marker images, one per kind.
    enum ImageKind {
        OWN_ONLINE = 0,         // the user's own marker while not offline
        OWN_OFFLINE = 1,        // the own marker while the user is offline (status 7)
        GROUP_ALL_ONLINE = 2,   // a group whose members are all online
        GROUP_NONE_ONLINE = 3,  // a group with no member online
        GROUP_SOME_ONLINE = 4,  // a group with some members online
        CONTACT_ONLINE = 5,     // one contact whose status is neither 6 nor 7
        CONTACT_OFFLINE = 6,    // one contact whose status is 6 or 7
        IMAGE_KINDS = 7
    };

    virtual ~IDrawContactsToMap() = default;
    // Draws the image of the kind centred on point, and a non-empty label in a box below it.
    virtual void darwImgToTheMap(const std::wstring& label, int flags, int kind,
                                 const MercatorCoords& point, IDrawContext* dc) = 0;
    // Sizes of the contact image and of the group image.
    virtual void getImageSizes(int& contactWidth, int& contactHeight, int& groupWidth,
                               int& groupHeight) = 0;
    // The view as it is now: centre (world pixels), zoom, block side, size. False while
    // there is no view to draw for.
    virtual bool getViewParams(MercatorCoords& centre, int& zoom, int& blockSide, int& width,
                               int& height) = 0;
    // A traversal of the contacts begins.
    virtual void onTraversalStart() = 0;
    // The contacts changed on the map: repaint the view.
    virtual void repaintContacts() = 0;
};
