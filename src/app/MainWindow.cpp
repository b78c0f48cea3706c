#include "app/MainWindow.h"

#include "reception/ReportImport.h"

#include "core/DatabaseBackup.h"
#include "reception/Reception.h"
#include "core/Globals.h"
#include "views/uImages.h"
#include "reception/uMedecin.h"
#include "views/uObservances.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QMdiArea>
#include <QMdiSubWindow>

MainWindow::MainWindow(QWidget *parent)
    : TfMain(parent)
    , m_display({&database(), this, fDate(), mdiArea()})
{
}

void MainWindow::bPatientClick()
{
    m_display.bPatientClick();
}

void MainWindow::fDateChange()
{
    m_display.fDateChange();
}

void MainWindow::bImagesClick()
{
    TfImageForm::open(fDate()->currentText(), this);
}

void MainWindow::Sauvegarder1Click()
{
    DatabaseBackup backup(database(), [this] {
        if (Globals::fObservance)
            Globals::fObservance->closeAndFree();
        fDate()->clear();
    });
    // The observance window and the dates were closed for the copy: after
    // a completed backup the patient is chosen again.
    if (backup.Sauvegarder1Click() == DatabaseBackup::Outcome::Completed)
        bPatientClick();
}

void MainWindow::ImportObservances()
{
    ReportImport(*this).ImportObservances();
}

void MainWindow::bEmailClick()
{
    RunningCommand running(*this);
    // Reaching the service database can take seconds: the user sees at once
    // that the command has started.
    const QString previous = statusText(0);
    const QString starting = QStringLiteral("Réception en cours. Veuillez patienter...");
    setStatusText(0, starting);
    QCoreApplication::processEvents();
    Reception::bEmailClick(*this, [this] {
        // A close requested during the reception: the reports wait in the
        // import folder for the next run.
        if (!closeRequested())
            ImportObservances();
    });
    if (statusText(0) == starting)
        setStatusText(0, previous);
}

void MainWindow::openMailAccountForm()
{
    TfMedecin::open();
}

bool MainWindow::raiseMailAccountForm()
{
    for (QMdiSubWindow *window : mdiArea()->subWindowList()) {
        if (qobject_cast<TfMedecin *>(window->widget())) {
            mdiArea()->setActiveSubWindow(window);
            window->raise();
            return true;
        }
    }
    return false;
}
