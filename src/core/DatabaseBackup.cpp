#include "core/DatabaseBackup.h"

#include "core/Common.h"
#include "core/Drives.h"
#include "core/Globals.h"
#include "core/LocalDatabase.h"
#include "core/LogWriter.h"
#include "core/SelectFolder.h"

#include "platform/Dialogs.h"
#include "platform/IniFile.h"
#include "platform/NetworkMounts.h"
#include "platform/ProgramFolder.h"

#include <QDir>
#include <QDirIterator>
#include <QSaveFile>
#include <QSet>
#include <QFile>
#include <QFileInfo>

#include <cstdio>
#include <sys/stat.h>

namespace {

const QString kSection = QStringLiteral("Main");
const QString kPathKey = QStringLiteral("BackupPath");
const QString kNodePathKey = QStringLiteral("BackupNodePath");

bool entryExists(const QString &path)
{
    struct stat st {};
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0;
}

// Removes a file, a link or a whole folder; true when nothing is left.
bool removeEntry(const QString &path)
{
    if (!entryExists(path))
        return true;
    // Without its trailing separator, a link is seen as the link itself.
    const QFileInfo info(QDir::cleanPath(path));
    if (info.isDir() && !info.isSymLink())
        return QDir(path).removeRecursively();
    return QFile::remove(info.filePath());
}

bool renameEntry(const QString &from, const QString &to)
{
    return std::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0;
}

// The files below folder, relative to it, hidden ones included.
QStringList filesBelow(const QString &folder)
{
    QStringList files;
    const QDir root(folder);
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        files << root.relativeFilePath(it.next());
    files.sort();
    return files;
}

// True when a folder on the way to file is taken by something that is not
// a plain folder (a file or a link of the user's).
bool blockedParent(const QString &backupFolder, const QString &file)
{
    QString path = backupFolder;
    const QStringList parts = file.split(u'/');
    for (qsizetype i = 0; i + 1 < parts.size(); ++i) {
        path += parts[i];
        const QFileInfo info(path);
        if (entryExists(path) && (info.isSymLink() || !info.isDir()))
            return true;
        path += u'/';
    }
    return false;
}

// The files this program's backups wrote into the backup folder, one
// relative path a line: only those may ever be replaced there.
constexpr char kWrittenList[] = ".Tolvarenix-sauvegarde.lst";

QSet<QString> readWrittenList(const QString &file)
{
    QSet<QString> names;
    QFile f(file);
    if (f.open(QIODevice::ReadOnly))
        for (const QByteArray &line : f.readAll().split('\n'))
            if (!line.isEmpty())
                names.insert(QString::fromUtf8(line));
    return names;
}

bool writeWrittenList(const QString &file, const QSet<QString> &names)
{
    QStringList sorted(names.begin(), names.end());
    sorted.sort();
    QSaveFile f(file);
    if (!f.open(QIODevice::WriteOnly))
        return false;
    for (const QString &name : sorted)
        f.write(name.toUtf8() + '\n');
    return f.commit();
}

// A backup interrupted while swapping left some previous files aside: those
// whose place is empty go back, so they are not lost.
bool recoverInterruptedSwap(const QString &backupFolder, const QString &previous)
{
    if (!entryExists(previous))
        return true;
    for (const QString &file : filesBelow(previous)) {
        const QString target = backupFolder + file;
        if (!entryExists(target)
            && (!QDir().mkpath(QFileInfo(target).path()) || !renameEntry(previous + file, target)))
            return false;
    }
    return removeEntry(previous);
}

} // namespace

DatabaseBackup::DatabaseBackup(LocalDatabase &database, std::function<void()> closeWindows)
    : m_database(database)
    , m_closeWindows(std::move(closeWindows))
    , m_chooser(RunFolderChooser)
    , m_mountTable(QStringLiteral("/proc/self/mounts"))
{
}

QString DatabaseBackup::stagingFolder(const QString &backupFolder)
{
    return AddBackslash(backupFolder) + QStringLiteral(".Tolvarenix-sauvegarde-en-cours/");
}

QString DatabaseBackup::previousFolder(const QString &backupFolder)
{
    return AddBackslash(backupFolder) + QStringLiteral(".Tolvarenix-sauvegarde-precedente/");
}

