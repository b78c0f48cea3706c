#include "Main.h"

#include "ui_Main.h"

#include "Common.h"
#include "Configuration.h"
#include "Globals.h"
#include "ProgramFolder.h"
#include "uStartup.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QProcess>
#include <QShowEvent>
#include <QTimer>

TfMain::TfMain(QWidget *parent)
    : QMainWindow(parent)
    , tmrClose(new QTimer(this))
    , tmrOpenPatient(new QTimer(this))
    , ui(new Ui::TfMain)
{
    ui->setupUi(this);
    setCentralWidget(ui->mdiArea);

    tmrClose->setObjectName(QStringLiteral("tmrClose"));
    tmrClose->setInterval(500);
    connect(tmrClose, &QTimer::timeout, this, &TfMain::tmrCloseTimer);

    tmrOpenPatient->setObjectName(QStringLiteral("tmrOpenPatient"));
    tmrOpenPatient->setInterval(500);
    connect(tmrOpenPatient, &QTimer::timeout, this, &TfMain::tmrOpenPatientTimer);
}

TfMain::~TfMain()
{
    FormDestroy();
    delete ui;
}

QMdiArea *TfMain::mdiArea() const
{
    return ui->mdiArea;
}

void TfMain::showStartupStep(const QString &text)
{
    if (Globals::fStartup)
        Globals::fStartup->setStep(text);
    QCoreApplication::processEvents();
}

void TfMain::FormCreate()
{
    // 1. Caption.
    setWindowTitle(QStringLiteral("Tolvarenix Light - "));

    // 2. Desktop shortcut.
    CreateDesktopShortcut(ProgramFolder::programFile(), QString(), QStringLiteral("Tolvarenix Light"),
                          QStringLiteral("Démarrer Tolvarenix Light"));

    // 3. Configuration, data folders, leftovers of the last run.
    showStartupStep(QStringLiteral("Lecture de la configuration..."));
    Configuration::prepare();
}

void TfMain::FormShow()
{
}

void TfMain::tmrOpenPatientTimer()
{
    tmrOpenPatient->stop();
}

void TfMain::eventLoopStarted()
{
    m_eventLoopRunning = true;
}

void TfMain::tmrCloseTimer()
{
    // While the window is still being created (a modal box of a start-up
    // step lets timers fire) closing would only hide it: the timer stays
    // armed and closes the window at a later tick, once the loop runs.
    if (!m_eventLoopRunning || m_closed)
        return;
    close();
}

void TfMain::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    if (event->spontaneous() || m_shown)
        return;
    m_shown = true;
    FormShow();
}

void TfMain::closeEvent(QCloseEvent *event)
{
    if (m_closed) {
        event->accept();
        return;
    }
    // Children are asked first; one refusal stops the close.
    ui->mdiArea->closeAllSubWindows();
    if (!ui->mdiArea->subWindowList().isEmpty()) {
        event->ignore();
        return;
    }
    bool canClose = true;
    FormCloseQuery(canClose);
    if (!canClose) {
        event->ignore();
        return;
    }
    FormClose();
    m_closed = true;
    event->accept();
    emit closingHandlersRan();
    QCoreApplication::quit();
}

void TfMain::FormCloseQuery(bool &canClose)
{
    canClose = true;
}

void TfMain::FormClose()
{
}

void TfMain::FormDestroy()
{
}
