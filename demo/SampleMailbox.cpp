#include "SampleMailbox.h"

#include "reception/Reception.h"
#include "platform/Windows1252.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPainter>
#include <QPdfWriter>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>
#include <QUuid>

namespace {

constexpr char kBoundary[] = "=_tolvarenix_demo_";

bool readText(const QString &fileName, QString *text, QString *error)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("lecture impossible de %1 : %2").arg(fileName, file.errorString());
        return false;
    }
    *text = QString::fromUtf8(file.readAll());
    return true;
}

// A header value in RFC 2047 form when it is not plain ASCII.
QByteArray headerWord(const QString &text)
{
    for (const QChar c : text) {
        if (c.unicode() > 126)
            return "=?UTF-8?B?" + text.toUtf8().toBase64() + "?=";
    }
    return text.toLatin1();
}

// "Name <address>" with the name encoded as needed.
QByteArray mailbox(const QString &value)
{
    const qsizetype open = value.indexOf(u'<');
    if (open <= 0)
        return value.toLatin1();
    return headerWord(value.left(open).trimmed()) + ' ' + value.mid(open).toLatin1();
}

QByteArray base64Lines(const QByteArray &bytes)
{
    const QByteArray encoded = bytes.toBase64();
    QByteArray lines;
    for (qsizetype i = 0; i < encoded.size(); i += 76)
        lines += encoded.mid(i, 76) + "\r\n";
    return lines;
}

QByteArray crlf(const QString &text)
{
    QByteArray out = text.toUtf8();
    out.replace("\r\n", "\n");
    out.replace("\n", "\r\n");
    return out;
}

} // namespace

bool SampleMailbox::load(const QString &dataFolder, QString *error)
{
    m_data = dataFolder;
    m_messages.clear();
    QString text;
    if (!readText(dataFolder + QStringLiteral("/mailbox.txt"), &text, error))
        return false;

    Message current;
    bool inHeaders = true;
    QStringList body;
    for (const QString &line : text.split(u'\n')) {
        if (inHeaders && current.from.isEmpty() && (line.startsWith(u'#') || line.trimmed().isEmpty()))
            continue;
        if (line == QLatin1String("----")) {
            current.text = body.join(u'\n').trimmed();
            if (current.from.isEmpty() || current.subject.isEmpty() || current.date.isEmpty()) {
                *error = QStringLiteral("message %1 de mailbox.txt incomplet").arg(m_messages.size() + 1);
                return false;
            }
            m_messages << current;
            current = Message();
            body.clear();
            inHeaders = true;
            continue;
        }
        if (!inHeaders) {
            body << line;
            continue;
        }
        if (line.trimmed().isEmpty()) {
            inHeaders = false;
            continue;
        }
        const qsizetype colon = line.indexOf(u':');
        const QString key = line.left(colon).trimmed();
        const QString value = line.mid(colon + 1).trimmed();
        if (key == QLatin1String("From"))
            current.from = value;
        else if (key == QLatin1String("Subject"))
            current.subject = value;
        else if (key == QLatin1String("Date"))
            current.date = value;
        else if (key == QLatin1String("Archive"))
            current.archive = value.split(u' ', Qt::SkipEmptyParts);
        else {
            *error = QStringLiteral("en-tête inconnu dans mailbox.txt : %1").arg(line);
            return false;
        }
    }
    return true;
}

QStringList SampleMailbox::reportNames() const
{
    QStringList names;
    for (const Message &message : m_messages) {
        for (const QString &name : message.archive) {
            if (name.endsWith(QLatin1String(".txt")) && !names.contains(name))
                names << name;
        }
    }
    return names;
}

bool SampleMailbox::writeReport(const QString &name, const QString &folder, QString *error) const
{
    QString text;
    if (!readText(m_data + QStringLiteral("/reports/") + name, &text, error))
        return false;
    QFile file(folder + u'/' + name);
    if (!file.open(QIODevice::WriteOnly)) {
        *error = QStringLiteral("écriture impossible de %1").arg(file.fileName());
        return false;
    }
    // Providers send Windows-1252 text with CR LF line ends.
    QByteArray bytes = Windows1252::encode(text);
    bytes.replace("\r\n", "\n");
    bytes.replace("\n", "\r\n");
    return file.write(bytes) == bytes.size();
}

