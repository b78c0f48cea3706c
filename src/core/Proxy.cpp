#include "core/Proxy.h"

#include "core/DebugTrace.h"

#include "ui_Proxy.h"

#include "platform/Dialogs.h"
#include "core/Globals.h"
#include "platform/HttpClient.h"
#include "platform/IniFile.h"
#include "core/LogWriter.h"
#include "platform/ProgramFolder.h"
#include "core/RemoteDatabase.h"
#include "core/ServerSettings.h"
#include "core/SettingScrambler.h"
#include "platform/TextRules.h"

#include <QEvent>
#include <QFocusEvent>

#include <memory>

using SettingScrambler::DecodeSetting;
using SettingScrambler::EncodeSetting;

namespace {

} // namespace

TfProxy::TfProxy(const StartupNeeds &parts, QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint)
    , ui(new Ui::TfProxy)
    , m_parts(parts)
{
    ui->setupUi(this);
    setWindowState(Qt::WindowMaximized);
    connect(ui->BtVerifier, &QPushButton::clicked, this, &TfProxy::BtVerifierClick);
    connect(ui->BtValider, &QPushButton::clicked, this, &QDialog::accept);
    connect(ui->BitBtn2, &QPushButton::clicked, this, &QDialog::reject);
    ui->EdHTTPPort->installEventFilter(this);
    ui->EdFTPPort->installEventFilter(this);
    FormCreate();
}

TfProxy::~TfProxy()
{
    delete ui;
}

void TfProxy::FormCreate()
{
    setWindowTitle(QStringLiteral("Paramétrage du proxy internet"));
    ui->Label4->setText(QStringLiteral("Paramètres du proxy"));
    ui->Label14->setText(
        QStringLiteral("Ces données seront enregistrées sous une forme cryptée. Les paramètres affichés en"));
    ui->Label15->setText(
        QStringLiteral("Attention, le port 3306 utilisé par le driver MySQL doit impérativement être ouvert."));
    ui->Label9->setText(QStringLiteral("Paramétrage des connexions HTTP :"));
    ui->Label2->setText(QStringLiteral("- code d'accès :"));
    ui->Label3->setText(QStringLiteral("- numéro de port :"));
    ui->Label7->setText(QStringLiteral("Paramétrage des connexions FTP :"));
    ui->Label11->setText(QStringLiteral("- code d'accès :"));
    ui->Label12->setText(QStringLiteral("- numéro de port :"));
    ui->BtVerifier->setText(QStringLiteral("&Tester les paramètres"));
}

// The fields of section "Proxy", in the order they are read and written.
struct ProxyField {
    const char *key;
    QLineEdit *Ui::TfProxy::*edit;
};

static const ProxyField kFields[] = {
    {"HTTPServer", &Ui::TfProxy::EdHTTPServer},   {"HTTPUserName", &Ui::TfProxy::EdHTTPUserName},
    {"HTTPPassword", &Ui::TfProxy::EdHTTPPassword}, {"HTTPPort", &Ui::TfProxy::EdHTTPPort},
    {"HTTPBasicAuthentification", nullptr},         {"FTPHost", &Ui::TfProxy::EdFTPHost},
    {"FTPUserName", &Ui::TfProxy::EdFTPUserName},   {"FTPPassword", &Ui::TfProxy::EdFTPPassword},
    {"FTPPort", &Ui::TfProxy::EdFTPPort},
};

void TfProxy::ReadProxySettings()
{
    DebugTrace::show(QStringLiteral("Lecture des paramètres du proxy..."));
    const IniFile ini(ProgramFolder::configurationFile());
    const QString section = QLatin1String(kSection);
    for (const ProxyField &field : kFields) {
        const QString stored = ini.readString(section, QLatin1String(field.key));
        if (stored.isEmpty())
            continue;
        const QString clear = DecodeSetting(stored);
        if (field.edit)
            (ui->*field.edit)->setText(clear);
        else
            ui->CBHTTPBasicAuthentification->setChecked(clear == u"true");
    }
    DebugTrace::show(QStringLiteral("Lecture des paramètres du proxy terminée."));
}

