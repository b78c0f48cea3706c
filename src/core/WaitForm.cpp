#include "core/WaitForm.h"
#include "ui_WaitForm.h"

#include "core/Globals.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QTimer>

TWaitingForm::TWaitingForm(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
    , Timer1(new QTimer(this))
    , ui(new Ui::TWaitingForm)
{
    ui->setupUi(this);
    setFixedSize(size());
    ui->Panel1->installEventFilter(this);
    Timer1->setInterval(kPollIntervalMs);
    connect(Timer1, &QTimer::timeout, this, &TWaitingForm::Timer1Timer);
    Timer1->start();
}

TWaitingForm::~TWaitingForm()
{
    delete ui;
}

void TWaitingForm::setMessage(const QString &message)
{
    ui->Label1->setText(message);
}

QString TWaitingForm::message() const
{
    return ui->Label1->text();
}

bool TWaitingForm::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == ui->Panel1 && event->type() == QEvent::MouseButtonRelease
        && static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton) {
        Panel1Click();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void TWaitingForm::keyPressEvent(QKeyEvent *event)
{
    // No way out by the keyboard either: Escape would cancel the wait.
    if (event->key() == Qt::Key_Escape)
        return;
    QDialog::keyPressEvent(event);
}

void TWaitingForm::Timer1Timer()
{
    if (Globals::WaitingFinished) {
        Timer1->stop();
        accept();
    }
}

void TWaitingForm::Panel1Click()
{
    accept();
}

void ShowWaitingForm(const QString &programPath, const QString &message)
{
    TWaitingForm form(QApplication::activeWindow());
    form.setMessage(message);
    form.setProgramPath(programPath);
    form.exec();
}
