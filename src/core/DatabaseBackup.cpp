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

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <sys/stat.h>

namespace {

const QString kSection = QStringLiteral("Main");
const QString kPathKey = QStringLiteral("BackupPath");
const QString kNodePathKey = QStringLiteral("BackupNodePath");
// The network share the backup folder was chosen on: once unmounted, its
// mount point is a local folder that must not receive the backup.
const QString kMountSourceKey = QStringLiteral("BackupMountSource");

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

// Creates folder with its missing parents, each new one to the user alone:
// the backup is as private as the database folder. Folders already there
// stay as they are.
bool makePrivatePath(const QString &folder)
{
    const QString path = QDir::cleanPath(QFileInfo(folder).absoluteFilePath());
    for (qsizetype slash = path.indexOf(u'/', 1);; slash = path.indexOf(u'/', slash + 1)) {
        const QString level = slash < 0 ? path : path.left(slash);
        if (::mkdir(QFile::encodeName(level).constData(), S_IRWXU) != 0 && errno != EEXIST)
            return false;
        if (slash < 0)
            return QFileInfo(path).isDir();
    }
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
    f.setPermissions(QFile::ReadOwner | QFile::WriteOwner); // a disk that keeps no modes refuses it
    for (const QString &name : sorted)
        f.write(name.toUtf8() + '\n');
    return f.commit();
}

// Files of the previous backup set aside during a replacement that did not
// finish go back where their place is empty.
bool putPreviousBack(const QString &backupFolder, const QString &previous)
{
    if (!entryExists(previous))
        return true;
    for (const QString &file : filesBelow(previous)) {
        const QString target = backupFolder + file;
        if (!entryExists(target)
            && (!makePrivatePath(QFileInfo(target).path()) || !renameEntry(previous + file, target)))
            return false;
    }
    return removeEntry(previous);
}

// Present, listing the new files, from the moment the new copy is complete
// until it has replaced the previous backup: a backup stopped in between is
// finished by the next one, or at the next start.
constexpr char kSwapJournal[] = ".Tolvarenix-sauvegarde-remplacement.lst";

struct SwapFolders
{
    explicit SwapFolders(const QString &backupFolder)
        : to(AddBackslash(backupFolder))
        , staging(DatabaseBackup::stagingFolder(backupFolder))
        , previous(DatabaseBackup::previousFolder(backupFolder))
        , journal(to + QLatin1String(kSwapJournal))
    {
    }
    QString to, staging, previous, journal;
};

// Moves each file still in the staging folder into place, its previous
// version set aside first. Each step can be taken again from wherever a
// crash stopped it: the new backup is always the staged files and the
// placed ones.
bool placeStagedFiles(const SwapFolders &f, QStringList &placed, const std::function<void()> &step)
{
    for (const QString &file : filesBelow(f.staging)) {
        const QString target = f.to + file;
        step();
        if (entryExists(target)
            && (!makePrivatePath(QFileInfo(f.previous + file).path()) || !renameEntry(target, f.previous + file)))
            return false;
        step();
        if (!makePrivatePath(QFileInfo(target).path()) || !renameEntry(f.staging + file, target))
            return false;
        placed << file;
    }
    step();
    removeEntry(f.previous);
    step();
    removeEntry(f.staging);
    step();
    QFile::remove(f.journal);
    return true;
}

// Leaves one whole backup after a backup that stopped: a complete copy
// replaces the previous backup, an incomplete one is dropped.
bool recoverInterruptedSwap(const SwapFolders &f)
{
    QStringList placed;
    if (entryExists(f.journal))
        return placeStagedFiles(f, placed, [] {});
    return putPreviousBack(f.to, f.previous) && removeEntry(f.staging);
}

} // namespace

