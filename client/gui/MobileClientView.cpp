#include "client/gui/MobileClientView.h"

#include <QAction>
#include <QGestureEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QNativeGestureEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPinchGesture>
#include <QSignalBlocker>
#include <QSlider>
#include <QToolButton>
#include <QWheelEvent>
#include <cmath>
#include <cstdlib>

#include "client/drawing/QtDrawContext.h"
#include "client/gui/Artwork.h"
#include "client/gui/MapViewSurface.h"
#include "client/gui/ScreenResolution.h"
#include "client/gui/UiText.h"
#include "client/maps/IMapsLoaderManager.h"
#include "client/view/IDrawLogic.h"

namespace {

const QColor NO_MAP(100, 100, 100);
// What one arrow key moves the map by, in widget pixels.
constexpr int KEY_PAN = 64;
// Flick: samples at or under this many pixels (on average) give no flick.
constexpr int FLICK_THRESHOLD_LOW = 5;
constexpr int FLICK_THRESHOLD_HIGH = 10;

double scaleOf(const QWidget* widget) {
    const double ratio = widget->devicePixelRatioF();
    return ratio > 0 ? ratio : 1.0;
}

QToolButton* controlButton(const QString& text, const QString& tip, QWidget* parent) {
    auto* button = new QToolButton(parent);
    button->setText(text);
    button->setToolTip(tip);
    button->setFocusPolicy(Qt::NoFocus);
    button->setAutoRaise(false);
    QFont font = button->font();
    font.setBold(true);
    font.setPixelSize(18);
    button->setFont(font);
    return button;
}

}  // namespace

MobileClientView::MobileClientView(IControllerCommands& controller, IImageFactory& images,
                                   QWidget* parent)
    : QWidget(parent), controller_(controller) {
    setObjectName(QStringLiteral("mapView"));
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(false);
    grabGesture(Qt::PinchGesture);
    const int fontPixels = QFontMetrics(font()).height();
    surface_ = std::make_shared<MapViewSurface>(
        images, scaleOf(this), ScreenResolution::isHighFor(this), fontPixels,
        MapViewSurface::Texts{Dictionary::translate("Loading"),
                              Dictionary::translate("Cached maps")});
    surface_->width = 0;
    surface_->height = 0;

    zoomIn_ = controlButton(QStringLiteral("+"), uiText("Zoom in"), this);
    zoomOut_ = controlButton(QStringLiteral("\u2212"), uiText("Zoom out"), this);
    slider_ = new QSlider(Qt::Vertical, this);
    slider_->setRange(1, MAX_LEVELS_NUM);
    slider_->setPageStep(1);
    slider_->setFocusPolicy(Qt::NoFocus);
    slider_->setToolTip(uiText("Zoom level"));
    slider_->setValue(surface_->sliderLevel);
    return_ = new QToolButton(this);
    return_->setIcon(Artwork::icon(QStringLiteral("locate"), 24));
    return_->setIconSize(QSize(24, 24));
    return_->setToolTip(uiText("Back to my position"));
    return_->setFocusPolicy(Qt::NoFocus);
    return_->hide();

    // A press on a control stops a running flick.
    for (QAbstractButton* button :
         {static_cast<QAbstractButton*>(zoomIn_), static_cast<QAbstractButton*>(zoomOut_),
          static_cast<QAbstractButton*>(return_)}) {
        connect(button, &QAbstractButton::pressed, this, [this] { stopFlick(); });
    }
    connect(slider_, &QSlider::sliderPressed, this, [this] { stopFlick(); });
    connect(zoomIn_, &QToolButton::clicked, this, [this] { zoom(IMapsLoaderManager::ZOOM_IN); });
    connect(zoomOut_, &QToolButton::clicked, this, [this] { zoom(IMapsLoaderManager::ZOOM_OUT); });
    const auto chooseLevel = [this](int level) {
        surface_->sliderLevel = level;
        zoom(IMapsLoaderManager::ZOOM_TO_SLIDER);
    };
    connect(slider_, &QSlider::sliderReleased, this,
            [this, chooseLevel] { chooseLevel(slider_->value()); });
    connect(slider_, &QSlider::valueChanged, this, [this, chooseLevel](int level) {
        if (!slider_->isSliderDown()) {
            chooseLevel(level);  // a click on the groove or a key, not a drag in progress
        }
    });
    connect(return_, &QToolButton::clicked, this, [this] {
        if (IDrawLogic* view = logic()) {
            view->returnToOwnPosition();
        }
        return_->hide();
    });

    menu_ = new QMenu(this);
    menu_->setObjectName(QStringLiteral("longPressMenu"));
    QAction* here = menu_->addAction(uiText("I'm here"));
    connect(here, &QAction::triggered, this, [this] { chooseOwnPosition(); });

    clock_.start();
    longPressTimer_.setSingleShot(true);
    connect(&longPressTimer_, &QTimer::timeout, this, [this] { openLongPressMenu(); });
    flickTimer_.setInterval(FLICK_TICK_MS);
    connect(&flickTimer_, &QTimer::timeout, this, [this] { flickTick(); });
}

