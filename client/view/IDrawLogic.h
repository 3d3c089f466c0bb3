#pragma once

#include "client/graphics/IDrawContext.h"
#include "client/maps/CoordinateUtils.h"
#include "client/maps/IViewListener.h"

// The drawing logic of the map view as the map window and the controller see it (the view
// manager implements it). Points are pixels of the map area.
//
// The window's thread may call every operation except doZoom; zooming reads tiles and may
// ask the tile server, so the window asks for it with requestZoom and the maps loader's
// thread runs doZoom.
class IDrawLogic : public IViewListener {
public:
    ~IDrawLogic() override = default;

    // Queues a zoom (0 one level out, 1 one level in, 2 to the slider's level) to the
    // maps loader's thread.
    virtual void requestZoom(int direction) = 0;
    // The zoom itself (on the maps loader's thread).
    virtual void doZoom(int direction) = 0;
    // The view: centre (world pixels), zoom, size and block side; false before the set-up
    // has finished.
    virtual bool getViewParams(MercatorCoords& centre, int& zoom, int& width, int& height,
                               int& blockSide) = 0;
    // Composes the frame (rebuilding the map picture when asked) and copies rect of it
    // into target.
    virtual void paint(IDrawContext& target, const Rect& rect, bool rebuild) = 0;

    // Stylus: a press at a point, drags to points, the end of a drag, a tap test at the
    // release point, the end of the press. A tap opens the info window of the contact or
    // group under the point when the stylus did not move between press and release.
    virtual void pressStarted(const MercatorCoords& point) = 0;
    virtual void dragTo(const MercatorCoords& point) = 0;
    virtual void endDrag() = 0;
    virtual void tap(const MercatorCoords& point) = 0;
    virtual void endPress() = 0;
    // Whether input is taken (the set-up has finished).
    virtual bool isReady() = 0;

    // The map area got a new size.
    virtual void resize(int width, int height) = 0;
    // A position from the GPS or chosen by the user (ignored before the set-up).
    virtual void setOwnPosition(const WorldCoords& position) = 0;
    // The user chose the point as the own position: goes to the controller. A point beyond
    // the world's edge gives the nearest place on the edge.
    virtual void setOwnPositionAt(const MercatorCoords& point) = 0;
    // The return control: the view follows the own position again (the picture for it is
    // loaded on the maps loader's thread); nothing while the own position is unknown.
    virtual void returnToOwnPosition() = 0;
    // The user's status changed (the own marker shows it).
    virtual void setUserStatus(int status) = 0;
    virtual void clearStatusText() = 0;
    // Whether a new picture is still being loaded.
    virtual bool isReloadPending() = 0;
    // Repaint everything.
    virtual void repaintView() = 0;
    // Forget the window and the buffers (the window closes); the block matrix is stopped
    // first.
    virtual void stop() = 0;
};
