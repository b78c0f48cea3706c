#include "IniFile.h"

#include <QFile>
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
    {
        QSettings ini(m_fileName, QSettings::IniFormat);
        ini.beginGroup(groupName(ini, section));
        ini.setValue(keyName(ini, key), value);
        ini.endGroup();
        ini.sync();
        if (ini.status() != QSettings::NoError)
            return false;
    }
    QFile::setPermissions(m_fileName, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    return true;
}

bool IniFile::writeInteger(const QString &section, const QString &key, int value)
{
    return writeString(section, key, QString::number(value));
}
