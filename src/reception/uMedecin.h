#pragma once

#include "reception/MailAccountEditor.h"

#include <QWidget>

class LocalTable;
class QCheckBox;
class QLineEdit;
class QPushButton;

namespace Ui {
class TfMedecin;
}

// The mail account form: an MDI child of the main window that edits the one
// record of "Mail.db" (the table is in insert or edit state when the form
// opens), tests the POP3 settings and saves the record. It frees itself when
// closed.
class TfMedecin : public QWidget
{
    Q_OBJECT
public:
    TfMedecin(LocalTable &mailTable, QWidget *parent = nullptr);
    ~TfMedecin() override;

    // Creates the form for the main window's TMail inside its MDI area,
    // maximised and shown (the main window's openMailAccountForm()).
    static TfMedecin *open();

    void FormCreate();
    void FormShow();
    void CBShowCharClick();
    void bTesterClick();
    void BValiderClick();
    void bFermerClick();

    MailAccountTexts texts() const;

    QLineEdit *EdNom() const;
    QLineEdit *EdFrom() const;
    QLineEdit *EdPOP3Server() const;
    QLineEdit *EdPopPort() const;
    QCheckBox *cbSecured() const;
    QLineEdit *EdLogin() const;
    QLineEdit *EdPassword() const;
    QCheckBox *CBShowChar() const;
    QPushButton *bTester() const;
    QPushButton *BValider() const;
    QPushButton *bFermer() const;

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void closeForm();
    // The form's button whose access key (Alt and its underlined letter) this is.
    QPushButton *buttonForKey(const QKeyEvent &key) const;

    Ui::TfMedecin *ui;
    MailAccountEditor m_editor;
    bool m_securedChanged = false;
    bool m_closing = false;
};
