#include "reception/uMedecin.h"
#include "ui_uMedecin.h"

#include "core/Globals.h"
#include "platform/LocalTables.h"
#include "core/Main.h"

#include <QCloseEvent>
#include <QIntValidator>
#include <QKeyEvent>
#include <QMdiArea>
#include <QMdiSubWindow>

TfMedecin::TfMedecin(LocalTable &mailTable, QWidget *parent)
    : QWidget(parent)
    , ui(new Ui::TfMedecin)
    , m_editor(mailTable)
{
    ui->setupUi(this);
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QString());
    // The password shows one "*" a character, whatever the style draws.
    ui->EdPassword->setStyleSheet(QStringLiteral("lineedit-password-character: 42"));
    ui->EdPopPort->setValidator(new QIntValidator(0, 65535, ui->EdPopPort));
    ui->EdPopPort->setMaxLength(5);
    // The table cuts a longer text when it stores it: no edit may hold more
    // than its field keeps, so what the test tries is what is saved.
    const std::pair<QLineEdit *, const char *> sizedFields[] = {{ui->EdNom, "COMPTE"},
                                                                {ui->EdFrom, "ADRESSE"},
                                                                {ui->EdPOP3Server, "SERVEUR_POP3"},
                                                                {ui->EdLogin, "LOGIN"},
                                                                {ui->EdPassword, "PASSWORD"}};
    for (const auto &[edit, name] : sizedFields) {
        for (const FieldDef &def : mailTable.fields()) {
            if (def.name.compare(QLatin1String(name), Qt::CaseInsensitive) == 0 && def.size > 0)
                edit->setMaxLength(def.size);
        }
    }

    const MailAccountTexts record = m_editor.load();
    ui->EdNom->setText(record.nom);
    ui->EdFrom->setText(record.from);
    ui->EdPOP3Server->setText(record.server);
    ui->EdPopPort->setText(record.port);
    ui->cbSecured->setChecked(record.secured);
    ui->EdLogin->setText(record.login);
    ui->EdPassword->setText(record.password);

    // Typing after a save puts the record back into edit state.
    for (QLineEdit *edit : {ui->EdNom, ui->EdFrom, ui->EdPOP3Server, ui->EdPopPort, ui->EdLogin, ui->EdPassword})
        connect(edit, &QLineEdit::textEdited, this, [this] { m_editor.beginEdit(); });
    connect(ui->cbSecured, &QCheckBox::clicked, this, [this] {
        m_securedChanged = true;
        m_editor.beginEdit();
    });
    connect(ui->CBShowChar, &QCheckBox::clicked, this, &TfMedecin::CBShowCharClick);
    connect(ui->bTester, &QPushButton::clicked, this, &TfMedecin::bTesterClick);
    connect(ui->BValider, &QPushButton::clicked, this, &TfMedecin::BValiderClick);
    connect(ui->bFermer, &QPushButton::clicked, this, &TfMedecin::bFermerClick);
    for (QWidget *control : findChildren<QWidget *>())
        control->installEventFilter(this);
    FormCreate();
}

TfMedecin::~TfMedecin()
{
    delete ui;
}

TfMedecin *TfMedecin::open()
{
    TfMain *main = Globals::fMain;
    if (!main)
        return nullptr;
    auto *form = new TfMedecin(main->database().TMail);
    QMdiSubWindow *window = main->mdiArea()->addSubWindow(form);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->showMaximized();
    return form;
}

void TfMedecin::FormCreate()
{
    ui->lTitle->setText(QStringLiteral("Paramètres de messagerie internet"));
    ui->lHint->setText(
        QStringLiteral("Chacun de ces paramètres peut être obligatoire pour que votre compte de messagerie fonctionne."));
    ui->lUserInfo->setText(QStringLiteral("Informations sur l'utilisateur :"));
    ui->lServerInfo->setText(QStringLiteral("Informations sur le serveur :"));
    ui->cbSecured->setText(QStringLiteral("connexion chiffrée (SSL)"));
    ui->CBShowChar->setText(QStringLiteral("afficher les caractères"));
    ui->bTester->setText(QStringLiteral("&Tester les paramètres"));
}

void TfMedecin::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (!event->spontaneous())
        FormShow();
}

void TfMedecin::FormShow()
{
    m_editor.takeSnapshot();
}

