#include "reception/MailAccountEditor.h"

#include "platform/Dialogs.h"
#include "platform/LocalTables.h"
#include "core/LogWriter.h"
#include "reception/MailAccount.h"
#include "platform/Pop3Client.h"

QString MailAccountTexts::joined() const
{
    return nom + from + server + port + (secured ? QStringLiteral("Vrai") : QStringLiteral("Faux")) + login
         + password;
}

MailAccountTexts MailAccountEditor::load() const
{
    MailAccountTexts texts;
    if (!m_table.isActive() || (m_table.state() != LocalDataSet::State::Insert && m_table.recNo() < 0))
        return texts;
    const MailAccount account = MailAccount::fromRecord(m_table);
    texts.nom = account.compte;
    texts.from = account.adresse;
    texts.server = account.server;
    texts.port = m_table.field(QStringLiteral("PORT_POP3")).asString();
    texts.secured = account.secured;
    texts.login = account.login;
    texts.password = account.password;
    return texts;
}

void MailAccountEditor::takeSnapshot()
{
    m_snapshot = m_table.isActive() ? mailAccountSnapshot(m_table) : QString();
}

MailAccountEditor::TestResult MailAccountEditor::testConnection(MailAccountTexts &texts)
{
    if (texts.secured && texts.port.trimmed().isEmpty()) {
        Dialogs::instance().error(QStringLiteral(
            "Veuillez renseigner le port POP3 à utiliser pour cette connexion sécurisée (995 chez gMail)."));
        return TestResult::PortMissing;
    }
    if (texts.port.trimmed().isEmpty())
        texts.port = QStringLiteral("110");
    bool ok = false;
    const int port = texts.port.trimmed().toInt(&ok);
    if (!ok) {
        Dialogs::instance().error(QStringLiteral("'") + texts.port + QStringLiteral("' n'est pas une valeur entière correcte."));
        return TestResult::BadPort;
    }

    Pop3Account account;
    account.host = texts.server;
    account.port = port;
    account.secured = texts.secured;
    account.user = texts.login;
    account.password = texts.password;
    account.caFile = mailCaFile();
    LogWriter::addSecret(texts.password);
    Pop3Session session(account);
    try {
        session.open();
    } catch (const Pop3Error &e) {
        Dialogs::instance().error(QStringLiteral("Les paramètres de connexion au serveur POP3 ne sont pas corrects. "
                                                 "Veuillez les vérifier.\nErreur : ")
                                  + e.text());
        return TestResult::Failed;
    }
    session.close();
    Dialogs::instance().information(QStringLiteral("Le test de connexion au serveur POP3 a réussi."));
    return TestResult::Succeeded;
}

void MailAccountEditor::beginEdit()
{
    if (m_table.isActive() && m_table.state() == LocalDataSet::State::Browse && !m_table.isEmpty())
        m_table.edit();
}

bool MailAccountEditor::save(const MailAccountTexts &texts, bool securedChanged)
{
    try {
        beginEdit();
        m_table.field(QStringLiteral("COMPTE")).setAsString(texts.nom);
        m_table.field(QStringLiteral("ADRESSE")).setAsString(texts.from);
        m_table.field(QStringLiteral("SERVEUR_POP3")).setAsString(texts.server);
        m_table.field(QStringLiteral("PORT_POP3")).setAsString(texts.port);
        if (securedChanged)
            m_table.field(QStringLiteral("Secured")).setAsBoolean(texts.secured);
        m_table.field(QStringLiteral("LOGIN")).setAsString(texts.login);
        m_table.field(QStringLiteral("PASSWORD")).setAsString(texts.password);
        m_table.post();
        return true;
    } catch (const LocalTablesError &e) {
        Dialogs::instance().error(QStringLiteral("Impossible d'enregistrer les modifications :\n") + e.message());
        cancel();
        return false;
    }
}

void MailAccountEditor::cancel()
{
    const LocalDataSet::State state = m_table.state();
    if (state == LocalDataSet::State::Insert || state == LocalDataSet::State::Edit)
        m_table.cancel();
}

void MailAccountEditor::closeQuery(const MailAccountTexts &texts, bool securedChanged)
{
    QString current = texts.joined();
    if (m_snapshot.isEmpty() && (current == u"Vrai" || current == u"Faux"))
        current.clear();
    const LocalDataSet::State state = m_table.state();
    if (state != LocalDataSet::State::Insert && state != LocalDataSet::State::Edit)
        return;
    if (current == m_snapshot) {
        cancel();
        return;
    }
    if (Dialogs::instance().question(QStringLiteral("Souhaitez-vous enregistrer les modifications ?")))
        save(texts, securedChanged);
    else
        cancel();
}
