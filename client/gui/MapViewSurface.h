#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <string>

#include "client/graphics/IDrawContext.h"
#include "client/maps/CoordinateUtils.h"
#include "client/view/MapMarkers.h"

class IDrawLogic;
class IImageFactory;

// What the map window shares with its proxy, and the drawing that needs no widget: the
// marker images, the texts over the map, the "Loading" box, the "Cached maps" label, the
// scale bar and the tile source's attribution. Pixels here are the map's own (device
// pixels: scale() of them per pixel of the widget), so the map is sharp on high-density
// screens.
//
// The state is written from any thread (the view manager's calls through the proxy) and
// read while painting; the drawing runs on the thread that paints, into the frame being
// composed. Markers are made once, on the GUI thread, before anything else uses this.
class MapViewSurface {
public:
    // Texts of the overlay (taken through the dictionary once).
    struct Texts {
        std::wstring loading;
        std::wstring cachedMaps;
    };

    // Registers the marker artwork with the factory for the scale and the screen size and
    // loads the markers from it. fontPixels is the window font's height in widget pixels.
    MapViewSurface(IImageFactory& images, double scale, bool highResolution, int fontPixels,
                   Texts texts);

    double scale() const { return scale_; }
    bool isHighResolution() const { return high_; }
    const MapMarkers& markers() const { return *markers_; }
    const TextStyle& labelStyle() const { return labelStyle_; }

    // The draw logic the window forwards to (set by the view manager; null before).
    std::atomic<IDrawLogic*> logic{nullptr};
    // The map area in map pixels; the screen in map pixels.
    std::atomic<int> width{0};
    std::atomic<int> height{0};
    std::atomic<int> screenWidth{0};
    std::atomic<int> screenHeight{0};
    std::atomic<int> sliderLevel{3};
    std::atomic<bool> loading{false};
    std::atomic<bool> cachedMapsLabel{false};
    // Ticks of the controller's timer while loading (the box's dots move).
    std::atomic<int> loadingTicks{0};

    // IMapsView's drawing, into the frame being composed.
    void drawMessageText(IDrawContext& dc, const std::wstring& text) const;
    void drawStatusText(IDrawContext& dc, const std::wstring& text) const;
    void drawFinalOverlay(IDrawContext& dc) const;

    // The scale bar for a view: the length in metres and in map pixels of a round distance
    // that fits maxPixels at the latitude of the centre; false when there is no view.
    static bool scaleBar(const MercatorCoords& centre, int zoom, int blockSide, int maxPixels,
                         double& metres, int& pixels);
    // "500 m", "2 km".
    static std::wstring distanceText(double metres);
    // The attribution the current tile source asks for (empty without a source).
    static std::wstring attribution();

    // Rectangles of the overlay's boxes, for a frame of width x height map pixels.
    Rect loadingBox(int frameWidth) const;

private:
    int px(double widgetPixels) const;
    void drawScaleBar(IDrawContext& dc) const;
    void drawAttribution(IDrawContext& dc) const;
    void drawLabelBox(IDrawContext& dc, const Rect& box, const std::wstring& text,
                      const TextStyle& style, int flags) const;

    const double scale_;
    const bool high_;
    const Texts texts_;
    TextStyle labelStyle_;
    TextStyle boxStyle_;
    TextStyle smallStyle_;
    std::unique_ptr<MapMarkers> markers_;
};
