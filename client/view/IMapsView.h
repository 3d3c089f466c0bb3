#pragma once

#include <string>

#include "client/graphics/IDrawContext.h"

class IDrawLogic;

// The map window as the view manager sees it. The window forwards its input and paint
// requests to its draw logic (IDrawLogic) and draws what only it knows: texts, its own
// controls and labels.
//
// Threads: the view manager calls these from the window's thread (paint, input), from the
// maps loader's thread (zoom, refresh, source changes, blocks drawn) and from the
// controller's thread (set-up, own position). A window queues every call that changes it
// to its own thread; the draw* operations are called during paint, on the window's
// thread, with the frame being composed.
class IMapsView {
public:
    virtual ~IMapsView() = default;

    // Whether the window exists (blocks are decoded and frames made only then).
    virtual bool isWindowCreated() = 0;
    // The size of the map area in pixels.
    virtual void getClientSize(int& width, int& height) = 0;
    // The size of the whole display (pan threshold on large screens).
    virtual void getScreenSize(int& width, int& height) = 0;
    // The object the window forwards its input and paint requests to.
    virtual void setDrawLogic(IDrawLogic* logic) = 0;

    // Asks for a repaint of a part (or all) of the map area.
    virtual void repaint(const Rect& rect) = 0;
    virtual void repaintAll() = 0;
    // The frame buffer holds the next frame of a zoom animation: show it now.
    virtual void showAnimationFrame() = 0;

    // The zoom slider's level.
    virtual int getZoomSliderLevel() = 0;
    virtual void setZoomSliderLevel(int level) = 0;

    // Drawing into the frame being composed: the message line, the status text, the
    // window's own overlay (drawn only when there is no message) and, last of all, the
    // zoom control and labels.
    virtual void drawMessageText(IDrawContext& dc, const std::wstring& text) = 0;
    virtual void drawStatusText(IDrawContext& dc, const std::wstring& text) = 0;
    virtual void drawOverlay(IDrawContext& dc) = 0;
    virtual void drawFinalOverlay(IDrawContext& dc) = 0;

    // Offer the control that returns the view to the own position.
    virtual void showReturnControl() = 0;
    // The "Cached maps" label (the loader may not use the network).
    virtual void setCachedMapsLabel(bool shown) = 0;
    // The "Loading" box while the loader uses the network.
    virtual void setLoading(bool loading) = 0;
};
