#pragma once

#include <string>

#include "client/graphics/GraphicsTypes.h"

// Something that can be drawn into: the pixels of an image or of a frame. It stands for a
// device context; every operation clips to the context's own size, so a rectangle partly or
// wholly outside draws only what lies inside (or nothing).
//
// One thread at a time may draw into a context; callers that share one (a map buffer drawn
// by the maps loader's thread and read by the window's) guard it with their own lock.
class IDrawContext {
public:
    virtual ~IDrawContext() = default;

    virtual int getWidth() const = 0;
    virtual int getHeight() const = 0;

    // A solid rectangle.
    virtual void fillRect(const Rect& rect, Rgb colour) = 0;
    // A line from (x1, y1) to (x2, y2) with a solid pen of penWidth pixels.
    virtual void drawLine(int x1, int y1, int x2, int y2, Rgb colour, int penWidth) = 0;
    // A rectangle filled with brush and framed with a 1-pixel pen.
    virtual void drawRectangle(const Rect& rect, Rgb pen, Rgb brush) = 0;
    // The size a one-line text takes; false (and 0 x 0) when no text can be drawn in this
    // process (no font system).
    virtual bool measureText(const std::wstring& text, const TextStyle& style, int& width,
                             int& height) = 0;
    // A one-line text in rect with a transparent background (TextFlags); nothing when no
    // text can be drawn.
    virtual void drawText(const Rect& rect, const std::wstring& text, Rgb colour,
                          const TextStyle& style, int flags) = 0;
    // Copies width x height pixels from (sourceX, sourceY) of source to (x, y) of this
    // context. Source and target may be the same context.
    virtual void copyFrom(const IDrawContext& source, int x, int y, int sourceX, int sourceY,
                          int width, int height) = 0;
    // The colour of one pixel (0 outside the context); for checks and tests.
    virtual Rgb getPixel(int x, int y) const = 0;
};
