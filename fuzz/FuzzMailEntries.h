#pragma once

// The entry function of the message-adapter fuzz target, shared with the
// regression test that replays the saved inputs in the normal build. Returns
// an empty text, or the invariant that the input broke.

#include "platform/MailMessage.h"

#include <cstddef>
#include <cstdint>

namespace FuzzEntries {

// A name that may be put below a folder as it is.
inline QString notBare(const QString &name)
{
    if (name.isEmpty())
        return QStringLiteral("empty attachment name");
    if (name.contains(u'/') || name.contains(u'\\'))
        return QStringLiteral("separator in attachment name: ") + name;
    if (name.startsWith(u'.'))
        return QStringLiteral("attachment name starting with a dot: ") + name;
    if (name.toUtf8().size() > 255)
        return QStringLiteral("attachment name longer than 255 bytes");
    for (const QChar c : name) {
        if (c.unicode() < 32 || c.unicode() == 127)
            return QStringLiteral("control character in attachment name");
    }
    return {};
}

// Reads the bytes as a received message: headers, bodies and attachments.
inline QString mailMessage(const uint8_t *data, size_t size)
{
    MailMessage message;
    try {
        message = MailMessage::parse(QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)));
    } catch (const MailParseError &) {
        return {};
    }
    if (!message.hasParts && !message.parts.isEmpty())
        return QStringLiteral("parts of a message without parts");
    if (message.hasParts && !message.body.isEmpty())
        return QStringLiteral("body beside the parts");
    if (message.priority < 1 || message.priority > 5)
        return QStringLiteral("priority out of range");
    for (const MailPart &part : message.parts) {
        if (part.kind == MailPart::Kind::Text && !part.content.isEmpty())
            return QStringLiteral("text part carrying attachment bytes");
        if (part.kind != MailPart::Kind::Attachment)
            continue;
        if (const QString problem = notBare(part.fileName); !problem.isEmpty())
            return problem;
    }
    for (const MailPart &part : message.attachments()) {
        if (part.kind != MailPart::Kind::Attachment)
            return QStringLiteral("text listed as an attachment");
    }
    return {};
}

} // namespace FuzzEntries
