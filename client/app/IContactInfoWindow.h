#pragma once

#include "client/app/IWindow.h"

// A contact's information window over the map (one with the contact's picture, one
// without). The contact list and the map view fill and place it; at most one is shown.
class IContactInfoWindow : public IWindow {};
