#pragma once

#include <QDirIterator>
#include <QFile>
#include <QMap>

// Every file below folder as its readers see it (links followed, hidden
// entries left out), by relative path, with its bytes.
inline QMap<QString, QByteArray> folderContent(const QString &folder)
{
    QMap<QString, QByteArray> content;
    for (QDirIterator it(folder, QDir::Files, QDirIterator::Subdirectories | QDirIterator::FollowSymlinks); it.hasNext();) {
        QFile file(it.next());
        content.insert(QDir(folder).relativeFilePath(file.fileName()), file.open(QIODevice::ReadOnly) ? file.readAll() : "?");
    }
    return content;
}