MobileClientView::~MobileClientView() = default;

IDrawLogic* MobileClientView::logic() const {
    return surface_->logic.load();
}

MercatorCoords MobileClientView::toMap(const QPoint& point) const {
    const double scale = surface_->scale();
    MercatorCoords at;
    at.x = static_cast<std::int32_t>(std::lround(point.x() * scale));
    at.y = static_cast<std::int32_t>(std::lround(point.y() * scale));
    return at;
}

QMenu* MobileClientView::longPressMenu() const {
    return menu_->isVisible() ? menu_ : nullptr;
}

// ---- From the proxy ----

void MobileClientView::setSliderLevel(int level) {
    surface_->sliderLevel = level;
    const QSignalBlocker quiet(slider_);
    slider_->setValue(level);
}

void MobileClientView::showReturnControl() {
    return_->show();
    return_->raise();
}

void MobileClientView::onTick() {
    if (surface_->loading) {
        ++surface_->loadingTicks;
        update();
    }
}

void MobileClientView::repaintMap(int left, int top, int right, int bottom) {
    const double scale = surface_->scale();
    const QRect area(QPoint(static_cast<int>(std::floor(left / scale)),
                            static_cast<int>(std::floor(top / scale))),
                     QPoint(static_cast<int>(std::ceil(right / scale)),
                            static_cast<int>(std::ceil(bottom / scale))));
    update(area.adjusted(-1, -1, 1, 1));
}

// ---- Painting and size ----

void MobileClientView::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    IDrawLogic* view = logic();
    const int width = surface_->width;
    const int height = surface_->height;
    if (view == nullptr || !view->isReady() || width <= 0 || height <= 0) {
        painter.fillRect(rect(), NO_MAP);
        return;
    }
    if (backing_.width() != width || backing_.height() != height) {
        backing_ = QImage(width, height, QImage::Format_ARGB32_Premultiplied);
        backing_.fill(NO_MAP);
    }
    const double scale = surface_->scale();
    const QRect dirty = event->rect();
    Rect area(static_cast<std::int32_t>(std::floor(dirty.left() * scale)),
              static_cast<std::int32_t>(std::floor(dirty.top() * scale)),
              static_cast<std::int32_t>(std::ceil((dirty.right() + 1) * scale)),
              static_cast<std::int32_t>(std::ceil((dirty.bottom() + 1) * scale)));
    area = area.intersected(Rect(0, 0, width, height));
    if (!area.isEmpty()) {
        QtDrawContext target(backing_);
        view->paint(target, area, false);
    }
    // One map pixel to one device pixel: sharp on high-density screens.
    painter.drawImage(QRectF(0, 0, width / scale, height / scale), backing_,
                      QRectF(0, 0, width, height));
}

void MobileClientView::resizeEvent(QResizeEvent*) {
    takeSize();
}

void MobileClientView::takeSize() {
    const double scale = surface_->scale();
    const int width = std::max(0, static_cast<int>(std::lround(this->width() * scale)));
    const int height = std::max(0, static_cast<int>(std::lround(this->height() * scale)));
    surface_->width = width;
    surface_->height = height;
    if (const QScreen* screen = this->screen()) {
        surface_->screenWidth = static_cast<int>(std::lround(screen->size().width() * scale));
        surface_->screenHeight = static_cast<int>(std::lround(screen->size().height() * scale));
    }
    layoutControls();
    if (IDrawLogic* view = logic()) {
        view->resize(width, height);
    }
}

// The zoom buttons and the slider down the left edge; the slider only where there is room
// for it. The return control at the top right, under the "Loading" box.
void MobileClientView::layoutControls() {
    const int side = 30;
    const int margin = 8;
    zoomIn_->setGeometry(margin, margin, side, side);
    const int sliderHeight = std::min(180, height() - 3 * side - 4 * margin);
    if (sliderHeight >= 60) {
        slider_->setGeometry(margin, margin + side + 4, side, sliderHeight);
        slider_->show();
        zoomOut_->setGeometry(margin, margin + side + 8 + sliderHeight, side, side);
    } else {
        slider_->hide();
        zoomOut_->setGeometry(margin, margin + side + 4, side, side);
    }
    return_->setGeometry(width() - margin - 36, margin + 34, 36, 36);
}

// ---- Stylus ----

void MobileClientView::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        stylusDown(event->position().toPoint());
    }
}

