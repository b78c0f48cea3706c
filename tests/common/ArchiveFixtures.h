#pragma once

// Files and 7z archives made by the runner and download tests.

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QtTest>

inline void writeFile(const QString &fileName, const QByteArray &content)
{
    QDir().mkpath(QFileInfo(fileName).absolutePath());
    QFile f(fileName);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(content);
}

inline QByteArray readFile(const QString &fileName)
{
    QFile f(fileName);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Archives the entries of folder with the real 7z (options before the archive).
inline void makeArchive(const QString &archive, const QString &folder, const QStringList &options)
{
    QProcess p;
    p.setWorkingDirectory(folder);
    p.setStandardInputFile(QProcess::nullDevice());
    p.start(QStringLiteral("7z"), QStringList{"a", "-t7z"} + options + QStringList{archive, "."});
    QVERIFY(p.waitForFinished(60000));
    QCOMPARE(p.exitCode(), 0);
}

// Every entry below a folder, hidden ones included, sorted.
inline QStringList entriesBelow(const QString &folder)
{
    QStringList names;
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        names << QDir(folder).relativeFilePath(it.next());
    names.sort();
    return names;
}
