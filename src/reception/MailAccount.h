#pragma once

#include "platform/Pop3Client.h"

#include <QString>

#include <memory>

class LocalDataSet;

// The physician's mail account as recorded in "Mail.db".
struct MailAccount {
    QString compte;
    QString adresse;
    QString server;
    int port = 0;
    bool secured = false;
    QString login;
    QString password;
    // How long a session waits for the server to connect and greet (not
    // stored; 0: the client's default).
    int connectTimeoutMs = 0;
    // How long a command waits for each answer (not stored; 0: the
    // client's default).
    int responseTimeoutS = 0;
    // The base of each command's deadline (not stored; 0: the client's default).
    int commandDeadlineBaseMs = 0;

    // The current record of the mail table (fields found by name).
    static MailAccount fromRecord(LocalDataSet &table);

    // The POP3 settings: port 110 when none is given, the CA file of the
    // configuration ("MailCAFile" of section "Main") for a private server.
    Pop3Account pop3() const;
};

// The CA certificate file named in the configuration for the mail server
// (empty: the system's authorities).
QString mailCaFile();

// The texts of the seven fields of the current record joined without
// separator, as the account form compares them on closing.
QString mailAccountSnapshot(LocalDataSet &table);

// Opens a POP3 session with the account: up to 11 attempts without pause,
// each failure logged without the password; a login or a certificate refused,
// or a server that does not answer in time, ends the attempts at once. Null when no session could be opened; error
// receives the last error text.
std::unique_ptr<Pop3Session> connectMailbox(const MailAccount &account, QString *error = nullptr);
