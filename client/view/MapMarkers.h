#pragma once

#include <array>
#include <memory>
#include <string>

#include "client/graphics/IImageFactory.h"
#include "client/maps/CoordinateUtils.h"

// The marker images of the map, one per image kind of IDrawContactsToMap, and how a
// marker is drawn: the image centred on its point (magenta is transparent), and a
// non-empty label in a framed box 3 pixels below it. The map window draws its markers
// through this; the images come from the image factory by name, so the program's artwork
// is plugged in there (IMAGE_NAMES).
//
// Drawing is safe from any one thread at a time per target; the images are only read.
class MapMarkers {
public:
    static const Rgb TRANSPARENT;    // RGB(255, 0, 255)
    static const Rgb LABEL_PEN;      // the frame of label boxes
    static const Rgb GROUP_BRUSH;    // the fill of group labels (kinds 2, 3, 4)
    static const Rgb CONTACT_BRUSH;  // the fill of the other labels
    static const Rgb LABEL_TEXT;     // black
    // The named image of each kind (own online, own offline, group all online, group none
    // online, group some online, contact online, contact offline).
    static const std::array<const wchar_t*, 7> IMAGE_NAMES;

    // Loads the seven images at their own sizes; a missing one is logged and its markers
    // are drawn without an image.
    MapMarkers(IImageFactory& factory, const TextStyle& labelStyle);

    // IDrawContactsToMap's operations, for the map window to forward to.
    void darwImgToTheMap(const std::wstring& label, int flags, int kind,
                         const MercatorCoords& point, IDrawContext* dc) const;
    void getImageSizes(int& contactWidth, int& contactHeight, int& groupWidth,
                       int& groupHeight) const;
    // The rectangle of the label box of a marker of the kind at point for a text of
    // textWidth x textHeight pixels.
    Rect labelBox(int kind, const MercatorCoords& point, int textWidth, int textHeight) const;

private:
    std::array<std::unique_ptr<ILumoraImage>, 7> images_;
    TextStyle labelStyle_;
};
