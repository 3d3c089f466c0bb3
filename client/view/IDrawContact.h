#pragma once

#include <memory>

#include "client/graphics/IDrawContext.h"
#include "client/maps/CoordinateUtils.h"

class LumoraContact;

// Draws one item of the contact quad tree: a single contact (count 1) or a group of count
// contacts of which onlineCount are online (contact null). point is the item's place in
// the view the traversal was made for.
class IDrawContact {
public:
    virtual ~IDrawContact() = default;
    virtual void draw(const std::shared_ptr<LumoraContact>& contact, const MercatorCoords& point,
                      int count, int onlineCount, IDrawContext* dc) = 0;
};
