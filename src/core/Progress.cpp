#include "core/Progress.h"
#include "ui_Progress.h"

#include "platform/FrontWindow.h"

#include <QScreen>

TFProgress::TFProgress(QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
    , ui(new Ui::TFProgress)
{
    ui->setupUi(this);
    setFixedSize(size());
    KeepInFrontOf(*this);
    if (const QScreen *screen = this->screen())
        move(screen->availableGeometry().center() - rect().center());
}

TFProgress::~TFProgress()
{
    delete ui;
}

QLabel *TFProgress::Label1() const
{
    return ui->Label1;
}

QLabel *TFProgress::LTaille() const
{
    return ui->LTaille;
}

QLabel *TFProgress::LPosition() const
{
    return ui->LPosition;
}

QProgressBar *TFProgress::ProgressBar1() const
{
    return ui->ProgressBar1;
}

void TFProgress::showEvent(QShowEvent *event)
{
    ui->LPosition->hide();
    QWidget::showEvent(event);
}
