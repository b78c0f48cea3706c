#pragma once

#include "platform/Pop3Client.h"

#include <QByteArray>
#include <QString>

// The mailbox of the private dovecot of the test services (POP3_TEST_*
// variables): the account, and the maildir the tests fill and empty.
class Pop3TestMailbox
{
public:
    Pop3TestMailbox();
    // False when the service was not started (the test then skips).
    bool available() const { return !m_maildir.isEmpty(); }

    Pop3Account account(bool secured = false) const;
    QString caFile() const { return m_ca; }
    // The server's private key, for a stand-in server that speaks TLS.
    QString keyFile() const { return m_key; }

    void clear() const;
    void deliver(const QByteArray &message) const;
    int storedMessages() const;

    // A MIME message with a text part and one attachment per (name, bytes).
    static QByteArray message(const QString &subject, const QString &from, const QString &text,
                              const QList<QPair<QString, QByteArray>> &attachments = {});

private:
    QString m_host, m_user, m_password, m_maildir, m_ca, m_key;
    int m_port = 0, m_tlsPort = 0;
};
