#pragma once

#include "client/graphics/IImageFactory.h"

namespace fixture {

// Plain generated marker images in place of the program's artwork: discs of one colour per
// image kind on a magenta (transparent) square; contacts 20 x 20, groups 28 x 28, the own
// marker 24 x 24.
class MarkerArtwork {
public:
    static constexpr int CONTACT_SIZE = 20;
    static constexpr int GROUP_SIZE = 28;
    static constexpr int OWN_SIZE = 24;

    // The disc colour of an image kind.
    static Rgb colourOf(int kind);
    // Registers the seven images with the factory under MapMarkers::IMAGE_NAMES.
    static void registerWith(IImageFactory& factory);
};

}  // namespace fixture
