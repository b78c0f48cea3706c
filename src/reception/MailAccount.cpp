#include "reception/MailAccount.h"

#include "platform/IniFile.h"
#include "platform/LocalTables.h"
#include "core/LogWriter.h"
#include "platform/ProgramFolder.h"
#include "platform/TextRules.h"

MailAccount MailAccount::fromRecord(LocalDataSet &table)
{
    MailAccount account;
    account.compte = table.field(QStringLiteral("COMPTE")).asString();
    account.adresse = table.field(QStringLiteral("ADRESSE")).asString();
    account.server = table.field(QStringLiteral("SERVEUR_POP3")).asString();
    account.port = table.field(QStringLiteral("PORT_POP3")).asInteger();
    account.secured = table.field(QStringLiteral("Secured")).asBoolean();
    account.login = table.field(QStringLiteral("LOGIN")).asString();
    account.password = table.field(QStringLiteral("PASSWORD")).asString();
    return account;
}

Pop3Account MailAccount::pop3() const
{
    Pop3Account pop3;
    pop3.host = server;
    pop3.port = port >= 1 ? port : 110;
    pop3.secured = secured;
    pop3.user = login;
    pop3.password = password;
    pop3.caFile = mailCaFile();
    if (connectTimeoutMs > 0)
        pop3.connectTimeoutMs = connectTimeoutMs;
    if (responseTimeoutS > 0)
        pop3.responseTimeoutS = responseTimeoutS;
    if (commandDeadlineBaseMs > 0)
        pop3.commandDeadlineBaseMs = commandDeadlineBaseMs;
    return pop3;
}

QString mailCaFile()
{
    return TextRules::trim32(
        IniFile(ProgramFolder::configurationFile()).readString(QStringLiteral("Main"), QStringLiteral("MailCAFile")));
}

QString mailAccountSnapshot(LocalDataSet &table)
{
    QString snapshot;
    for (const char *name : {"COMPTE", "ADRESSE", "SERVEUR_POP3", "PORT_POP3", "Secured", "LOGIN", "PASSWORD"})
        snapshot += table.field(QLatin1String(name)).asString();
    return snapshot;
}

std::unique_ptr<Pop3Session> connectMailbox(const MailAccount &account, QString *error)
{
    LogWriter::addSecret(account.password);
    auto session = std::make_unique<Pop3Session>(account.pop3());
    for (int attempt = 1; attempt <= 11; ++attempt) {
        try {
            session->open();
            return session;
        } catch (const Pop3Error &e) {
            if (error)
                *error = e.text();
            LogWriter::write(QStringLiteral("TfMessage.Connexion(") + account.server + QStringLiteral(", ")
                             + account.login + QStringLiteral(", , ") + account.adresse + QStringLiteral(" : ")
                             + e.text());
            // The same password would only be refused again (and could
            // get the account locked), a refused certificate likewise; a server
            // that accepts the connection but stays silent would hold the user
            // as long at each attempt.
            if (e.authenticationFailed() || e.timedOut() || e.certificateRefused())
                break;
        }
    }
    return nullptr;
}
