// GMime (through GLib) uses "signals" as a name: include it before Qt.
#include <gmime/gmime.h>

#include "platform/MailMessage.h"

#include "platform/TextRules.h"
#include "platform/Windows1252.h"

#include <QRegularExpression>
#include <QStringDecoder>

#include <mutex>

namespace {

void initialiseGMime()
{
    static std::once_flag once;
    std::call_once(once, [] { g_mime_init(); });
}

// The parser's options: raw 8-bit header text (no encoded words) is read as
// UTF-8 when it is valid UTF-8, else as Windows-1252, the code page the
// providers' older mailers write in.
GMimeParserOptions *parserOptions()
{
    static GMimeParserOptions *options = [] {
        GMimeParserOptions *created = g_mime_parser_options_new();
        const char *charsets[] = {"UTF-8", "windows-1252", nullptr};
        g_mime_parser_options_set_fallback_charsets(created, charsets);
        return created;
    }();
    return options;
}

// Text whose character set is not declared: UTF-8 when it is valid UTF-8,
// else Windows-1252.
QString decodeUndeclared(const QByteArray &bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = utf8.decode(bytes);
    return utf8.hasError() ? Windows1252::decode(bytes) : text;
}

// A character set this system can convert from.
bool knownCharset(const char *charset)
{
    iconv_t converter = g_mime_iconv_open("UTF-8", charset);
    if (converter == iconv_t(-1))
        return false;
    g_mime_iconv_close(converter);
    return true;
}

QString takeText(char *text)
{
    const QString result = QString::fromUtf8(text ? text : "");
    g_free(text);
    return result;
}

QStringList addresses(InternetAddressList *list)
{
    QStringList result;
    if (!list)
        return result;
    const int count = internet_address_list_length(list);
    for (int i = 0; i < count; ++i)
        result << takeText(internet_address_to_string(internet_address_list_get_address(list, i), nullptr, FALSE));
    return result;
}

QString mimeType(GMimeObject *object)
{
    GMimeContentType *type = g_mime_object_get_content_type(object);
    return type ? takeText(g_mime_content_type_get_mime_type(type)).toLower() : QString();
}

int priorityOf(GMimeObject *message)
{
    const QString xPriority = QString::fromUtf8(g_mime_object_get_header(message, "X-Priority")).trimmed();
    if (!xPriority.isEmpty() && xPriority[0] >= u'1' && xPriority[0] <= u'5')
        return xPriority[0].digitValue();
    const QString importance = QString::fromUtf8(g_mime_object_get_header(message, "Importance")).trimmed().toLower();
    if (importance == u"high")
        return 2;
    if (importance == u"low")
        return 4;
    return 3;
}

QByteArray decodedContent(GMimePart *part)
{
    QByteArray bytes;
    GMimeDataWrapper *content = g_mime_part_get_content(part);
    if (!content)
        return bytes;
    GMimeStream *memory = g_mime_stream_mem_new();
    g_mime_data_wrapper_write_to_stream(content, memory);
    GByteArray *array = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(memory));
    bytes = QByteArray(reinterpret_cast<const char *>(array->data), qsizetype(array->len));
    g_object_unref(memory);
    return bytes;
}

struct PartCollector {
    QList<MailPart> parts;
};

