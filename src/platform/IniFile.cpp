#include "platform/IniFile.h"

#include <QFile>
#include <QSaveFile>
#include <QTemporaryDir>
#include <QSettings>

namespace {

// The spelling the file already uses for a section or key, or the given one.
QString existingName(const QStringList &names, const QString &wanted)
{
    for (const QString &n : names)
        if (n.compare(wanted, Qt::CaseInsensitive) == 0)
            return n;
    return wanted;
}

QString groupName(QSettings &ini, const QString &section)
{
    return existingName(ini.childGroups(), section);
}

QString keyName(QSettings &ini, const QString &key)
{
    return existingName(ini.childKeys(), key);
}

QString asText(const QVariant &value)
{
    // An unquoted value holding commas comes back as a list.
    if (value.typeId() == QMetaType::QStringList)
        return value.toStringList().join(QStringLiteral(", "));
    return value.toString();
}

bool sameName(const QByteArray &a, const QByteArray &b)
{
    return QString::fromUtf8(a).compare(QString::fromUtf8(b), Qt::CaseInsensitive) == 0;
}

// The section header and the "key=value" line as the format's own writer
// spells them (escapes, quotes), so that reading gives the value back.
struct RenderedEntry {
    QByteArray header;      // "[Main]"
    QByteArray sectionName; // "Main"
    QByteArray line;        // "Key=value"
    QByteArray keyName;     // "Key"
    QByteArray value;       // "value"
};

RenderedEntry render(const QString &section, const QString &key, const QString &value)
{
    RenderedEntry entry;
    QTemporaryDir dir;
    if (!dir.isValid())
        return entry;
    const QString file = dir.filePath(QStringLiteral("entry.ini"));
    {
        QSettings ini(file, QSettings::IniFormat);
        ini.beginGroup(section);
        ini.setValue(key, value);
        ini.endGroup();
        ini.sync();
        if (ini.status() != QSettings::NoError)
            return entry;
    }
    QFile in(file);
    if (!in.open(QIODevice::ReadOnly))
        return entry;
    for (const QByteArray &raw : in.readAll().split('\n')) {
        const QByteArray line = raw.trimmed();
        if (line.startsWith('[') && entry.header.isEmpty()) {
            entry.header = line;
            entry.sectionName = line.mid(1, line.indexOf(']') - 1);
        } else if (line.contains('=') && entry.line.isEmpty()) {
            const qsizetype equals = line.indexOf('=');
            entry.line = line;
            entry.keyName = line.left(equals).trimmed();
            entry.value = line.mid(equals + 1);
        }
    }
    return entry;
}

} // namespace

IniFile::IniFile(QString fileName)
    : m_fileName(std::move(fileName))
{
}

QString IniFile::readString(const QString &section, const QString &key, const QString &defaultValue) const
{
    if (!QFile::exists(m_fileName))
        return defaultValue;
    QSettings ini(m_fileName, QSettings::IniFormat);
    ini.beginGroup(groupName(ini, section));
    const QString k = keyName(ini, key);
    if (!ini.contains(k))
        return defaultValue;
    return asText(ini.value(k));
}

int IniFile::readInteger(const QString &section, const QString &key, int defaultValue) const
{
    if (!hasKey(section, key))
        return defaultValue;
    bool ok = false;
    const int value = readString(section, key).trimmed().toInt(&ok, 10);
    return ok ? value : defaultValue;
}

bool IniFile::hasKey(const QString &section, const QString &key) const
{
    if (!QFile::exists(m_fileName))
        return false;
    QSettings ini(m_fileName, QSettings::IniFormat);
    ini.beginGroup(groupName(ini, section));
    return ini.contains(keyName(ini, key));
}

bool IniFile::writeString(const QString &section, const QString &key, const QString &value)
{
    // The file is edited line by line: comments, blank lines, the order of
    // the keys and lines the format reader would not take stay as they are.
    QByteArray text;
    if (QFile::exists(m_fileName)) {
        QFile in(m_fileName);
        if (!in.open(QIODevice::ReadOnly))
            return false;
        text = in.readAll();
    }
    const QString existingSection = [&] {
        QSettings ini(m_fileName, QSettings::IniFormat);
        return groupName(ini, section);
    }();
    const RenderedEntry entry = render(existingSection, key, value);
    if (entry.line.isEmpty())
        return false;
    QList<QByteArray> lines = text.split('\n');
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast(); // the split of the final line break
    const bool crlf = !lines.isEmpty() && lines.first().endsWith('\r');
    const QByteArray eol = crlf ? "\r" : "";

    qsizetype sectionStart = -1; // index of the header line
    qsizetype lastFilled = -1;   // last non-blank line of that section
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QByteArray trimmed = lines[i].trimmed();
        if (trimmed.startsWith('[')) {
            if (sectionStart >= 0)
                break;
            const qsizetype close = trimmed.indexOf(']');
            if (close > 0 && sameName(trimmed.mid(1, close - 1), entry.sectionName)) {
                sectionStart = i;
                lastFilled = i;
            }
            continue;
        }
        if (sectionStart < 0 || trimmed.isEmpty())
            continue;
        lastFilled = i;
        const qsizetype equals = lines[i].indexOf('=');
        if (trimmed.startsWith(';') || trimmed.startsWith('#') || equals < 0)
            continue;
        if (sameName(lines[i].left(equals).trimmed(), entry.keyName)) {
            lines[i] = lines[i].left(equals + 1) + entry.value + eol;
            return save(lines);
        }
    }
    if (sectionStart >= 0) {
        lines.insert(lastFilled + 1, entry.line + eol);
    } else {
        if (!lines.isEmpty() && !lines.last().trimmed().isEmpty())
            lines.append(eol);
        lines.append(entry.header + eol);
        lines.append(entry.line + eol);
    }
    return save(lines);
}

bool IniFile::save(const QList<QByteArray> &lines) const
{
    QSaveFile out(m_fileName);
    if (!out.open(QIODevice::WriteOnly))
        return false;
    for (const QByteArray &line : lines)
        out.write(line + '\n');
    if (!out.commit())
        return false;
    QFile::setPermissions(m_fileName, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    return true;
}

bool IniFile::writeInteger(const QString &section, const QString &key, int value)
{
    return writeString(section, key, QString::number(value));
}