void TfProxy::WriteProxySettings()
{
    IniFile ini(ProgramFolder::configurationFile());
    const QString section = QLatin1String(kSection);
    for (const ProxyField &field : kFields) {
        if (field.edit) {
            const QString text = TextRules::trim32((ui->*field.edit)->text());
            if (!text.isEmpty())
                ini.writeString(section, QLatin1String(field.key), EncodeSetting(text));
        } else if (ui->CBHTTPBasicAuthentification->isChecked()) {
            ini.writeString(section, QLatin1String(field.key), EncodeSetting(QStringLiteral("true")));
        }
    }
}

void TfProxy::applyHttpFields()
{
    HttpProxy proxy = m_parts.http->proxy();
    proxy.host = TextRules::trim32(ui->EdHTTPServer->text());
    proxy.user = TextRules::trim32(ui->EdHTTPUserName->text());
    proxy.password = ui->EdHTTPPassword->text();
    proxy.basicAuthentication = ui->CBHTTPBasicAuthentification->isChecked();
    // "0" keeps the port in force; so does a text that is no port number
    // (a damaged stored value must not stop the start-up).
    const QString portText = TextRules::trim32(ui->EdHTTPPort->text());
    if (portText != u"0") {
        bool ok = false;
        const int port = portText.toInt(&ok, 10);
        if (ok && port > 0 && port < 65536)
            proxy.port = port;
    }
    m_parts.http->setProxy(proxy);
}

QString TfProxy::fetchCode(const QString &URL, bool *fetched)
{
    QByteArray body;
    const HttpResult result = m_parts.http->get(URL, body);
    if (fetched)
        *fetched = result.ok;
    if (!result.ok)
        return {};
    const QString code = DecodeSetting(TextRules::trim32(QString::fromLatin1(body)));
    return SettingScrambler::isUsable(code) ? code : QString();
}

bool TfProxy::TextParams(const QString &URL)
{
    applyHttpFields();
    DebugTrace::show(QStringLiteral("fProxy.TextParams : exécution de IdHTTP1.Get(File_Name)..."));
    bool fetched = false;
    const QString code = fetchCode(URL, &fetched);
    if (!fetched) {
        DebugTrace::show(QStringLiteral("fProxy.TextParams : exécution de IdHTTP1.Get(File_Name) échouée"));
        return false;
    }
    DebugTrace::show(QStringLiteral("fProxy.TextParams : exécution de IdHTTP1.Get(File_Name) réussie"));

    // A page that is not an access code (an error page, a portal) is a
    // failed fetch: it never becomes the database password.
    if (!code.isEmpty()) {
        ConfigureDatabaseAlias(code);
        if (!m_parts.http->connected() && !m_parts.http->connectToServer().ok)
            DebugTrace::show(QStringLiteral("La connexion de fMain.IdHTTP1.Connected a échoué."));
    }
    DebugTrace::show(m_parts.http->connected() ? QStringLiteral("fProxy.TextParams : fMain.IdHTTP1.Connected=True")
                                    : QStringLiteral("fProxy.TextParams : fMain.IdHTTP1.Connected=False"));
    DebugTrace::show(code.isEmpty() ? QStringLiteral("fProxy.TextParams : S est vide")
                         : QStringLiteral("fProxy.TextParams : S n'est pas vide"));
    return !code.isEmpty();
}

void TfProxy::ConfigureDatabaseAlias(const QString &Code)
{
    RemoteDatabase &database = *m_parts.database;
    const QStringList params = {QStringLiteral("USER NAME=") + QLatin1String(RemoteDatabase::kUserName),
                                QStringLiteral("PASSWORD=") + Code};
    QString error;
    if (!database.aliasExists()) {
        if (!database.addAlias(params, &error)) {
            Dialogs::instance().beep(Dialogs::Beep::Default);
            LogWriter::write(QStringLiteral("Erreur lors du paramétrage de la connexion au serveur internet : ") + error
                             + QStringLiteral("\nFermeture du programme."));
            m_parts.armClose();
            return;
        }
    } else if (!database.modifyAlias(params, &error)) {
        Dialogs::instance().beep(Dialogs::Beep::Default);
        LogWriter::write(
            QStringLiteral("Erreur lors de la modification du paramétrage de la connexion au serveur internet : ")
            + error);
    }
    if (Code != QLatin1String(Globals::kDatabasePassword)) {
        LogWriter::addSecret(Code);
        database.setPassword(Code);
    }
}

