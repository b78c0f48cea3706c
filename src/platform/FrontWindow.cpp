#include "platform/FrontWindow.h"

#include <QApplication>
#include <QWidget>
#include <QWindow>

QWidget *ServedWindow()
{
    QWidget *w = QApplication::activeModalWidget();
    if (!w)
        w = QApplication::activeWindow();
    return w;
}

void KeepInFrontOf(QWidget &window, const QWidget *served)
{
    const QWidget *front = served ? served->window() : nullptr;
    if (!front || front == &window || !window.isWindow() || !front->windowHandle())
        return;
    // A window left without one is put below the window in front by some
    // window managers: it then opens where nobody sees it.
    if (front->windowFlags().testFlag(Qt::WindowStaysOnTopHint))
        window.setWindowFlag(Qt::WindowStaysOnTopHint);
    window.winId();
    window.windowHandle()->setTransientParent(front->windowHandle());
}
