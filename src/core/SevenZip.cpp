#include "SevenZip.h"

#include "Common.h"
#include "Dialogs.h"
#include "Globals.h"
#include "HttpClient.h"
#include "IniFile.h"
#include "LocalAddressWatcher.h"
#include "Process.h"
#include "ProgramFolder.h"
#include "TextRules.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>

namespace SevenZip {

namespace {

// The folder holding "7z": the configured one, else the one found on PATH;
// empty when 7-Zip is nowhere to be seen.
QString locateFolder()
{
    const QString configured = TextRules::trim32(IniFile(ProgramFolder::configurationFile())
                                                     .readString(QLatin1String(kSection), QLatin1String(kFolderKey)));
    if (!configured.isEmpty())
        return configured;
    const QString found = QStandardPaths::findExecutable(QLatin1String(kProgramName));
    return found.isEmpty() ? QString() : QFileInfo(found).absolutePath();
}

bool isPlainEntry(const QFileInfo &info)
{
    return !info.isSymLink() && (info.isFile() || info.isDir());
}

// The first entry below folder that is neither a plain file nor a folder
// (links, devices, pipes, sockets); empty when there is none. files
// receives the plain files, relative to folder.
QString firstUnsafeEntry(const QString &folder, QStringList &files)
{
    const QDir root(folder);
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        const QFileInfo info = it.fileInfo();
        const QString relative = root.relativeFilePath(info.filePath());
        if (!isPlainEntry(info))
            return relative;
        if (info.isFile())
            files << relative;
    }
    files.sort(Qt::CaseInsensitive);
    return {};
}

// Moves the content of source into destination, replacing files (and links)
// of the same names; folders are merged.
bool moveContent(const QString &source, const QString &destination, QString &failed)
{
    const QFileInfoList entries =
        QDir(source).entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QFileInfo &entry : entries) {
        const QString target = destination + u'/' + entry.fileName();
        const QFileInfo existing(target);
        if (entry.isDir()) {
            if (existing.isSymLink() && !QFile::remove(target)) {
                failed = target;
                return false;
            }
            if (!QDir().mkpath(target) || !moveContent(entry.filePath(), target, failed))
                return false;
        } else if (!MoveReplacing(entry.filePath(), target)) {
            failed = target;
            return false;
        }
    }
    return true;
}

void endStartup(const MainWindowParts &parts, const QString &message, bool disconnectHttp)
{
    Dialogs::instance().error(message);
    if (disconnectHttp && parts.http)
        parts.http->disconnect();
    parts.armClose();
}

} // namespace

QString programFile()
{
    return Globals::SevenZipFolder + QLatin1String(kProgramName);
}

bool checkPresence(const MainWindowParts &parts)
{
    if (parts.watcher)
        parts.watcher->setActive(true);

    const QString folder = locateFolder();
    if (folder.isEmpty()) {
        // Nothing is downloaded or installed from here: 7-Zip comes with the
        // system's packages, so the user is told to install it, online or not.
        endStartup(parts,
                   QStringLiteral("Tolvarenix Light a besoin de 7Zip pour fonctionner. Veuillez l'installer et "
                                  "relancer Tolvarenix Light.\nLe programme va être fermé."),
                   true);
        return false;
    }

    Globals::SevenZipFolder = AddBackslash(folder);
    const QFileInfo program(programFile());
    if (!program.isFile() || !program.isExecutable()) {
        endStartup(parts,
                   QStringLiteral("Le programme de décompression 7ZIP a été désinstallé ou déplacé.\n\n"
                                  "Veuillez réinstaller ce programme.\n\nTolvarenix Light va être fermé."),
                   false);
        return false;
    }
    return true;
}

Extraction extract(const QString &archive, const QString &destination, const QString &password,
                   const QString &waitMessage, const QString &requiredFile)
{
    Extraction result;
    const QString target = QDir::cleanPath(destination);
    if (!QDir().mkpath(target)) {
        result.error = QStringLiteral("Impossible de créer le dossier %1.").arg(target);
        return result;
    }
    // Private to the user (0700) and removed with whatever is left in it.
    QTemporaryDir work(target + QStringLiteral("/.extraction-XXXXXX"));
    if (!work.isValid()) {
        result.error = QStringLiteral("Impossible de créer un dossier de décompression dans %1.").arg(target);
        return result;
    }

    {
        TProcess process;
        process.Program = programFile();
        process.Directory = Globals::SevenZipFolder;
        process.Arguments = {QStringLiteral("x"), archive, QStringLiteral("-o") + work.path(), QStringLiteral("-y"),
                             QStringLiteral("-p") + password};
        RunWithWaitingForm(process, waitMessage);

        if (!process.Finished()) {
            result.error = QStringLiteral("La décompression de %1 a été interrompue.").arg(archive);
            return result;
        }
        if (process.outcome() == TProcess::Outcome::NotStarted) {
            result.error = QStringLiteral("Impossible de lancer 7-Zip (%1) : %2").arg(process.Program, process.ErrorText());
            return result;
        }
        if (!process.Succeeded()) {
            result.error = QStringLiteral("Échec de la décompression de %1 (code %2) : %3")
                               .arg(archive, QString::number(qint32(process.ExitCode())), process.ErrorText());
            return result;
        }
    }

    QStringList files;
    const QString unsafe = firstUnsafeEntry(work.path(), files);
    if (!unsafe.isEmpty()) {
        result.error = QStringLiteral("L'archive %1 contient un lien ou un fichier spécial refusé : %2").arg(archive, unsafe);
        return result;
    }
    if (!requiredFile.isEmpty() && !files.contains(requiredFile)) {
        result.error = QStringLiteral("Le fichier %1 ne se trouve pas dans l'archive %2.").arg(requiredFile, archive);
        return result;
    }
    QString failed;
    if (!moveContent(work.path(), target, failed)) {
        result.error = QStringLiteral("Impossible de placer le fichier décompressé %1.").arg(failed);
        return result;
    }
    result.ok = true;
    result.files = files;
    return result;
}

} // namespace SevenZip
