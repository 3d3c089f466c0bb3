#pragma once

#include "client/app/IWindow.h"

// The list of the contacts of a group of markers, shown over the map when the user taps the
// group. The map view fills and places it through its own interface.
class IGroupListWindow : public IWindow {};
