#include "core/ModuleVersions.h"

#include "platform/IniFile.h"
#include "platform/ProgramFolder.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

namespace ModuleVersions {

namespace {

constexpr char kVersionKey[] = "Version";
constexpr char kDigestKey[] = "SHA256";
constexpr char kPendingKey[] = "Pending";
constexpr char kPendingDigestKey[] = "PendingSHA256";

QString manifestBeside(const QString &fileName)
{
    return QFileInfo(fileName).absolutePath() + u'/' + QLatin1String(kManifestName);
}

bool wholeNumber(const QString &text, qint64 &value)
{
    bool ok = false;
    value = text.trimmed().toLongLong(&ok);
    return ok;
}

qint64 requireWholeNumber(const QString &text)
{
    qint64 value = 0;
    if (!wholeNumber(text, value))
        throw VersionError(QStringLiteral("'%1' n'est pas un nombre entier valide").arg(text));
    return value;
}

} // namespace

VersionError::VersionError(const QString &message)
    : std::runtime_error(message.toStdString())
{
}

QString FileVersion::text() const
{
    return QStringLiteral("%1.%2.%3.%4")
        .arg(mostSignificant >> 16)
        .arg(mostSignificant & 0xFFFF)
        .arg(leastSignificant >> 16)
        .arg(leastSignificant & 0xFFFF);
}

bool parseVersion(const QString &text, FileVersion &version)
{
    const QStringList parts = text.trimmed().split(u'.');
    if (parts.size() > 4)
        return false;
    quint32 numbers[4] = {0, 0, 0, 0};
    for (int i = 0; i < parts.size(); ++i) {
        bool ok = false;
        const uint n = parts[i].toUInt(&ok);
        if (!ok || n > 0xFFFF)
            return false;
        numbers[i] = n;
    }
    version.mostSignificant = numbers[0] << 16 | numbers[1];
    version.leastSignificant = numbers[2] << 16 | numbers[3];
    return true;
}

FileVersion programVersion()
{
    FileVersion version;
#ifdef TOLVARENIX_VERSION
    parseVersion(QStringLiteral(TOLVARENIX_VERSION), version);
#endif
    return version;
}

QString digest(const QString &fileName)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!hash.addData(&file))
        return {};
    return QString::fromLatin1(hash.result().toHex());
}

FileVersion GetFileVersion(const QString &fileName)
{
    const QFileInfo info(fileName);
    if (info.absoluteFilePath() == QFileInfo(ProgramFolder::path() + QLatin1String(ProgramFolder::kProgramName)).absoluteFilePath()
        || info.absoluteFilePath() == QFileInfo(ProgramFolder::programFile()).absoluteFilePath())
        return programVersion();

    FileVersion version;
    const QString manifest = manifestBeside(fileName);
    if (!QFileInfo(manifest).isFile())
        return version;
    const IniFile ini(manifest);
    const QString section = info.fileName();
    const QString pending = ini.readString(section, QLatin1String(kPendingKey));
    const QString pendingDigest = ini.readString(section, QLatin1String(kPendingDigestKey));
    const QString installedDigest = ini.readString(section, QLatin1String(kDigestKey));
    if (!pending.isEmpty() || !installedDigest.isEmpty()) {
        const QString current = digest(fileName);
        // The updater put the replacement in place.
        if (!pending.isEmpty() && !pendingDigest.isEmpty() && current == pendingDigest) {
            parseVersion(pending, version);
            return version;
        }
        // Someone else's file: nothing is known of it.
        if (!installedDigest.isEmpty() && current != installedDigest)
            return version;
    }
    FileVersion recorded;
    if (parseVersion(ini.readString(section, QLatin1String(kVersionKey)), recorded))
        version = recorded;
    return version;
}

bool IsNewerVersion(const QString &current, const QString &candidate)
{
    const qsizetype currentDot = current.indexOf(u'.');
    const qsizetype candidateDot = candidate.indexOf(u'.');
    if (currentDot < 0 || candidateDot < 0) {
        qint64 a = 0, b = 0;
        if (!wholeNumber(current, a) || !wholeNumber(candidate, b))
            return false;
        return b > a;
    }
    const qint64 a = requireWholeNumber(current.left(currentDot));
    const qint64 b = requireWholeNumber(candidate.left(candidateDot));
    if (a != b)
        return a < b;
    return IsNewerVersion(current.mid(currentDot + 1), candidate.mid(candidateDot + 1));
}

bool FileNeedsUpdate(const QString &fileName, const QString &candidate)
{
    const QFileInfo info(fileName);
    if (info.fileName().startsWith(u'.') || info.isDir())
        return false;
    if (!info.exists())
        return true;
    const QString current = GetFileVersion(fileName).text();
    const QString available = QFileInfo(candidate).isFile() ? GetFileVersion(candidate).text() : candidate;
    return IsNewerVersion(current, available);
}

bool recordInstalled(const QString &fileName, const QString &version)
{
    IniFile ini(manifestBeside(fileName));
    const QString section = QFileInfo(fileName).fileName();
    return ini.writeString(section, QLatin1String(kVersionKey), version)
        && ini.writeString(section, QLatin1String(kDigestKey), digest(fileName))
        && ini.writeString(section, QLatin1String(kPendingKey), QString())
        && ini.writeString(section, QLatin1String(kPendingDigestKey), QString());
}

bool recordPending(const QString &fileName, const QString &version, const QString &replacement)
{
    IniFile ini(manifestBeside(fileName));
    const QString section = QFileInfo(fileName).fileName();
    return ini.writeString(section, QLatin1String(kPendingKey), version)
        && ini.writeString(section, QLatin1String(kPendingDigestKey), digest(replacement));
}

} // namespace ModuleVersions
