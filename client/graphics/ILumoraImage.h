#pragma once

#include "client/graphics/IDrawContext.h"

// A decoded image, made by an IImageFactory and then only drawn (many times, into any
// context). It has a context of its own, so that other images and drawings can be drawn
// into it (getContext).
class ILumoraImage {
public:
    virtual ~ILumoraImage() = default;

    virtual int getWidth() const = 0;
    virtual int getHeight() const = 0;
    // Copies width x height pixels from (sourceX, sourceY) of source into the image at (x, y).
    virtual void copyFromDC(const IDrawContext& source, int x, int y, int sourceX, int sourceY,
                            int width, int height) = 0;
    // Plain copy of the image's top-left width x height pixels to (x, y) of target.
    virtual void draw(IDrawContext& target, int x, int y, int width, int height) const = 0;
    // The whole image stretched (smoothly) into the rectangle (x, y, width, height).
    virtual void drawStretched(IDrawContext& target, int x, int y, int width, int height) const = 0;
    // The part (sourceX, sourceY, sourceWidth, sourceHeight) stretched into (x, y, width,
    // height), leaving out every pixel of the transparent colour.
    virtual void drawTransparentPart(IDrawContext& target, int x, int y, int width, int height,
                                     int sourceX, int sourceY, int sourceWidth, int sourceHeight,
                                     Rgb transparent) const = 0;
    // The whole image into (x, y, width, height), leaving out the transparent colour.
    virtual void drawTransparent(IDrawContext& target, int x, int y, int width, int height,
                                 Rgb transparent) const = 0;

    // The image's own pixels as a context to draw into.
    virtual IDrawContext& getContext() = 0;
    virtual const IDrawContext& getContext() const = 0;
};