void collectLeaf(GMimeObject *, GMimeObject *object, gpointer data)
{
    auto *collector = static_cast<PartCollector *>(data);
    MailPart part;
    part.contentType = mimeType(object);
    const QString fallback = QStringLiteral("PieceJointe%1").arg(collector->parts.size() + 1);
    if (GMIME_IS_MESSAGE_PART(object)) {
        // A forwarded message travels as a file of its own.
        GMimeMessage *inner = g_mime_message_part_get_message(GMIME_MESSAGE_PART(object));
        part.kind = MailPart::Kind::Attachment;
        part.fileName = fallback + QStringLiteral(".eml");
        if (inner) {
            GMimeStream *memory = g_mime_stream_mem_new();
            g_mime_object_write_to_stream(GMIME_OBJECT(inner), nullptr, memory);
            GByteArray *array = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(memory));
            part.content = QByteArray(reinterpret_cast<const char *>(array->data), qsizetype(array->len));
            g_object_unref(memory);
        }
        collector->parts << part;
        return;
    }
    if (!GMIME_IS_PART(object))
        return;
    GMimePart *leaf = GMIME_PART(object);
    const char *name = g_mime_part_get_filename(leaf);
    if (GMIME_IS_TEXT_PART(object) && !name && !g_mime_part_is_attachment(leaf)) {
        part.kind = MailPart::Kind::Text;
        const char *charset = g_mime_object_get_content_type_parameter(object, "charset");
        part.text = charset && *charset && knownCharset(charset)
                        ? takeText(g_mime_text_part_get_text(GMIME_TEXT_PART(object)))
                        : decodeUndeclared(decodedContent(leaf));
    } else {
        part.kind = MailPart::Kind::Attachment;
        part.originalName = QString::fromUtf8(name ? name : "");
        part.fileName = MailMessage::bareFileName(part.originalName, fallback);
        part.content = decodedContent(leaf);
    }
    collector->parts << part;
}

// One line of a uuencoded file: its first character gives the byte count,
// then every four characters carry three bytes. False when it is no such line.
bool uudecodeLine(const QString &line, QByteArray &out)
{
    const auto value = [&line](qsizetype at) { return line.at(at).unicode() - 32; };
    if (line.isEmpty() || value(0) < 0 || value(0) > 64)
        return false;
    const int count = value(0) & 63;
    if (line.size() < 1 + (count + 2) / 3 * 4)
        return false;
    for (qsizetype at = 1; at < line.size(); ++at) {
        if (value(at) < 0 || value(at) > 64)
            return false;
    }
    for (int done = 0; done < count; done += 3) {
        const qsizetype at = 1 + done / 3 * 4;
        const uint group = uint(value(at) & 63) << 18 | uint(value(at + 1) & 63) << 12
                         | uint(value(at + 2) & 63) << 6 | uint(value(at + 3) & 63);
        const char bytes[3] = {char(group >> 16), char(group >> 8), char(group)};
        out.append(bytes, std::min(3, count - done));
    }
    return true;
}

// Files that older mailers put uuencoded in a text ("begin 644 PJ.7z" up to
// "end"), as attachments of their own; each block leaves the text.
QList<MailPart> takeUuencoded(QString &text, qsizetype partsBefore)
{
    static const QRegularExpression begin(QStringLiteral("^begin [0-7]{3,4} (.+)$"));
    QList<MailPart> found;
    QStringList lines = text.split(u'\n');
    for (qsizetype first = 0; first < lines.size(); ++first) {
        const QRegularExpressionMatch match = begin.match(TextRules::trim32(lines.at(first)));
        if (!match.hasMatch())
            continue;
        MailPart part;
        bool ended = false;
        qsizetype last = first + 1;
        for (; last < lines.size() && !ended; ++last) {
            QString line = lines.at(last);
            if (line.endsWith(u'\r'))
                line.chop(1);
            ended = TextRules::trim32(line) == u"end";
            if (!ended && !line.isEmpty() && !uudecodeLine(line, part.content))
                break;
        }
        if (!ended)
            continue;
        part.kind = MailPart::Kind::Attachment;
        part.contentType = QStringLiteral("application/octet-stream");
        part.originalName = match.captured(1);
        part.fileName = MailMessage::bareFileName(
            part.originalName, QStringLiteral("PieceJointe%1").arg(partsBefore + found.size() + 1));
        found << part;
        lines.remove(first, last - first);
        --first;
    }
    if (!found.isEmpty())
        text = lines.join(u'\n');
    return found;
}

} // namespace