DatabaseBackup::DatabaseBackup(LocalDatabase &database, std::function<void()> closeWindows)
    : m_database(database)
    , m_closeWindows(std::move(closeWindows))
    , m_chooser(RunFolderChooser)
    , m_mountTable(QStringLiteral("/proc/self/mounts"))
    , m_probe([](const QString &folder) { return NetworkPathExists(folder); })
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

        if (const QString host = unreachableComputer(path); !host.isEmpty()) {
            if (askToChooseAgain(QStringLiteral("Le chemin de sauvegarde [") + path
                                 + QStringLiteral("] n'est pas correct, l'ordinateur [") + host
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

        if (!makePrivatePath(path)) {
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
    const QString storedPath = ini.readString(kSection, kPathKey);
    QString path = storedPath;
    m_chooser(QStringLiteral("Veuillez sélectionner le répertoire de sauvegarde de la base de données"), path,
              nodePath);
    if (!path.isEmpty() && !nodePath.isEmpty()) {
        ini.writeString(kSection, kPathKey, path);
        ini.writeString(kSection, kNodePathKey, nodePath);
        // A cancelled choice gives back the stored folder, whose share may
        // just be unmounted: it stays remembered.
        const auto mount = NetworkMounts::find(path, m_mountTable);
        if (mount || (path != storedPath && ini.hasKey(kSection, kMountSourceKey)))
            ini.writeString(kSection, kMountSourceKey, mount ? mount->source : QString());
    }
}

// The computer serving the backup folder when the folder cannot be reached:
// the share it was chosen on is no longer mounted there, or does not answer.
// Empty when the folder is local or reachable.
QString DatabaseBackup::unreachableComputer(const QString &path)
{
    IniFile ini(ProgramFolder::configurationFile());
    const QString source = ini.readString(kSection, kMountSourceKey);
    // Reached first: an automounted share unmounted for being idle shows in
    // the table as its automount point alone until a folder of it is opened.
    const bool reached = m_probe(path);
    const auto mount = NetworkMounts::find(path, m_mountTable);
    if (source.isEmpty() && mount) // a folder chosen before its share was remembered
        ini.writeString(kSection, kMountSourceKey, mount->source);
    if (!source.isEmpty() && (!mount || mount->source != source))
        return NetworkMounts::hostOf(source);
    if (mount && !reached && !m_probe(mount->mountPoint))
        return mount->host;
    return {};
}

void DatabaseBackup::recoverInterruptedBackup()
{
    const QString path = IniFile(ProgramFolder::configurationFile()).readString(kSection, kPathKey);
    if (path.isEmpty() || IsSameOrBelow(path, Globals::BaseFolder) || !unreachableComputer(path).isEmpty()
        || !QFileInfo(path).isDir())
        return;
    if (!recoverInterruptedSwap(SwapFolders(path)))
        LogWriter::write(QStringLiteral("Reprise de la sauvegarde interrompue impossible dans ") + path);
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

bool DatabaseBackup::copyKeepingPrevious(const QString &databaseFolder, const QString &backupFolder,
                                         const std::function<void()> &beforeEachSwapStep)
{
    if (databaseFolder.isEmpty() || backupFolder.isEmpty() || IsSameOrBelow(backupFolder, databaseFolder))
        return false;
    const auto step = [&] {
        if (beforeEachSwapStep)
            beforeEachSwapStep();
    };
    const SwapFolders f(backupFolder);
    const QString &to = f.to;
    const QString &staging = f.staging;
    const QString list = to + QLatin1String(kWrittenList);
    QSet<QString> written = readWrittenList(list);
    if (!recoverInterruptedSwap(f))
        return false;

    if (!makePrivatePath(staging) || !CopyDirectoryTree(databaseFolder, staging, true)) {
        removeEntry(staging);
        return false;
    }
    const QStringList files = filesBelow(staging);
    for (const QString &file : files) {
        // The copies keep none of the modes of their originals (where the
        // disk keeps modes at all).
        QFile::setPermissions(staging + file, QFile::ReadOwner | QFile::WriteOwner);
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
    step();
    if (!writeWrittenList(list, written) || !writeWrittenList(f.journal, QSet<QString>(files.begin(), files.end()))) {
        QFile::remove(f.journal);
        removeEntry(staging);
        return false;
    }

    // The copy is complete: each file of the previous backup steps aside for
    // its new version, and comes back if any placement fails. Should that
    // undoing fail too, the journal stays and the next backup finishes the
    // replacement.
    QStringList placed;
    if (!placeStagedFiles(f, placed, step)) {
        const bool undone = std::all_of(placed.cbegin(), placed.cend(), [&](const QString &file) {
            return renameEntry(to + file, staging + file);
        });
        if (undone && putPreviousBack(to, f.previous)) {
            QFile::remove(f.journal);
            removeEntry(staging);
            writeWrittenList(list, before);
        }
        return false;
    }
    return true;
}
