#include "MainWindow.h"

#include "uMedecin.h"

MainWindow::MainWindow(QWidget *parent)
    : TfMain(parent)
    , m_display(*this)
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

void MainWindow::openMailAccountForm()
{
    TfMedecin::open();
}