QString MailMessage::bareFileName(const QString &name, const QString &fallback)
{
    QString bare = name;
    const qsizetype cut = std::max(bare.lastIndexOf(u'/'), bare.lastIndexOf(u'\\'));
    if (cut >= 0)
        bare = bare.mid(cut + 1);
    QString cleaned;
    for (const QChar c : std::as_const(bare)) {
        if (c.unicode() >= 32 && c.unicode() != 127)
            cleaned += c;
    }
    cleaned = cleaned.trimmed();
    // A leading dot would hide the file (and "." and ".." name folders).
    while (cleaned.startsWith(u'.'))
        cleaned.remove(0, 1);
    cleaned = TextRules::fitFileName(cleaned);
    return cleaned.isEmpty() ? fallback : cleaned;
}

MailMessage MailMessage::parse(const QByteArray &raw)
{
    initialiseGMime();
    GMimeStream *stream = g_mime_stream_mem_new_with_buffer(raw.constData(), size_t(raw.size()));
    GMimeParser *parser = g_mime_parser_new_with_stream(stream);
    GMimeMessage *message = g_mime_parser_construct_message(parser, parserOptions());
    g_object_unref(parser);
    g_object_unref(stream);
    if (!message || raw.trimmed().isEmpty()) {
        if (message)
            g_object_unref(message);
        throw MailParseError(QStringLiteral("Le message reçu n'est pas un message électronique lisible."));
    }

    MailMessage result;
    GMimeObject *object = GMIME_OBJECT(message);
    result.subject = QString::fromUtf8(g_mime_message_get_subject(message));
    result.from = addresses(g_mime_message_get_from(message)).join(QStringLiteral(", "));
    result.to = addresses(g_mime_message_get_to(message));
    result.cc = addresses(g_mime_message_get_cc(message));
    result.receiptTo = QString::fromUtf8(g_mime_object_get_header(object, "Disposition-Notification-To")).trimmed();
    if (GDateTime *date = g_mime_message_get_date(message))
        result.date = QDateTime::fromSecsSinceEpoch(g_date_time_to_unix(date));
    result.priority = priorityOf(object);

    PartCollector collector;
    GMimeObject *top = g_mime_message_get_mime_part(message);
    if (top && GMIME_IS_MULTIPART(top) && !g_mime_object_get_content_type_parameter(top, "boundary")) {
        // Without a boundary nothing divides it: its text is the body.
        const char *text = g_mime_multipart_get_prologue(GMIME_MULTIPART(top));
        result.body = decodeUndeclared(QByteArray(text ? text : ""));
    } else if (top && GMIME_IS_MULTIPART(top)) {
        g_mime_message_foreach(message, collectLeaf, &collector);
        result.hasParts = true;
        result.parts = collector.parts;
    } else if (top) {
        collectLeaf(nullptr, top, &collector);
        const MailPart single = collector.parts.value(0);
        if (!collector.parts.isEmpty() && single.kind == MailPart::Kind::Attachment) {
            result.hasParts = true;
            result.parts = collector.parts;
        } else {
            result.body = single.text;
            result.bodyIsHtml = single.contentType == u"text/html";
        }
    }
    g_object_unref(message);

    if (!result.hasParts) {
        MailPart text;
        text.contentType = result.bodyIsHtml ? QStringLiteral("text/html") : QStringLiteral("text/plain");
        text.text = result.body;
        result.parts << text;
    }
    QList<MailPart> parts;
    for (MailPart part : std::as_const(result.parts)) {
        const QList<MailPart> files = part.kind == MailPart::Kind::Text && part.contentType != u"text/html"
                                          ? takeUuencoded(part.text, parts.size())
                                          : QList<MailPart>();
        parts << part << files;
    }
    if (parts.size() > result.parts.size()) {
        result.hasParts = true;
        result.parts = parts;
        result.body.clear();
    } else if (!result.hasParts) {
        result.parts.clear();
    }
    return result;
}

QList<MailPart> MailMessage::attachments() const
{
    QList<MailPart> result;
    for (const MailPart &part : parts) {
        if (part.kind == MailPart::Kind::Attachment)
            result << part;
    }
    return result;
}
