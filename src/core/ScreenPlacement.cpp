#include "core/ScreenPlacement.h"

#include <QEvent>
#include <QLayout>
#include <QScreen>
#include <QScrollArea>
#include <QStyle>
#include <QVBoxLayout>
#include <QWidget>

#include <algorithm>

namespace {

QMargins knownFrameOf(const QWidget &window)
{
    const QRect frame = window.frameGeometry(), inner = window.geometry();
    return {inner.left() - frame.left(), inner.top() - frame.top(), frame.right() - inner.right(),
            frame.bottom() - inner.bottom()};
}

// The window's frame: known once a window manager has framed it; before
// that, a title bar and a thin border are counted, so that a window sized
// and placed before it is framed still lies wholly on the screen.
QMargins frameOf(const QWidget &window)
{
    const QMargins known = knownFrameOf(window);
    if (!known.isNull() || window.windowFlags().testFlag(Qt::FramelessWindowHint))
        return known;
    constexpr int border = 5;
    const int title = window.style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, &window);
    return {border, border + title, border, border};
}

class ScreenFitter : public QObject
{
public:
    using QObject::QObject;
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Show && !event->spontaneous())
            FitToScreen(*static_cast<QWidget *>(watched));
        return false;
    }
};

} // namespace

void CentreOnScreen(QWidget &window)
{
    const QScreen *screen = window.screen();
    if (!screen)
        return;
    const QRect area = screen->availableGeometry();
    const QMargins frame = frameOf(window);
    const QPoint centred = area.center() - QRect(QPoint(), window.size().grownBy(frame)).center();
    QPoint at(std::max(centred.x(), area.left()), std::max(centred.y(), area.top()));
    // Until the frame is known, a window is placed by its inside: the
    // window manager then puts the frame around it.
    if (knownFrameOf(window).isNull())
        at += QPoint(frame.left(), frame.top());
    window.move(at);
}

void FitToScreen(QWidget &window)
{
    const QScreen *screen = window.screen();
    if (!screen)
        return;
    const QSize room = screen->availableGeometry().size().shrunkBy(frameOf(window));
    if (room.expandedTo(window.size()) != room)
        window.resize(window.size().boundedTo(room));
    CentreOnScreen(window);
}

void FitOnScreen(QWidget &window)
{
    if (QLayout *layout = window.layout()) {
        auto *content = new QWidget;
        content->setLayout(layout); // takes the layout's widgets along
        auto *area = new QScrollArea;
        area->setFrameShape(QFrame::NoFrame);
        area->setWidgetResizable(true);
        area->setWidget(content);
        // The keyboard stays with the window's controls: the area takes no
        // focus, so that its first control gets it when the window opens.
        area->setFocusPolicy(Qt::NoFocus);
        area->viewport()->setFocusPolicy(Qt::NoFocus);
        auto *outer = new QVBoxLayout(&window);
        outer->setContentsMargins(0, 0, 0, 0);
        outer->addWidget(area);
    }
    window.installEventFilter(new ScreenFitter(&window));
}