DatabaseBackup::Outcome DatabaseBackup::Sauvegarder1Click()
{
    IniFile ini(ProgramFolder::configurationFile());
    bool tablesClosed = false;
    bool chooserShownForEmptyPath = false;
    for (;;) {
        const QString path = ini.readString(kSection, kPathKey);
        if (path.isEmpty()) {
            // Cancelling the first choice ends the command.
            if (chooserShownForEmptyPath)
                break;
            chooserShownForEmptyPath = true;
            SelectBackupFolder();
            continue;
        }

        if (const auto mount = NetworkMounts::find(path, m_mountTable);
            mount && !NetworkPathExists(mount->mountPoint)) {
            if (askToChooseAgain(QStringLiteral("Le chemin de sauvegarde [") + path
                                 + QStringLiteral("] n'est pas correct, l'ordinateur [") + mount->host
                                 + QStringLiteral("] étant inacessible.")))
                continue;
            break;
        }

        if (!Globals::BaseFolder.isEmpty() && IsSameOrBelow(path, Globals::BaseFolder)) {
            if (askToChooseAgain(QStringLiteral("Le dossier de sauvegarde [") + path
                                 + QStringLiteral("] se trouve dans le dossier de la base de données.")))
                continue;
            break;
        }

        if (!QDir().mkpath(path)) {
            if (askToChooseAgain(QStringLiteral("Impossible d'écrire dans le dossier [") + path
                                 + QStringLiteral("].")))
                continue;
            break;
        }

        CloseAllTables();
        tablesClosed = true;
        const bool copied = copyKeepingPrevious(Globals::BaseFolder, path);
        reopenTables();
        if (!copied) {
            LogWriter::write(QStringLiteral("Echec de la sauvegarde de la base de données vers ") + path);
            if (askToChooseAgain(QStringLiteral("Impossible de copier la base de données vers [") + path
                                 + QStringLiteral("].")))
                continue;
            break;
        }
        Dialogs::instance().information(QStringLiteral("La sauvegarde est terminée."));
        return Outcome::Completed;
    }
    return tablesClosed ? Outcome::Failed : Outcome::NotStarted;
}

bool DatabaseBackup::askToChooseAgain(const QString &problem)
{
    if (!Dialogs::instance().question(problem
                                      + QStringLiteral("\n\nSouhaitez-vous modifier le paramétrage de la sauvegarde ?")))
        return false;
    SelectBackupFolder();
    return true;
}

void DatabaseBackup::SelectBackupFolder()
{
    IniFile ini(ProgramFolder::configurationFile());
    QString nodePath = ini.readString(kSection, kNodePathKey);
    QString path = ini.readString(kSection, kPathKey);
    m_chooser(QStringLiteral("Veuillez sélectionner le répertoire de sauvegarde de la base de données"), path,
              nodePath);
    if (!path.isEmpty() && !nodePath.isEmpty()) {
        ini.writeString(kSection, kPathKey, path);
        ini.writeString(kSection, kNodePathKey, nodePath);
    }
}

void DatabaseBackup::CloseAllTables()
{
    if (m_closeWindows)
        m_closeWindows();
    m_database.close();
}

bool DatabaseBackup::reopenTables()
{
    try {
        m_database.reopen();
        return true;
    } catch (const LocalTablesError &e) {
        LogWriter::write(QStringLiteral("Réouverture des tables après la sauvegarde : ") + e.message());
        Dialogs::instance().error(QStringLiteral("Impossible de rouvrir les tables de la base de données :\n")
                                  + e.message());
        return false;
    }
}

bool DatabaseBackup::copyKeepingPrevious(const QString &databaseFolder, const QString &backupFolder)
{
    if (databaseFolder.isEmpty() || backupFolder.isEmpty() || IsSameOrBelow(backupFolder, databaseFolder))
        return false;
    const QString to = AddBackslash(backupFolder);
    const QString staging = stagingFolder(backupFolder);
    const QString previous = previousFolder(backupFolder);
    const QString list = to + QLatin1String(kWrittenList);
    QSet<QString> written = readWrittenList(list);
    if (!recoverInterruptedSwap(to, previous) || !removeEntry(staging))
        return false;

    if (!CopyDirectoryTree(databaseFolder, staging, true)) {
        removeEntry(staging);
        return false;
    }
    const QStringList files = filesBelow(staging);
    for (const QString &file : files) {
        // Only files an earlier backup wrote may be replaced; a folder must
        // stay a folder. Nor may a move reach the database folder itself.
        const QString target = to + file;
        const bool ours = written.contains(file) && QFileInfo(target).isFile() && !QFileInfo(target).isSymLink();
        if ((entryExists(target) && !ours) || blockedParent(to, file) || IsSameOrBelow(databaseFolder, target)) {
            removeEntry(staging);
            return false;
        }
    }
    // Listed before they are placed, so an interrupted backup still knows
    // its own files the next time.
    const QSet<QString> before = written;
    for (const QString &file : files)
        written.insert(file);
    if (!writeWrittenList(list, written)) {
        removeEntry(staging);
        return false;
    }

    // The copy is complete: each file of the previous backup steps aside for
    // its new version, and comes back if any placement fails.
    QStringList placed;
    bool swapped = true;
    for (const QString &file : files) {
        const QString target = to + file;
        if (entryExists(target)
            && (!QDir().mkpath(QFileInfo(previous + file).path()) || !renameEntry(target, previous + file))) {
            swapped = false;
            break;
        }
        if (!QDir().mkpath(QFileInfo(target).path()) || !renameEntry(staging + file, target)) {
            swapped = false;
            break;
        }
        placed << file;
    }
    if (!swapped) {
        for (const QString &file : placed)
            renameEntry(to + file, staging + file);
        recoverInterruptedSwap(to, previous);
        removeEntry(staging);
        writeWrittenList(list, before);
        return false;
    }
    removeEntry(previous);
    removeEntry(staging);
    return true;
}
