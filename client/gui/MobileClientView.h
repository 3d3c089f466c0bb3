#pragma once

#include <QElapsedTimer>
#include <QImage>
#include <QPoint>
#include <QTimer>
#include <QWidget>
#include <memory>
#include <vector>

#include "client/maps/CoordinateUtils.h"

class IControllerCommands;
class IDrawLogic;
class IImageFactory;
class MapViewSurface;
class QGestureEvent;
class QMenu;
class QSlider;
class QToolButton;

// The map window. It owns no map logic: it turns mouse, touch and key input into calls of
// the draw logic (the view manager), has the draw logic paint its frame, and carries the zoom
// buttons, the zoom slider and the control that returns the view to the own position. The
// markers, texts and boxes drawn into the frame are drawn by its surface (MapViewSurface),
// which the proxy shares.
//
// Stylus: a press starts a drag (and the 500 ms long press); moves pan the map by exactly
// the distance moved; the release may start a flick (a 20 ms timer that slows down by 0.66
// each tick) and, without movement, is a tap on a marker. A long press that did not move
// more than 5 pixels opens the "I'm here" menu, which makes the pressed place the own
// position. Desktop: the wheel and + / - zoom, the arrow keys pan, a pinch zooms.
//
// GUI thread only. Points given to the draw logic are map pixels (widget pixels times the
// surface's scale).
class MobileClientView : public QWidget {
    Q_OBJECT

public:
    static constexpr int LONG_PRESS_MS = 500;
    static constexpr int FLICK_TICK_MS = 20;
    static constexpr int MAX_SAMPLES = 5;
    // A move of more than this many pixels from the press point is no long press.
    static constexpr int LONG_PRESS_SLOP = 5;

    MobileClientView(IControllerCommands& controller, IImageFactory& images, QWidget* parent);
    ~MobileClientView() override;

    QSize sizeHint() const override { return QSize(480, 480); }
    QSize minimumSizeHint() const override { return QSize(80, 80); }

    const std::shared_ptr<MapViewSurface>& surface() const { return surface_; }

    // From the proxy (queued to this thread).
    void setSliderLevel(int level);
    void showReturnControl();
    void onTick();
    // A part of the map in map pixels changed.
    void repaintMap(int left, int top, int right, int bottom);

    // Measures the map area and tells the draw logic its size. Runs at every resize and
    // once more on the GUI thread when a draw logic is attached, since a resize that came
    // before the logic was there reached no one.
    void takeSize();

    // For tests and screenshots: the long-press menu while it is open (else null), whether
    // a flick runs.
    QMenu* longPressMenu() const;
    bool isFlicking() const { return flickTimer_.isActive(); }
    QToolButton* zoomInButton() const { return zoomIn_; }
    QToolButton* zoomOutButton() const { return zoomOut_; }
    QSlider* zoomSlider() const { return slider_; }
    QToolButton* returnButton() const { return return_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool event(QEvent* event) override;

private:
    IDrawLogic* logic() const;
    MercatorCoords toMap(const QPoint& point) const;
    void layoutControls();
    void stylusDown(const QPoint& point);
    void stylusMove(const QPoint& point);
    void stylusUp(const QPoint& point);
    void startFlick();
    void flickTick();
    void stopFlick();
    void finishDrag();
    void openLongPressMenu();
    void chooseOwnPosition();
    void zoom(int direction);
    void panBy(int dx, int dy);
    void gesture(QGestureEvent* event);
    void pinchBy(double factor);

    IControllerCommands& controller_;
    std::shared_ptr<MapViewSurface> surface_;
    QImage backing_;

    QToolButton* zoomIn_ = nullptr;
    QToolButton* zoomOut_ = nullptr;
    QSlider* slider_ = nullptr;
    QToolButton* return_ = nullptr;
    QMenu* menu_ = nullptr;

    // Stylus state.
    bool pressed_ = false;
    bool dragging_ = false;
    bool firstMove_ = false;
    bool longPressEnabled_ = true;
    QPoint pressPoint_;
    QPoint lastPoint_;
    QElapsedTimer clock_;
    qint64 pressTime_ = 0;
    qint64 lastMoveTime_ = 0;
    std::vector<QPoint> samples_;
    double flickX_ = 0;
    double flickY_ = 0;
    bool firstFlickTick_ = true;
    QPoint flickPoint_;  // map pixels
    QTimer flickTimer_;
    QTimer longPressTimer_;
    double pinchScale_ = 1.0;
    int wheelAngle_ = 0;
};
