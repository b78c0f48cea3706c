#include "platform/NetworkMounts.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>

namespace {

bool isNetworkType(const QString &type)
{
    static const QSet<QString> types = {
        QStringLiteral("nfs"),  QStringLiteral("nfs4"), QStringLiteral("cifs"),   QStringLiteral("smb3"),
        QStringLiteral("smbfs"), QStringLiteral("ncpfs"), QStringLiteral("afs"),  QStringLiteral("9p"),
        QStringLiteral("ceph"), QStringLiteral("glusterfs"), QStringLiteral("davfs"),
        QStringLiteral("fuse.sshfs"), QStringLiteral("fuse.glusterfs"), QStringLiteral("fuse.davfs"),
        QStringLiteral("fuse.smbnetfs"), QStringLiteral("fuse.rclone")};
    return types.contains(type);
}

// Fields of the mount table write blanks, tabs, line breaks and backslashes
// as a backslash and three octal digits.
QString unescape(const QByteArray &field)
{
    QByteArray out;
    for (qsizetype i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size()) {
            bool ok = false;
            const int code = field.mid(i + 1, 3).toInt(&ok, 8);
            if (ok) {
                out += char(code);
                i += 3;
                continue;
            }
        }
        out += field[i];
    }
    return QFile::decodeName(out);
}

bool contains(const QString &mountPoint, const QString &path)
{
    return mountPoint == QLatin1String("/") || path == mountPoint || path.startsWith(mountPoint + u'/');
}

} // namespace

namespace NetworkMounts {

QString hostOf(const QString &source)
{
    QString s = source;
    s.replace(u'\\', u'/');
    if (s.startsWith(QLatin1String("//"))) {
        const qsizetype end = s.indexOf(u'/', 2);
        return end < 0 ? s.mid(2) : s.mid(2, end - 2);
    }
    const qsizetype colon = s.indexOf(u':');
    if (colon > 0)
        return s.left(colon);
    return s;
}

std::optional<Mount> find(const QString &path, const QString &mountTable)
{
    QFile file(mountTable);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QString target = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    QString bestPoint;
    QString bestSource;
    QString bestType;
    for (const QByteArray &line : file.readAll().split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() < 3)
            continue;
        const QString point = QDir::cleanPath(unescape(fields[1]));
        if (!contains(point, target) || point.size() < bestPoint.size())
            continue;
        bestPoint = point;
        bestSource = unescape(fields[0]);
        bestType = QString::fromLatin1(fields[2]);
    }
    if (bestPoint.isEmpty() || !isNetworkType(bestType))
        return std::nullopt;
    return Mount{bestPoint, bestSource, hostOf(bestSource)};
}

} // namespace NetworkMounts