void MobileClientView::mouseMoveEvent(QMouseEvent* event) {
    if ((event->buttons() & Qt::LeftButton) != 0) {
        stylusMove(event->position().toPoint());
    }
}

void MobileClientView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        stylusUp(event->position().toPoint());
    }
}

void MobileClientView::stylusDown(const QPoint& point) {
    IDrawLogic* view = logic();
    if (view == nullptr || !view->isReady()) {
        return;
    }
    stopFlick();  // the map is taken hold of again
    pressed_ = true;
    dragging_ = true;
    firstMove_ = true;
    pressTime_ = clock_.elapsed();
    lastMoveTime_ = pressTime_;
    pressPoint_ = point;
    lastPoint_ = point;
    samples_.clear();
    view->pressStarted(toMap(point));
    if (longPressEnabled_) {
        longPressTimer_.start(LONG_PRESS_MS);
    }
}

void MobileClientView::stylusMove(const QPoint& point) {
    IDrawLogic* view = logic();
    if (!pressed_ || view == nullptr) {
        return;
    }
    if (std::abs(point.x() - pressPoint_.x()) > LONG_PRESS_SLOP ||
        std::abs(point.y() - pressPoint_.y()) > LONG_PRESS_SLOP) {
        longPressTimer_.stop();
    }
    if (firstMove_) {
        // The first move takes no sample. The press point anchors the drag, so that the map
        // moves by exactly what the stylus moved from the press on.
        firstMove_ = false;
        view->dragTo(toMap(pressPoint_));
    } else {
        samples_.push_back(lastPoint_ - point);
        if (samples_.size() > static_cast<std::size_t>(MAX_SAMPLES)) {
            samples_.erase(samples_.begin());
        }
        lastMoveTime_ = clock_.elapsed();
    }
    lastPoint_ = point;
    view->dragTo(toMap(point));
}

void MobileClientView::stylusUp(const QPoint&) {
    longPressTimer_.stop();
    if (!pressed_) {
        return;
    }
    pressed_ = false;
    stopFlick();
    int vx = 0;
    int vy = 0;
    if (!samples_.empty()) {
        const int count = static_cast<int>(samples_.size());
        for (const QPoint& sample : samples_) {
            vx += sample.x();
            vy += sample.y();
        }
        vx /= count;
        vy /= count;
    }
    samples_.clear();
    const int threshold = surface_->isHighResolution() ? FLICK_THRESHOLD_HIGH : FLICK_THRESHOLD_LOW;
    const qint64 duration = lastMoveTime_ - pressTime_;
    if (vx * vx + vy * vy > threshold * threshold && duration > 0) {
        const double factor = 1.0 / (static_cast<double>(duration) * 0.001) * 5.0;
        flickX_ = vx * factor;
        flickY_ = vy * factor;
        // Both components must move the map: a purely horizontal or vertical flick does not
        // run.
        if (std::fabs(flickX_) > 0.001 && std::fabs(flickY_) > 0.001 &&
            static_cast<int>(flickX_ * 0.02) != 0 && static_cast<int>(flickY_ * 0.02) != 0) {
            startFlick();
            return;
        }
    }
    finishDrag();
}

void MobileClientView::startFlick() {
    firstFlickTick_ = true;
    flickPoint_ = lastPoint_;
    flickTimer_.start();
}

void MobileClientView::flickTick() {
    IDrawLogic* view = logic();
    if (view == nullptr) {
        flickTimer_.stop();
        return;
    }
    if (!firstFlickTick_) {
        flickX_ *= 0.66;
        flickY_ *= 0.66;
        if (std::fabs(flickX_) < 0.001 || std::fabs(flickY_) < 0.001 ||
            static_cast<int>(flickX_ * 0.02) == 0 || static_cast<int>(flickY_ * 0.02) == 0) {
            flickTimer_.stop();
            finishDrag();
            return;
        }
    }
    firstFlickTick_ = false;
    flickPoint_ -= QPoint(static_cast<int>(flickX_ * 0.02), static_cast<int>(flickY_ * 0.02));
    lastPoint_ = flickPoint_;
    view->dragTo(toMap(flickPoint_));
}

void MobileClientView::stopFlick() {
    if (flickTimer_.isActive()) {
        flickTimer_.stop();
        finishDrag();
    }
}

void MobileClientView::finishDrag() {
    IDrawLogic* view = logic();
    if (view != nullptr && dragging_) {
        view->endDrag();
        if (longPressEnabled_) {
            view->tap(toMap(lastPoint_));
        }
        view->endPress();
    }
    dragging_ = false;
}

// ---- Long press ----

