#pragma once

class QWidget;

// Places a window in the middle of its screen's work area, whatever window
// owns it; a window larger than the area keeps its title bar and left edge
// in view. Called when the window is shown, it centres its frame.
void CentreOnScreen(QWidget &window);

// Keeps the window's size where its screen's work area holds it, takes the
// area where it does not, and centres it there. Until a window manager has
// framed it, a title bar and a border are counted and the window is placed
// by its inside.
void FitToScreen(QWidget &window);

// For a window whose size a small screen may not hold: its laid-out content
// goes into a scrolling area, and each time it is shown the window keeps its
// own size where the screen's work area holds it, takes the area where it
// does not, and is centred on it. The keyboard goes to its first control,
// never to the scrolling area.
void FitOnScreen(QWidget &window);
