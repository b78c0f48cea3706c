#pragma once

#include <QDirIterator>
#include <QMap>
#include <QString>
#include <QTemporaryDir>

// A fresh, empty program folder for one test: TOLVARENIX_HOME points at it
// for the lifetime of the object, and the XDG desktop folder at a sibling
// folder "Desktop" (not created unless asked).
class TestHome
{
public:
    explicit TestHome(bool withDesktop = false);
    ~TestHome();

    QString path() const;          // the program folder, with its trailing "/"
    QString desktopPath() const;   // the desktop folder, no trailing "/"
    QString file(const QString &relative) const { return path() + relative; }
    // Writes a file below the program folder (folders created as needed).
    void write(const QString &relative, const QByteArray &content) const;

private:
    QTemporaryDir m_dir;
    QByteArray m_oldHome;
    QByteArray m_oldDesktop;
};

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
