#pragma once

#include "views/NewPatientRules.h"

#include <QDialog>

class QLineEdit;
class QPushButton;

namespace Ui {
class TfNewPatient;
}

// The small dialog in which the user types the identity of a new patient.
// It closes with 1 once the name and first name follow the writing rules,
// with 2 when cancelled; the caller then stores the patient.
class TfNewPatient : public QDialog
{
    Q_OBJECT
public:
    explicit TfNewPatient(QWidget *parent = nullptr);
    ~TfNewPatient() override;

    // The identity of the report being identified; the date only when it
    // holds digits and "/" alone.
    void prefill(const QString &nom, const QString &prenom, const QString &neLe);
    // The typed identity; the date with blanks where no digit was typed.
    NewPatientInput input() const;

    void BitBtn1Click();
    void FormShow();

    QLineEdit *Nom() const;
    QLineEdit *Prenom() const;
    QLineEdit *Ne_le() const;
    QPushButton *BitBtn1() const;
    QPushButton *BitBtn2() const;

public slots:
    void reject() override;

protected:
    void showEvent(QShowEvent *event) override;

private:
    Ui::TfNewPatient *ui;
};
