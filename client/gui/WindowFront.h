#pragma once

class QWidget;

// Shows a window and brings it to the front (restored when minimised), as far as the
// platform lets a program do that. GUI thread only.
void bringWindowToFront(QWidget& window);
