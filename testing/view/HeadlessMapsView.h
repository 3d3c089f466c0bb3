#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "client/graphics/IImageFactory.h"
#include "client/view/IDrawContactsToMap.h"
#include "client/view/IDrawLogic.h"
#include "client/view/IMapsView.h"
#include "client/view/MapMarkers.h"

namespace fixture {

// The map window without a window: frames are painted by the draw logic into an image of
// the view's size, markers are drawn by MapMarkers, and every request the view manager
// and the drawing thread make is recorded. Thread-safe like the window it stands for.
class HeadlessMapsView : public IMapsView, public IDrawContactsToMap {
public:
    struct Marker {
        std::wstring label;
        int kind = 0;
        MercatorCoords point;
    };

    HeadlessMapsView(IImageFactory& factory, const MapMarkers& markers, int width, int height,
                     int screenWidth = 800, int screenHeight = 480);

    // Paints the whole view through the draw logic and gives the frame.
    const ILumoraImage& renderFrame(bool rebuild = false);
    // The last frame (null before one was made or for a 0 x 0 view).
    const ILumoraImage* frame() const { return frame_.get(); }
    // A new size for the frame (the test tells the draw logic with resize).
    void setSize(int width, int height);
    void setWindowCreated(bool created) { created_ = created; }
    IDrawLogic* logic() const { return logic_; }
    // Writes the last frame as a PNG (for a person to look at); false without a frame.
    bool saveFrame(const std::string& path) const;
    // The markers drawn by the last renderFrame.
    std::vector<Marker> markers() const;

    int repaints() const { return repaints_; }
    int animationFrames() const { return animationFrames_; }
    int returnControlOffers() const { return returnOffers_; }
    int contactRepaints() const { return contactRepaints_; }
    bool isLoadingShown() const { return loading_; }
    bool isCachedMapsLabelShown() const { return cachedLabel_; }

    // IMapsView
    bool isWindowCreated() override { return created_; }
    void getClientSize(int& width, int& height) override;
    void getScreenSize(int& width, int& height) override;
    void setDrawLogic(IDrawLogic* logic) override { logic_ = logic; }
    void repaint(const Rect&) override { ++repaints_; }
    void repaintAll() override { ++repaints_; }
    void showAnimationFrame() override { ++animationFrames_; }
    int getZoomSliderLevel() override { return slider_; }
    void setZoomSliderLevel(int level) override { slider_ = level; }
    void drawMessageText(IDrawContext& dc, const std::wstring& text) override;
    void drawStatusText(IDrawContext& dc, const std::wstring& text) override;
    void drawOverlay(IDrawContext&) override {}
    void drawFinalOverlay(IDrawContext&) override {}
    void showReturnControl() override { ++returnOffers_; }
    void setCachedMapsLabel(bool shown) override { cachedLabel_ = shown; }
    void setLoading(bool loading) override { loading_ = loading; }

    // IDrawContactsToMap
    void darwImgToTheMap(const std::wstring& label, int flags, int kind,
                         const MercatorCoords& point, IDrawContext* dc) override;
    void getImageSizes(int& contactWidth, int& contactHeight, int& groupWidth,
                       int& groupHeight) override;
    bool getViewParams(MercatorCoords& centre, int& zoom, int& blockSide, int& width,
                       int& height) override;
    void onTraversalStart() override {}
    void repaintContacts() override { ++contactRepaints_; }

private:
    IImageFactory& factory_;
    const MapMarkers& markers_;
    std::atomic<IDrawLogic*> logic_{nullptr};
    mutable std::mutex lock_;
    int width_;
    int height_;
    int screenWidth_;
    int screenHeight_;
    std::unique_ptr<ILumoraImage> frame_;
    std::vector<Marker> drawn_;
    std::atomic<bool> created_{true};
    std::atomic<int> repaints_{0};
    std::atomic<int> animationFrames_{0};
    std::atomic<int> returnOffers_{0};
    std::atomic<int> contactRepaints_{0};
    std::atomic<int> slider_{0};
    std::atomic<bool> loading_{false};
    std::atomic<bool> cachedLabel_{false};
};

}  // namespace fixture