void TfProxy::CheckProxy(const StartupNeeds &parts, QString Code, const QString &URL)
{
    auto dialog = std::make_unique<TfProxy>(parts);
    dialog->ReadProxySettings();

    if (!dialog->TextParams(URL)) {
        Dialogs &dialogs = Dialogs::instance();
        while (Code.isEmpty()) {
            const bool retry = dialogs.ask(
                Dialogs::Kind::Error,
                QStringLiteral("Impossible d'accéder au site internet de Tolvarenix. Ceci peut être dû à votre "
                               "parefeu ou à la présence d'un proxy bloquant les accès.\nSi vous utilisez un "
                               "parefeu, veuillez le paramétrer afin qu'il ne bloque pas le fonctionnement de "
                               "Tolvarenix Light (programme [")
                    + ProgramFolder::programFile()
                    + QStringLiteral("]).\n\nSouhaitez-vous retenter la connexion ?"));
            if (!retry)
                break;
            Code = dialog->fetchCode(URL);
            if (!Code.isEmpty()) {
                dialog->ConfigureDatabaseAlias(Code);
                if (!parts.http->connected())
                    parts.http->connectToServer();
            }
        }

        if (Code.isEmpty()) {
            const bool useProxy = dialogs.question(QStringLiteral("Utilisez-vous un proxy pour vos accès internet ?"));
            const bool accepted = useProxy && dialog->exec() == QDialog::Accepted;
            if (dialog->programEnding())
                return;
            if (!accepted) {
                dialogs.warning(QStringLiteral("Fermeture de Tolvarenix Light. Veuillez vérifier votre connexion à "
                                               "internet et relancez ensuite le programme."));
                parts.armClose();
                return;
            }
            DebugTrace::show(QStringLiteral("TfProxy.CheckProxy : enregistrement des paramètres du proxy saisis..."));
            dialog->WriteProxySettings();
            DebugTrace::show(QStringLiteral("TfProxy.CheckProxy : réception du code d'accès..."));
            // The successful test already configured the alias; this fetch
            // only confirms it, and its failure stops nothing.
            QByteArray body;
            const HttpResult result = parts.http->get(URL, body);
            if (!result.ok)
                LogWriter::write(QStringLiteral("Erreur lors de la connexion à internet : ") + result.error);
            DebugTrace::show(QStringLiteral("TfProxy.CheckProxy : code d'accès=") + QString::fromLatin1(body));
        }
    }
    DebugTrace::show(QStringLiteral("TfProxy.CheckProxy : terminé"));
}

void TfProxy::BtVerifierClick()
{
    Dialogs &dialogs = Dialogs::instance();
    if (TextRules::trim32(ui->EdHTTPUserName->text()).isEmpty()
        || TextRules::trim32(ui->EdHTTPPassword->text()).isEmpty()) {
        dialogs.error(QStringLiteral("Veuillez oompléter tous les champs nécessaires."));
        return;
    }
    if (TextParams(ServerSettings::accessCodeUrl())) {
        ui->BtValider->setEnabled(true);
        DebugTrace::show(QStringLiteral("fProxy.BtVerifierClick_fin : BtVallider.Enabled = 1"));
        return;
    }
    const bool change = dialogs.ask(
        Dialogs::Kind::Error,
        QStringLiteral("Impossible d'accéder au site internet de Tolvarenix avec ces paramètres du proxy.\n\n"
                       "Souhaitez-vous les modifier pour réessayer (il est possible que votre parefeu bloque aussi "
                       "l'accès) ?"));
    if (change)
        return;
    dialogs.warning(QStringLiteral("Fermeture de Selvantine."));
    // The program ends through its closing timer, so the closing handlers
    // still run and nothing is left half-written.
    m_programEnding = true;
    m_parts.endProgramNow();
    reject();
}

bool TfProxy::portExit(QLineEdit *edit)
{
    bool ok = false;
    edit->text().toInt(&ok, 10);
    if (ok)
        return true;
    Dialogs::instance().error(QStringLiteral("Veuillez saisir un nombre."));
    edit->setText(QStringLiteral("0"));
    edit->setFocus();
    return false;
}

bool TfProxy::EdHTTPPortExit()
{
    return portExit(ui->EdHTTPPort);
}

bool TfProxy::EdFTPPortExit()
{
    return portExit(ui->EdFTPPort);
}

bool TfProxy::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::FocusOut) {
        if (watched == ui->EdHTTPPort)
            EdHTTPPortExit();
        else if (watched == ui->EdFTPPort)
            EdFTPPortExit();
    }
    return QDialog::eventFilter(watched, event);
}
