#pragma once

class QMenu;
class QWidget;

// Opens a popup menu above a button of the bottom bar (below it only where there is no room
// above), left-aligned with the button. Does not wait for the choice.
void popupAbove(QMenu& menu, QWidget& button);