bool SampleMailbox::writeDocument(const QString &name, const QString &folder, QString *error) const
{
    QString text;
    if (!readText(m_data + QStringLiteral("/documents/") + QFileInfo(name).completeBaseName() + QStringLiteral(".txt"),
                  &text, error))
        return false;
    QPdfWriter pdf(folder + u'/' + name);
    pdf.setTitle(text.section(u'\n', 0, 0));
    pdf.setCreator(QStringLiteral("Tolvarenix Light - jeu de démonstration"));
    pdf.setPageSize(QPageSize(QPageSize::A4));
    pdf.setResolution(300);
    QPainter painter(&pdf);
    if (!painter.isActive()) {
        *error = QStringLiteral("création impossible de %1").arg(name);
        return false;
    }
    QFont font(QStringLiteral("DejaVu Sans"), 11);
    int y = 250;
    bool title = true;
    for (const QString &line : text.split(u'\n')) {
        font.setBold(title);
        painter.setFont(font);
        painter.drawText(200, y, line);
        y += title ? 110 : 70;
        title = false;
    }
    return painter.end();
}

QByteArray SampleMailbox::makeArchive(const Message &message, QString *error) const
{
    QTemporaryDir scratch;
    const QString content = scratch.filePath(QStringLiteral("content"));
    QDir().mkpath(content);
    for (const QString &name : message.archive) {
        const bool written = name.endsWith(QLatin1String(".txt")) ? writeReport(name, content, error)
                                                                   : writeDocument(name, content, error);
        if (!written)
            return {};
    }
    QProcess sevenZip;
    sevenZip.setWorkingDirectory(content);
    sevenZip.setStandardInputFile(QProcess::nullDevice());
    sevenZip.start(QStringLiteral("7z"), QStringList{QStringLiteral("a"), QStringLiteral("-t7z"),
                                                     QStringLiteral("-p") + QLatin1String(Reception::kArchivePassword),
                                                     scratch.filePath(QStringLiteral("PJ.7z"))}
                                             + message.archive);
    if (!sevenZip.waitForFinished(60000) || sevenZip.exitStatus() != QProcess::NormalExit || sevenZip.exitCode() != 0) {
        *error = QStringLiteral("7z n'a pas pu créer l'archive : ") + QString::fromLocal8Bit(sevenZip.readAll());
        return {};
    }
    QFile archive(scratch.filePath(QStringLiteral("PJ.7z")));
    if (!archive.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("archive introuvable");
        return {};
    }
    return archive.readAll();
}

QByteArray SampleMailbox::compose(const Message &message, const QString &to, QString *error) const
{
    QByteArray mail = "From: " + mailbox(message.from) + "\r\nTo: " + to.toLatin1() + "\r\nSubject: "
                    + headerWord(message.subject) + "\r\nDate: " + message.date.toLatin1() + "\r\nMessage-ID: <"
                    + QUuid::createUuid().toString(QUuid::Id128).toLatin1() + "@demo.tolvarenix.invalid>\r\n"
                    + "MIME-Version: 1.0\r\n";
    const QByteArray textPart = "Content-Type: text/plain; charset=UTF-8\r\nContent-Transfer-Encoding: 8bit\r\n\r\n"
                              + crlf(message.text) + "\r\n";
    if (message.archive.isEmpty())
        return mail + textPart;

    const QByteArray archive = makeArchive(message, error);
    if (archive.isEmpty())
        return {};
    return mail + "Content-Type: multipart/mixed; boundary=\"" + kBoundary + "\"\r\n\r\n"
         + "--" + kBoundary + "\r\n" + textPart
         + "--" + kBoundary + "\r\nContent-Type: application/x-7z-compressed; name=\"PJ.7z\"\r\n"
         + "Content-Transfer-Encoding: base64\r\nContent-Disposition: attachment; filename=\"PJ.7z\"\r\n\r\n"
         + base64Lines(archive) + "--" + kBoundary + "--\r\n";
}
