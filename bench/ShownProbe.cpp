// Loaded into a program by LD_PRELOAD: ends the process at once, with exit
// status 0, as soon as its first main window (a QMainWindow) has been
// exposed and painted. The start-up benchmark times whole processes up to
// that moment, for the program and for its floor alike.

#include <QApplication>
#include <QCoreApplication>
#include <QEvent>
#include <QMainWindow>
#include <QTimer>
#include <QWidget>
#include <QWindow>

#include <unistd.h>

namespace {

class ShownProbe : public QObject
{
public:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Expose && !m_seen) {
            auto *window = qobject_cast<QWindow *>(watched);
            if (window && window->isExposed() && isMainWindow(window)) {
                m_seen = true;
                // Once this expose (and the painting it starts) is handled.
                QTimer::singleShot(0, [] { ::_exit(0); });
            }
        }
        return false;
    }

private:
    static bool isMainWindow(QWindow *window)
    {
        const auto widgets = QApplication::topLevelWidgets();
        for (QWidget *widget : widgets) {
            if (widget->windowHandle() == window)
                return qobject_cast<QMainWindow *>(widget) != nullptr;
        }
        return false;
    }

    bool m_seen = false;
};

void installProbe()
{
    QCoreApplication::instance()->installEventFilter(new ShownProbe);
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(installProbe)
