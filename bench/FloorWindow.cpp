// The floor of the start-up: a minimal Qt Widgets program showing a window.

#include <QApplication>
#include <QMainWindow>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QMainWindow window;
    window.setWindowTitle(QStringLiteral("Tolvarenix Light - "));
    window.showMaximized();
    return QApplication::exec();
}
