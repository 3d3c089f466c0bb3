#include "client/gui/MobileClientViewProxy.h"

#include "client/view/IDrawLogic.h"

MobileClientViewProxy::MobileClientViewProxy(IGuiThread& gui, MobileClientView* view)
    : WindowProxy(gui, view, "MobileClientView"), surface_(view->surface()) {}

void MobileClientViewProxy::onTimer() {
    if (surface_->loading) {
        window_.post([](MobileClientView& view) { view.onTick(); });
    }
}

void MobileClientViewProxy::getClientSize(int& width, int& height) {
    width = surface_->width;
    height = surface_->height;
}

void MobileClientViewProxy::getScreenSize(int& width, int& height) {
    width = surface_->screenWidth;
    height = surface_->screenHeight;
}

void MobileClientViewProxy::setDrawLogic(IDrawLogic* logic) {
    surface_->logic = logic;
    window_.post([](MobileClientView& view) {
        view.takeSize();
        view.update();
    });
}

void MobileClientViewProxy::repaint(const Rect& rect) {
    window_.post([rect](MobileClientView& view) {
        view.repaintMap(rect.left, rect.top, rect.right, rect.bottom);
    });
}

void MobileClientViewProxy::repaintAll() {
    window_.post([](MobileClientView& view) { view.update(); });
}

void MobileClientViewProxy::setZoomSliderLevel(int level) {
    surface_->sliderLevel = level;
    window_.post([level](MobileClientView& view) { view.setSliderLevel(level); });
}

void MobileClientViewProxy::showReturnControl() {
    window_.post([](MobileClientView& view) { view.showReturnControl(); });
}

void MobileClientViewProxy::setCachedMapsLabel(bool shown) {
    surface_->cachedMapsLabel = shown;
    repaintAll();
}

void MobileClientViewProxy::setLoading(bool loading) {
    surface_->loading = loading;
    repaintAll();
}

bool MobileClientViewProxy::getViewParams(MercatorCoords& centre, int& zoom, int& blockSide,
                                          int& width, int& height) {
    IDrawLogic* logic = surface_->logic;
    return logic != nullptr && logic->getViewParams(centre, zoom, width, height, blockSide);
}
