#include "views/UNewPatient.h"
#include "ui_UNewPatient.h"

#include "platform/Dialogs.h"
#include "core/Globals.h"
#include "core/NameDateRoutines.h"

#include <QScreen>
#include <QStyle>

TfNewPatient::TfNewPatient(QWidget *parent) : QDialog(parent), ui(new Ui::TfNewPatient)
{
    ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                   | Qt::WindowCloseButtonHint);
    setFixedSize(385, 184);
    ui->Image1->setPixmap(style()->standardIcon(QStyle::SP_FileDialogNewFolder).pixmap(32, 32));
    connect(ui->BitBtn1, &QPushButton::clicked, this, &TfNewPatient::BitBtn1Click);
    connect(ui->BitBtn2, &QPushButton::clicked, this, &TfNewPatient::reject);
    Globals::fNewPatient = this;
}

TfNewPatient::~TfNewPatient()
{
    if (Globals::fNewPatient == this)
        Globals::fNewPatient = nullptr;
    delete ui;
}

void TfNewPatient::prefill(const QString &nom, const QString &prenom, const QString &neLe)
{
    ui->Nom->setText(nom);
    ui->Prenom->setText(prenom);
    if (NameRoutines::IsDateText(neLe))
        ui->Ne_le->setText(neLe);
}

NewPatientInput TfNewPatient::input() const
{
    // The mask's text drops the empty positions; the shown text keeps them.
    QString neLe = ui->Ne_le->displayText();
    neLe.replace(QLatin1Char('_'), QLatin1Char(' '));
    return {ui->Nom->text(), ui->Prenom->text(), neLe};
}

void TfNewPatient::BitBtn1Click()
{
    const QString error = NewPatientRules::validationError(input());
    if (!error.isEmpty()) {
        Dialogs::instance().error(error);
        return;
    }
    done(1);
}

void TfNewPatient::reject()
{
    done(2);
}

void TfNewPatient::FormShow()
{
    if (QScreen *s = screen())
        move(s->availableGeometry().center() - rect().center());
    raise();
    activateWindow();
}

void TfNewPatient::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    FormShow();
}

QLineEdit *TfNewPatient::Nom() const { return ui->Nom; }
QLineEdit *TfNewPatient::Prenom() const { return ui->Prenom; }
QLineEdit *TfNewPatient::Ne_le() const { return ui->Ne_le; }
QPushButton *TfNewPatient::BitBtn1() const { return ui->BitBtn1; }
QPushButton *TfNewPatient::BitBtn2() const { return ui->BitBtn2; }