MailAccountTexts TfMedecin::texts() const
{
    MailAccountTexts t;
    t.nom = ui->EdNom->text();
    t.from = ui->EdFrom->text();
    t.server = ui->EdPOP3Server->text();
    t.port = ui->EdPopPort->text();
    t.secured = ui->cbSecured->isChecked();
    t.login = ui->EdLogin->text();
    t.password = ui->EdPassword->text();
    return t;
}

void TfMedecin::CBShowCharClick()
{
    ui->EdPassword->setEchoMode(ui->CBShowChar->isChecked() ? QLineEdit::Normal : QLineEdit::Password);
}

void TfMedecin::bTesterClick()
{
    MailAccountTexts t = texts();
    const MailAccountEditor::TestResult result = MailAccountEditor::testConnection(t);
    if (t.port != ui->EdPopPort->text()) {
        ui->EdPopPort->setText(t.port);
        m_editor.beginEdit();
    }
    switch (result) {
    case MailAccountEditor::TestResult::PortMissing:
    case MailAccountEditor::TestResult::BadPort:
        ui->EdPopPort->setFocus();
        break;
    case MailAccountEditor::TestResult::Succeeded:
        ui->BValider->setEnabled(true);
        ui->bTester->setEnabled(false);
        break;
    case MailAccountEditor::TestResult::Failed:
        ui->EdNom->setFocus();
        break;
    }
}

void TfMedecin::BValiderClick()
{
    const bool saved = m_editor.save(texts(), m_securedChanged);
    ui->BValider->setEnabled(false);
    if (!saved)
        closeForm();
}

void TfMedecin::bFermerClick()
{
    closeForm();
}

void TfMedecin::closeForm()
{
    if (auto *window = qobject_cast<QMdiSubWindow *>(parentWidget()))
        window->close();
    else
        close();
}

QPushButton *TfMedecin::buttonForKey(const QKeyEvent &key) const
{
    const QKeySequence pressed(key.keyCombination());
    for (QPushButton *button : {ui->bTester, ui->BValider, ui->bFermer}) {
        if (button->isVisible() && button->isEnabled() && QKeySequence::mnemonic(button->text()) == pressed)
            return button;
    }
    return nullptr;
}

bool TfMedecin::eventFilter(QObject *watched, QEvent *event)
{
    // The main window's menus answer Alt and a letter too ("Con&figuration"
    // and "&Fermer", "&Transfert" and "&Tester"): within the form its own
    // buttons come first, and the letter is not typed into an edit.
    if (event->type() == QEvent::ShortcutOverride || event->type() == QEvent::KeyPress) {
        if (QPushButton *button = buttonForKey(*static_cast<QKeyEvent *>(event))) {
            event->accept();
            if (event->type() == QEvent::KeyPress)
                button->click();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void TfMedecin::keyPressEvent(QKeyEvent *event)
{
    // Enter presses the default button "&Enregistrer" when it is enabled,
    // as in a dialog; on another button it presses that button.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        auto *focused = qobject_cast<QPushButton *>(focusWidget());
        if (focused && focused->isEnabled())
            focused->click();
        else if (ui->BValider->isEnabled())
            ui->BValider->click();
        event->accept();
        return;
    }
    QWidget::keyPressEvent(event);
}

void TfMedecin::closeEvent(QCloseEvent *event)
{
    // The closing is never refused; the check runs once.
    if (!m_closing) {
        m_closing = true;
        m_editor.closeQuery(texts(), m_securedChanged);
    }
    event->accept();
}

QLineEdit *TfMedecin::EdNom() const { return ui->EdNom; }
QLineEdit *TfMedecin::EdFrom() const { return ui->EdFrom; }
QLineEdit *TfMedecin::EdPOP3Server() const { return ui->EdPOP3Server; }
QLineEdit *TfMedecin::EdPopPort() const { return ui->EdPopPort; }
QCheckBox *TfMedecin::cbSecured() const { return ui->cbSecured; }
QLineEdit *TfMedecin::EdLogin() const { return ui->EdLogin; }
QLineEdit *TfMedecin::EdPassword() const { return ui->EdPassword; }
QCheckBox *TfMedecin::CBShowChar() const { return ui->CBShowChar; }
QPushButton *TfMedecin::bTester() const { return ui->bTester; }
QPushButton *TfMedecin::BValider() const { return ui->BValider; }
QPushButton *TfMedecin::bFermer() const { return ui->bFermer; }
