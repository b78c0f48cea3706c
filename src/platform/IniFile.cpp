#include "platform/IniFile.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
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

RenderedEntry renderWithWriter(const QString &section, const QString &key, const QString &value)
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

// Names and values the format's writer puts down exactly as they are: no
// escape, no quotes (a section named "General" is escaped, being the
// format's own section for keys outside any).
// Letters a to z in either case, digits, "_", "-", "." and the extra
// characters only.
bool onlyPlainCharacters(const QString &text, QStringView extra = {})
{
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (!((u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') || u == '_' || u == '-'
              || u == '.' || extra.contains(c)))
            return false;
    }
    return true;
}

bool isPlainName(const QString &name)
{
    return !name.isEmpty() && onlyPlainCharacters(name);
}

bool isPlainValue(const QString &value)
{
    return onlyPlainCharacters(value, u":/");
}

bool allHeadersPlain(const QList<QByteArray> &lines)
{
    for (const QByteArray &line : lines) {
        const QByteArray trimmed = line.trimmed();
        if (!trimmed.startsWith('['))
            continue;
        const qsizetype close = trimmed.indexOf(']');
        if (close < 0 || !isPlainName(QString::fromLatin1(trimmed.mid(1, close - 1))))
            return false;
    }
    return true;
}

// Rendering through the format's writer costs a temporary file: the plain
// case (widths, numbers, simple names) is spelt out directly.
RenderedEntry render(const QString &section, const QString &key, const QString &value)
{
    if (isPlainName(section) && section.compare(QLatin1String("general"), Qt::CaseInsensitive) != 0
        && isPlainName(key) && isPlainValue(value)) {
        RenderedEntry entry;
        entry.sectionName = section.toLatin1();
        entry.header = '[' + entry.sectionName + ']';
        entry.keyName = key.toLatin1();
        entry.value = value.toLatin1();
        entry.line = entry.keyName + '=' + entry.value;
        return entry;
    }
    return renderWithWriter(section, key, value);
}

// Puts the entry into the file's lines: its key's line rewritten in place,
// or added at the end of its section, or a new section at the end of the
// file. False when the lines already held it as it would be written.
bool applyEntry(QList<QByteArray> &lines, const RenderedEntry &entry, const QByteArray &eol)
{
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
            QByteArray line = lines[i].left(equals + 1) + entry.value + eol;
            if (line == lines[i])
                return false;
            lines[i] = std::move(line);
            return true;
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
    return true;
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
    return writeStrings({{section, key, value}});
}

bool IniFile::writeStrings(const QList<Entry> &entries)
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
    QList<QByteArray> lines = text.split('\n');
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast(); // the split of the final line break
    // A section is found by its header, whatever its letter case; only an
    // escaped header needs the format's reader to tell which section it is.
    QStringList existingSections;
    if (!allHeadersPlain(lines)) {
        QSettings ini(m_fileName, QSettings::IniFormat);
        existingSections = ini.childGroups();
    }
    const bool crlf = !lines.isEmpty() && lines.first().endsWith('\r');
    const QByteArray eol = crlf ? "\r" : "";

    bool changed = false;
    for (const Entry &wanted : entries) {
        const RenderedEntry entry = render(existingName(existingSections, wanted.section), wanted.key, wanted.value);
        if (entry.line.isEmpty())
            return false;
        changed = applyEntry(lines, entry, eol) || changed;
    }
    return !changed || save(lines);
}

bool IniFile::save(const QList<QByteArray> &lines) const
{
    const QDateTime before = QFileInfo(m_fileName).lastModified();
    QSaveFile out(m_fileName);
    if (!out.open(QIODevice::WriteOnly))
        return false;
    for (const QByteArray &line : lines)
        out.write(line + '\n');
    if (!out.commit())
        return false;
    QFile::setPermissions(m_fileName, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    // The format's reader keeps what it read of a file as long as its size
    // and its time to the millisecond stay the same: a value changed within
    // the millisecond of the previous save would read as the old one.
    if (before.isValid() && QFileInfo(m_fileName).lastModified() <= before) {
        QFile file(m_fileName);
        if (file.open(QIODevice::ReadWrite))
            file.setFileTime(before.addMSecs(1), QFileDevice::FileModificationTime);
    }
    return true;
}

bool IniFile::writeInteger(const QString &section, const QString &key, int value)
{
    return writeString(section, key, QString::number(value));
}
