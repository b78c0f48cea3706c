// Program entry of Tolvarenix Light.

#include "core/ApplicationSetup.h"
#include "core/Configuration.h"
#include "core/LocalDatabase.h"
#include "core/Globals.h"
#include "app/MainWindow.h"
#include "platform/TerminationSignals.h"
#include "core/uStartup.h"

#include <QApplication>
#include <QTimer>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Tolvarenix Light - Visualiseur des observances"));
    QGuiApplication::setQuitOnLastWindowClosed(false);
    ApplicationSetup::installQtFrench(app);
    ApplicationSetup::applyLook(app);
    // The tables' keys took a fifth of the start-up: they are derived on
    // other threads while the windows are built.
    LocalDatabase::deriveKeysAhead(Configuration::baseFolder());

    // The session ending asks the main window to close: open boxes end as
    // cancelled, then the closing timer closes it like any other end.
    TerminationSignals termination;

    QApplication::setOverrideCursor(Qt::WaitCursor);

    Globals::fStartup = new TfStartup;
    Globals::fStartup->show();
    Globals::fStartup->repaint();
    QCoreApplication::processEvents();

    auto *mainWindow = new MainWindow;
    Globals::fMain = mainWindow;
    QObject::connect(&termination, &TerminationSignals::terminationRequested, mainWindow, &TfMain::requestClose);
    // A desktop session ending (logout) asks the same.
    QObject::connect(&app, &QGuiApplication::commitDataRequest, mainWindow, [mainWindow] { mainWindow->requestClose(); });
    QObject::connect(mainWindow, &TfMain::closingHandlersRan, &app, &QCoreApplication::quit, Qt::QueuedConnection);
    mainWindow->FormCreate();

    Globals::fStartup->close();
    delete Globals::fStartup;
    Globals::fStartup = nullptr;

    QApplication::restoreOverrideCursor();

    mainWindow->showMaximized();
    QTimer::singleShot(0, mainWindow, &TfMain::eventLoopStarted);
    const int result = QApplication::exec();

    Globals::fMain = nullptr;
    delete mainWindow;
    return result;
}
