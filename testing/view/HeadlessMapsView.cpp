#include "testing/view/HeadlessMapsView.h"

#include <QString>
#include <filesystem>

#include "client/drawing/LumoraImage.h"

namespace fixture {

HeadlessMapsView::HeadlessMapsView(IImageFactory& factory, const MapMarkers& markers, int width,
                                   int height, int screenWidth, int screenHeight)
    : factory_(factory),
      markers_(markers),
      width_(width),
      height_(height),
      screenWidth_(screenWidth),
      screenHeight_(screenHeight) {}

void HeadlessMapsView::getClientSize(int& width, int& height) {
    std::lock_guard<std::mutex> lock(lock_);
    width = width_;
    height = height_;
}

void HeadlessMapsView::getScreenSize(int& width, int& height) {
    width = screenWidth_;
    height = screenHeight_;
}

void HeadlessMapsView::setSize(int width, int height) {
    std::lock_guard<std::mutex> lock(lock_);
    width_ = width;
    height_ = height;
}

const ILumoraImage& HeadlessMapsView::renderFrame(bool rebuild) {
    int width = 0;
    int height = 0;
    {
        std::lock_guard<std::mutex> lock(lock_);
        width = width_;
        height = height_;
        drawn_.clear();
        if (!frame_ || frame_->getWidth() != width || frame_->getHeight() != height) {
            frame_ = factory_.createEmptyImage(width, height, rgb(0, 0, 0));
        }
    }
    if (IDrawLogic* logic = logic_) {
        if (frame_) {
            logic->paint(frame_->getContext(), Rect(0, 0, width, height), rebuild);
        }
    }
    static const std::unique_ptr<ILumoraImage> none = factory_.createEmptyImage(1, 1, 0);
    return frame_ ? *frame_ : *none;
}

bool HeadlessMapsView::saveFrame(const std::string& path) const {
    std::lock_guard<std::mutex> lock(lock_);
    const auto* image = dynamic_cast<const LumoraImage*>(frame_.get());
    if (image == nullptr) {
        return false;
    }
    std::error_code error;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), error);
    return image->image().save(QString::fromStdString(path), "PNG");
}

std::vector<HeadlessMapsView::Marker> HeadlessMapsView::markers() const {
    std::lock_guard<std::mutex> lock(lock_);
    return drawn_;
}

void HeadlessMapsView::drawMessageText(IDrawContext& dc, const std::wstring& text) {
    const TextStyle style{13, true};
    dc.drawRectangle(Rect(4, 4, dc.getWidth() - 4, 26), rgb(157, 198, 225), rgb(255, 255, 255));
    dc.drawText(Rect(8, 6, dc.getWidth() - 8, 24), text, rgb(0, 0, 0), style, TEXT_VCENTER);
}

void HeadlessMapsView::drawStatusText(IDrawContext& dc, const std::wstring& text) {
    const TextStyle style{12, false};
    const int bottom = dc.getHeight();
    dc.drawRectangle(Rect(4, bottom - 24, dc.getWidth() - 4, bottom - 4), rgb(157, 198, 225),
                     rgb(237, 244, 250));
    dc.drawText(Rect(8, bottom - 22, dc.getWidth() - 8, bottom - 6), text, rgb(0, 0, 0), style,
                TEXT_VCENTER);
}

void HeadlessMapsView::darwImgToTheMap(const std::wstring& label, int flags, int kind,
                                       const MercatorCoords& point, IDrawContext* dc) {
    {
        std::lock_guard<std::mutex> lock(lock_);
        drawn_.push_back({label, kind, point});
    }
    markers_.darwImgToTheMap(label, flags, kind, point, dc);
}

void HeadlessMapsView::getImageSizes(int& contactWidth, int& contactHeight, int& groupWidth,
                                     int& groupHeight) {
    markers_.getImageSizes(contactWidth, contactHeight, groupWidth, groupHeight);
}

bool HeadlessMapsView::getViewParams(MercatorCoords& centre, int& zoom, int& blockSide, int& width,
                                     int& height) {
    IDrawLogic* logic = logic_;
    return logic != nullptr && logic->getViewParams(centre, zoom, width, height, blockSide);
}

}  // namespace fixture
