#pragma once

class QWidget;

// Places a window in the middle of its screen's work area, whatever window
// owns it; a window larger than the area keeps its title bar and left edge
// in view. Called when the window is shown, it centres its frame.
void CentreOnScreen(QWidget &window);
