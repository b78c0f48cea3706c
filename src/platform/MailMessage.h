#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

#include <stdexcept>

class MailParseError : public std::runtime_error
{
public:
    explicit MailParseError(const QString &text) : std::runtime_error(text.toStdString()), m_text(text) {}
    QString text() const { return m_text; }

private:
    QString m_text;
};

// One leaf of a message: a text (plain or HTML, decoded to Unicode) or a file
// attachment (its decoded bytes). An attachment's fileName is always a bare
// file name, safe to put below a folder; originalName is the name as sent.
struct MailPart {
    enum class Kind { Text, Attachment };
    Kind kind = Kind::Text;
    QString contentType;   // "text/plain", "application/x-7z-compressed"...
    QString text;          // Text
    QString fileName;      // Attachment
    QString originalName;  // Attachment
    QByteArray content;    // Attachment
};

// An Internet message (RFC 5322, MIME) read with GMime.
class MailMessage
{
public:
    // Throws MailParseError when the data is not a message.
    static MailMessage parse(const QByteArray &raw);

    // A name given by a sender reduced to a bare file name: the part after
    // the last "/" or "\", control characters removed, no leading dot, at
    // most 255 bytes; fallback when nothing usable is left.
    static QString bareFileName(const QString &name, const QString &fallback);

    QString subject;
    QString from;          // the sender as text: "Name <address>"
    QStringList to;
    QStringList cc;
    QString receiptTo;     // Disposition-Notification-To
    QDateTime date;        // invalid when the message has none
    int priority = 3;      // 1 highest .. 5 lowest

    // A multipart message has parts (its leaves, in order); any other
    // message has its decoded body only.
    bool hasParts = false;
    QList<MailPart> parts;
    QString body;
    bool bodyIsHtml = false;

    QList<MailPart> attachments() const;
};
