#pragma once

#include "reception/MailAccount.h"
#include "platform/MailMessage.h"
#include "platform/Pop3Client.h"

#include <QDateTime>
#include <QList>
#include <QString>

#include <functional>

// One listed message: its number on the server and its unique id, checked
// again before the number is used in a later session. The id is empty when
// the server gives none (UIDL is optional): the message is then known again
// by its size and its headers as listed.
struct HeaderRow {
    int number = 0;
    QString uidl;
    QString subject;
    QString sender;
    QDateTime date;
    qint64 size = 0;
    QByteArray headers; // as TOP n 0 gave them
};

// The row's message is no longer the listed one: another mail program
// deleted or replaced messages since the list was read.
class MailboxChangedError : public Pop3Error
{
public:
    using Pop3Error::Pop3Error;
};

// No session could be opened with the mail server.
class MailServerUnreachableError : public Pop3Error
{
public:
    using Pop3Error::Pop3Error;
};

// The server accepted DELE but its answer to the QUIT that carries the
// deletion out was lost: the message may be gone from the server.
class DeletionUncertainError : public Pop3Error
{
public:
    using Pop3Error::Pop3Error;
};

// The mail server cannot be reached or stopped answering: a command after
// it would only make the user wait as long again.
bool mailServerLost(const Pop3Error &error);

// The mailbox work of the POP3 worker window, without the window: each
// operation opens its own POP3 session with the account and ends it with
// QUIT. Errors are logged and shown as the worker's error boxes, except
// those of the deletion, which reach the caller.
class MailboxOperations
{
public:
    // The account of each operation (the mail table's record by default).
    std::function<MailAccount()> accountSource;
    // Status panels 0 and 1 of the main window (pending events processed).
    std::function<void(int panel, const QString &text)> status;
    // Progress of the commands that bring data.
    Pop3Session::WorkHandlers work;

    int MessageCount = 0;
    int MailboxSizeKB = 0;
    bool ShowReceptionProgress = true;

    // STAT, then the headers of every message; rows of the messages whose
    // headers could be read, in message order. Empty after a failure, and
    // as soon as the server stops answering. A server that refuses UIDL is
    // listed all the same, its rows without ids, and the log says so.
    QList<HeaderRow> checkMail();

    enum class Retrieval {
        Retrieved,
        Unreadable,     // came whole but is no message: reported and logged
        NotReceived,    // cut during its download, or refused by the server: still
                        // whole on the server; reported and logged
        MailboxChanged, // logged only: the caller tells the user
        ServerLost      // unreachable or silent: reported, nothing more to try
    };
    // RETR of the row's message once it is known to be the listed one; the
    // message counts only when it came whole. raw, when given, receives the
    // message as the server sent it.
    Retrieval retrieve(const HeaderRow &row, MailMessage &message, QByteArray *raw = nullptr);

    // DELE of the row's message once it is known to be the listed one,
    // committed by QUIT. Throws Pop3Error when the message was not deleted
    // (MailboxChangedError when it is no longer the listed one,
    // MailServerUnreachableError when no session could be opened), and
    // DeletionUncertainError when the QUIT went unanswered.
    void remove(const HeaderRow &row);

private:
    MailAccount account() const;
    std::unique_ptr<Pop3Session> connect(const MailAccount &account, QString *error = nullptr);
    void setStatus(int panel, const QString &text);
    void checkIdentity(Pop3Session &session, const HeaderRow &row);
    static QString notCompatible(int number, int count, const MailAccount &account, const QString &subject,
                                 qint64 size, const QString &sender, const QString &error, bool forBox);
    static QString receivedInPart(const MailAccount &account, const HeaderRow &row, const QString &error, bool forBox);
    static QString characteristicsError(const QString &lead, const MailAccount &account, const HeaderRow &row,
                                        const QString &subject, const QString &sender, const QString &error,
                                        bool forBox);
};

// "Impossible de se connecter au serveur de messagerie [server" ..., with
// the reason when it is known.
QString mailServerUnreachableText(const QString &server, const QString &error = {});
