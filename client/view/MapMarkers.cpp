#include "client/view/MapMarkers.h"

#include "client/view/IDrawContactsToMap.h"
#include "kestra/Log.h"

const Rgb MapMarkers::TRANSPARENT = rgb(255, 0, 255);
const Rgb MapMarkers::LABEL_PEN = rgb(157, 198, 225);
const Rgb MapMarkers::GROUP_BRUSH = rgb(255, 241, 196);
const Rgb MapMarkers::CONTACT_BRUSH = rgb(237, 244, 250);
const Rgb MapMarkers::LABEL_TEXT = rgb(0, 0, 0);

const std::array<const wchar_t*, 7> MapMarkers::IMAGE_NAMES = {
    L"markerOwnOnline",       L"markerOwnOffline",      L"markerGroupAllOnline",
    L"markerGroupNoneOnline", L"markerGroupSomeOnline", L"markerContactOnline",
    L"markerContactOffline",
};

MapMarkers::MapMarkers(IImageFactory& factory, const TextStyle& labelStyle)
    : labelStyle_(labelStyle) {
    for (std::size_t kind = 0; kind < images_.size(); ++kind) {
        images_[kind] = factory.getImageFromResource(IMAGE_NAMES[kind], 0, 0);
        if (!images_[kind]) {
            kestra::Log::error(std::wstring(L"MapMarkers: no image ") + IMAGE_NAMES[kind]);
        }
    }
}

void MapMarkers::getImageSizes(int& contactWidth, int& contactHeight, int& groupWidth,
                               int& groupHeight) const {
    const ILumoraImage* contact = images_[IDrawContactsToMap::CONTACT_ONLINE].get();
    const ILumoraImage* group = images_[IDrawContactsToMap::GROUP_ALL_ONLINE].get();
    contactWidth = contact != nullptr ? contact->getWidth() : 0;
    contactHeight = contact != nullptr ? contact->getHeight() : 0;
    groupWidth = group != nullptr ? group->getWidth() : 0;
    groupHeight = group != nullptr ? group->getHeight() : 0;
}

Rect MapMarkers::labelBox(int kind, const MercatorCoords& point, int textWidth,
                          int textHeight) const {
    const ILumoraImage* image =
        kind >= 0 && kind < static_cast<int>(images_.size()) ? images_[kind].get() : nullptr;
    const int imageHeight = image != nullptr ? image->getHeight() : 0;
    const int top = point.y - imageHeight / 2 + imageHeight + 3;
    const int left = point.x - textWidth / 2;
    // 5 pixels wider on each side and 1 pixel taller on each side than the text.
    return Rect(left - 5, top - 1, left + textWidth + 5, top + textHeight + 1);
}

void MapMarkers::darwImgToTheMap(const std::wstring& label, int, int kind,
                                 const MercatorCoords& point, IDrawContext* dc) const {
    if (dc == nullptr) {
        kestra::Log::error("DrawContactsManager::darwImgToTheMap: hDc == NULL. ");
        return;
    }
    if (kind < 0 || kind >= static_cast<int>(images_.size())) {
        return;
    }
    if (const ILumoraImage* image = images_[kind].get()) {
        const int w = image->getWidth();
        const int h = image->getHeight();
        image->drawTransparent(*dc, point.x - w / 2, point.y - h / 2, w, h, TRANSPARENT);
    }
    int textWidth = 0;
    int textHeight = 0;
    if (label.empty() || !dc->measureText(label, labelStyle_, textWidth, textHeight)) {
        return;
    }
    const Rect box = labelBox(kind, point, textWidth, textHeight);
    const bool group = kind == IDrawContactsToMap::GROUP_ALL_ONLINE ||
                       kind == IDrawContactsToMap::GROUP_NONE_ONLINE ||
                       kind == IDrawContactsToMap::GROUP_SOME_ONLINE;
    dc->drawRectangle(box, LABEL_PEN, group ? GROUP_BRUSH : CONTACT_BRUSH);
    dc->drawText(Rect(box.left + 5, box.top + 1, box.right - 5, box.bottom - 1), label, LABEL_TEXT,
                 labelStyle_, TEXT_CENTER);
}
