#pragma once

class QWidget;

// Which variant of the artwork a screen gets. A screen of at least 241 x 321 pixels, in
// either orientation, counts as high resolution: its bars and icons are larger. Widgets
// choose once, when they are made, from the screen they are on.
class ScreenResolution {
public:
    static bool isHigh(int width, int height) {
        return (width >= 241 && height >= 321) || (width >= 321 && height >= 241);
    }
    // The screen of the widget (the primary screen when it has none yet).
    static bool isHighFor(const QWidget* widget);

    // Icon sizes in device-independent pixels.
    static int barIconSize(bool high) { return high ? 28 : 16; }
    static int listIconSize(bool high) { return high ? 20 : 12; }
    static int menuIconSize(bool high) { return high ? 20 : 12; }
};
