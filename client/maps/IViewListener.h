#pragma once

#include "client/graphics/GraphicsTypes.h"

// What the block matrix tells the view it draws for (the view manager listens).
// Called on the thread that placed the block (usually the maps loader's), never while the
// matrix holds one of its locks.
class IViewListener {
public:
    virtual ~IViewListener() = default;
    // The block side of the current tile source, when a picture starts.
    virtual void setBlockSide(int blockSide) = 0;
    // A block was drawn into the drawing buffer over rect (view pixels): repaint it.
    virtual void onBlockDrawn(const Rect& rect) = 0;
    // Whether the map window exists; blocks are decoded only while it does.
    virtual bool isViewCreated() = 0;
};
