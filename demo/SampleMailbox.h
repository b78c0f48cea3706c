#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// The sample messages of demo/data/mailbox.txt turned into real e-mails: a
// provider's message carries "PJ.7z" (protected with the providers' password)
// holding its reports in Windows-1252 with CR LF line ends and its documents
// as PDF files; an ordinary message is its text alone.
class SampleMailbox
{
public:
    struct Message {
        QString from;
        QString subject;
        QString date;
        QStringList archive; // report and document file names
        QString text;
    };

    // Reads mailbox.txt of the data folder; false with a message on failure.
    bool load(const QString &dataFolder, QString *error);
    const QList<Message> &messages() const { return m_messages; }
    // The distinct report names of every archive, in order of arrival.
    QStringList reportNames() const;

    // Writes the report as the provider sends it into folder.
    bool writeReport(const QString &name, const QString &folder, QString *error) const;
    // The whole e-mail (RFC 5322, MIME), its archive made in a scratch folder.
    QByteArray compose(const Message &message, const QString &to, QString *error) const;

private:
    bool writeDocument(const QString &name, const QString &folder, QString *error) const;
    QByteArray makeArchive(const Message &message, QString *error) const;

    QString m_data;
    QList<Message> m_messages;
};
