#pragma once

#include <memory>

#include "client/app/IMapViewWindow.h"
#include "client/gui/MapViewSurface.h"
#include "client/gui/MobileClientView.h"
#include "client/gui/WindowProxy.h"
#include "client/view/IDrawContactsToMap.h"
#include "client/view/IMapsView.h"

// The controller's handle on the map window, and the window as the view manager
// (IMapsView) and the contact drawing thread (IDrawContactsToMap) see it. Their calls come
// from any thread: state goes to the surface the window shares, changes of the window are
// queued to the GUI thread, and the drawing into a frame is the surface's, so it needs no
// widget. After the window is gone the calls still answer and change nothing on screen.
class MobileClientViewProxy : public WindowProxy<IMapViewWindow, MobileClientView>,
                              public IMapsView,
                              public IDrawContactsToMap {
public:
    // GUI thread only, with the window just made.
    MobileClientViewProxy(IGuiThread& gui, MobileClientView* view);

    // IMapViewWindow
    IMapsView* mapsView() override { return this; }
    IDrawContactsToMap* contactsDrawer() override { return this; }
    // The controller's timer: the "Loading" box moves while it is shown.
    void onTimer() override;

    // IMapsView
    bool isWindowCreated() override { return window_.exists(); }
    void getClientSize(int& width, int& height) override;
    void getScreenSize(int& width, int& height) override;
    void setDrawLogic(IDrawLogic* logic) override;
    void repaint(const Rect& rect) override;
    void repaintAll() override;
    void showAnimationFrame() override { repaintAll(); }
    int getZoomSliderLevel() override { return surface_->sliderLevel.load(); }
    void setZoomSliderLevel(int level) override;
    void drawMessageText(IDrawContext& dc, const std::wstring& text) override {
        surface_->drawMessageText(dc, text);
    }
    void drawStatusText(IDrawContext& dc, const std::wstring& text) override {
        surface_->drawStatusText(dc, text);
    }
    void drawOverlay(IDrawContext&) override {}
    void drawFinalOverlay(IDrawContext& dc) override { surface_->drawFinalOverlay(dc); }
    void showReturnControl() override;
    void setCachedMapsLabel(bool shown) override;
    void setLoading(bool loading) override;

    // IDrawContactsToMap
    void darwImgToTheMap(const std::wstring& label, int flags, int kind,
                         const MercatorCoords& point, IDrawContext* dc) override {
        surface_->markers().darwImgToTheMap(label, flags, kind, point, dc);
    }
    void getImageSizes(int& contactWidth, int& contactHeight, int& groupWidth,
                       int& groupHeight) override {
        surface_->markers().getImageSizes(contactWidth, contactHeight, groupWidth, groupHeight);
    }
    bool getViewParams(MercatorCoords& centre, int& zoom, int& blockSide, int& width,
                       int& height) override;
    void onTraversalStart() override {}
    void repaintContacts() override { repaintAll(); }

private:
    std::shared_ptr<MapViewSurface> surface_;
};