void MobileClientView::openLongPressMenu() {
    IDrawLogic* view = logic();
    if (!pressed_ || view == nullptr) {
        return;
    }
    // The press now belongs to the menu: no drag goes on and no tap follows.
    pressed_ = false;
    dragging_ = false;
    samples_.clear();
    view->endDrag();
    view->endPress();
    menu_->setProperty("pressPoint", pressPoint_);
    menu_->popup(mapToGlobal(pressPoint_));
}

void MobileClientView::chooseOwnPosition() {
    if (IDrawLogic* view = logic()) {
        view->setOwnPositionAt(toMap(menu_->property("pressPoint").toPoint()));
    }
}

// ---- Zoom and keys ----

void MobileClientView::zoom(int direction) {
    stopFlick();
    if (IDrawLogic* view = logic(); view != nullptr && view->isReady()) {
        view->requestZoom(direction);
    }
}

void MobileClientView::wheelEvent(QWheelEvent* event) {
    wheelAngle_ += event->angleDelta().y();
    while (wheelAngle_ >= 120) {
        wheelAngle_ -= 120;
        pinchBy(2.0);
    }
    while (wheelAngle_ <= -120) {
        wheelAngle_ += 120;
        pinchBy(0.5);
    }
    event->accept();
}

void MobileClientView::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Plus:
        case Qt::Key_Equal:
            zoom(IMapsLoaderManager::ZOOM_IN);
            break;
        case Qt::Key_Minus:
            zoom(IMapsLoaderManager::ZOOM_OUT);
            break;
        case Qt::Key_Left:
            panBy(-KEY_PAN, 0);
            break;
        case Qt::Key_Right:
            panBy(KEY_PAN, 0);
            break;
        case Qt::Key_Up:
            panBy(0, -KEY_PAN);
            break;
        case Qt::Key_Down:
            panBy(0, KEY_PAN);
            break;
        default:
            QWidget::keyPressEvent(event);
            return;
    }
    event->accept();
}

// Moves the view by (dx, dy) widget pixels, as a drag the other way would.
void MobileClientView::panBy(int dx, int dy) {
    IDrawLogic* view = logic();
    if (view == nullptr || !view->isReady() || pressed_) {
        return;
    }
    stopFlick();
    const QPoint centre(width() / 2, height() / 2);
    view->pressStarted(toMap(centre));
    view->dragTo(toMap(centre));
    view->dragTo(toMap(centre - QPoint(dx, dy)));
    view->endDrag();
    view->endPress();
}

// A zoom by a factor: each doubling is one level (rounded), through the slider's level so
// that several levels are one zoom.
void MobileClientView::pinchBy(double factor) {
    IDrawLogic* view = logic();
    MercatorCoords centre;
    int zoomLevel = 0;
    int width = 0;
    int height = 0;
    int side = 0;
    if (view == nullptr || !view->getViewParams(centre, zoomLevel, width, height, side) ||
        !(factor > 0)) {
        return;
    }
    const int levels = static_cast<int>(std::lround(std::log2(factor)));
    if (levels == 0) {
        return;
    }
    if (std::abs(levels) == 1) {
        zoom(levels > 0 ? IMapsLoaderManager::ZOOM_IN : IMapsLoaderManager::ZOOM_OUT);
        return;
    }
    const int target = std::max(1, std::min(MAX_LEVELS_NUM, zoomLevel + levels));
    setSliderLevel(target);
    zoom(IMapsLoaderManager::ZOOM_TO_SLIDER);
}

bool MobileClientView::event(QEvent* event) {
    if (event->type() == QEvent::Gesture) {
        gesture(static_cast<QGestureEvent*>(event));
        return true;
    }
    if (event->type() == QEvent::NativeGesture) {
        // A touchpad's pinch: the steps add up until the gesture ends.
        auto* native = static_cast<QNativeGestureEvent*>(event);
        if (native->gestureType() == Qt::BeginNativeGesture) {
            pinchScale_ = 1.0;
        } else if (native->gestureType() == Qt::ZoomNativeGesture) {
            pinchScale_ *= 1.0 + native->value();
        } else if (native->gestureType() == Qt::EndNativeGesture) {
            pinchBy(pinchScale_);
            pinchScale_ = 1.0;
        }
        return true;
    }
    return QWidget::event(event);
}

void MobileClientView::gesture(QGestureEvent* event) {
    auto* pinch = static_cast<QPinchGesture*>(event->gesture(Qt::PinchGesture));
    if (pinch == nullptr) {
        return;
    }
    event->accept(pinch);
    if (pinch->state() == Qt::GestureStarted) {
        // Two fingers: the one-finger drag that began is over.
        longPressTimer_.stop();
        if (pressed_) {
            pressed_ = false;
            samples_.clear();
            finishDrag();
        }
    }
    if (pinch->state() == Qt::GestureFinished) {
        pinchBy(pinch->totalScaleFactor());
    }
}
