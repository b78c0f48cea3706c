#include "core/ScreenPlacement.h"

#include <QScreen>
#include <QWidget>

#include <algorithm>

void CentreOnScreen(QWidget &window)
{
    const QScreen *screen = window.screen();
    if (!screen)
        return;
    const QRect area = screen->availableGeometry();
    // Its frame is known once it is shown.
    const QPoint centred = area.center() - QRect(QPoint(), window.frameGeometry().size()).center();
    window.move(std::max(centred.x(), area.left()), std::max(centred.y(), area.top()));
}
