#include "Pop3TestMailbox.h"

#include <QDir>
#include <QFile>
#include <QUuid>

Pop3TestMailbox::Pop3TestMailbox()
{
    m_host = qEnvironmentVariable("POP3_TEST_HOST");
    m_port = qEnvironmentVariableIntValue("POP3_TEST_PORT");
    m_tlsPort = qEnvironmentVariableIntValue("POP3_TEST_TLS_PORT");
    m_user = qEnvironmentVariable("POP3_TEST_USER");
    m_password = qEnvironmentVariable("POP3_TEST_PASSWORD");
    m_ca = qEnvironmentVariable("POP3_TEST_CA");
    m_key = qEnvironmentVariable("POP3_TEST_KEY");
    if (!m_host.isEmpty() && m_port > 0 && m_tlsPort > 0 && !m_user.isEmpty() && !m_ca.isEmpty())
        m_maildir = qEnvironmentVariable("POP3_TEST_MAILDIR");
}

Pop3Account Pop3TestMailbox::account(bool secured) const
{
    Pop3Account account;
    account.host = m_host;
    account.port = secured ? m_tlsPort : m_port;
    account.secured = secured;
    account.user = m_user;
    account.password = m_password;
    account.caFile = secured ? m_ca : QString();
    return account;
}

void Pop3TestMailbox::clear() const
{
    for (const char *sub : {"new", "cur", "tmp"}) {
        QDir dir(m_maildir + u'/' + QLatin1String(sub));
        for (const QString &name : dir.entryList(QDir::Files))
            dir.remove(name);
    }
}

void Pop3TestMailbox::deliver(const QByteArray &message) const
{
    const QString name = QUuid::createUuid().toString(QUuid::Id128) + QStringLiteral(".test");
    const QString temporary = m_maildir + QStringLiteral("/tmp/") + name;
    QFile file(temporary);
    if (file.open(QIODevice::WriteOnly)) {
        file.write(message);
        file.close();
        QFile::rename(temporary, m_maildir + QStringLiteral("/new/") + name);
    }
}

int Pop3TestMailbox::storedMessages() const
{
    return int(QDir(m_maildir + QStringLiteral("/new")).entryList(QDir::Files).size()
               + QDir(m_maildir + QStringLiteral("/cur")).entryList(QDir::Files).size());
}

QByteArray Pop3TestMailbox::message(const QString &subject, const QString &from, const QString &text,
                                    const QList<QPair<QString, QByteArray>> &attachments)
{
    QByteArray m = "From: " + from.toUtf8() + "\r\nTo: medecin@example.org\r\nSubject: =?UTF-8?B?"
                 + subject.toUtf8().toBase64() + "?=\r\nDate: Tue, 14 May 2024 10:30:00 +0200\r\n"
                 + "Message-ID: <" + QUuid::createUuid().toString(QUuid::Id128).toLatin1() + "@example.org>\r\n"
                 + "MIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary=\"XYZ\"\r\n\r\n"
                 + "--XYZ\r\nContent-Type: text/plain; charset=UTF-8\r\nContent-Transfer-Encoding: 8bit\r\n\r\n"
                 + text.toUtf8() + "\r\n";
    for (const auto &attachment : attachments) {
        m += "--XYZ\r\nContent-Type: application/octet-stream\r\nContent-Transfer-Encoding: base64\r\n"
             "Content-Disposition: attachment; filename=\"" + attachment.first.toUtf8() + "\"\r\n\r\n"
           + attachment.second.toBase64() + "\r\n";
    }
    return m + "--XYZ--\r\n";
}
