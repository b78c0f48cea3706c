#pragma once

#include <QString>

#include <optional>

// The network shares mounted on this computer, read from the kernel's mount
// table: a path on such a share depends on a computer that may not answer.
namespace NetworkMounts {

struct Mount
{
    QString mountPoint; // where the share is mounted, no trailing "/"
    QString source;     // the share, as the mount table names it
    QString host;       // the computer that serves it
};

// The network mount holding path (the one with the longest mount point that
// contains it), or nothing when the path lies on a local file system. The
// mount table file can be given for tests.
std::optional<Mount> find(const QString &path, const QString &mountTable = QStringLiteral("/proc/self/mounts"));

// The computer named by a mount source: "//server/share" and "\\server\share"
// give "server", "server:/export" gives "server"; otherwise the source itself.
QString hostOf(const QString &source);

} // namespace NetworkMounts
