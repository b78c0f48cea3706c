#include "core/SevenZip.h"

#include "core/Common.h"
#include "platform/Dialogs.h"
#include "core/Downloader.h"
#include "core/LogWriter.h"
#include "core/ServerSettings.h"
#include "core/Globals.h"
#include "platform/HttpClient.h"
#include "platform/IniFile.h"
#include "platform/LocalAddressWatcher.h"
#include "core/Process.h"
#include "platform/ProgramFolder.h"
#include "platform/TextRules.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QProcess>
#include <QSaveFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

namespace SevenZip {

namespace {

QString installedFolder()
{
    return ProgramFolder::path() + QLatin1String(kInstalledFolder) + u'/';
}

// The program of a folder: "7z", or the maker's own "7zz".
QString programIn(const QString &folder)
{
    const QString base = AddBackslash(folder);
    for (const char *name : {kProgramName, kMakersProgramName})
        if (QFileInfo(base + QLatin1String(name)).isFile())
            return base + QLatin1String(name);
    return base + QLatin1String(kProgramName);
}

// Written into the installed folder once 7-Zip answered at the end of its
// installation: the folder of an installation that stopped half-way (a
// program partly written) is not 7-Zip.
QString installedMarker()
{
    return installedFolder() + QLatin1String(kInstalledMarker);
}

// The folder of 7-Zip: the configured one, else the one installed in the
// program's folder by an installation that finished, else the one found on
// PATH; empty when 7-Zip is nowhere to be seen.
QString locateFolder()
{
    const QString configured = TextRules::trim32(IniFile(ProgramFolder::configurationFile())
                                                     .readString(QLatin1String(kSection), QLatin1String(kFolderKey)));
    if (!configured.isEmpty())
        return configured;
    if (QFileInfo(programIn(installedFolder())).isFile() && QFileInfo(installedMarker()).isFile())
        return installedFolder();
    for (const char *name : {kProgramName, kMakersProgramName}) {
        const QString found = QStandardPaths::findExecutable(QLatin1String(name));
        if (!found.isEmpty())
            return QFileInfo(found).absolutePath();
    }
    return {};
}

// The 7-Zip of folder answers (lists its formats, exit code 0).
bool answers(const QString &folder)
{
    if (folder.isEmpty())
        return false;
    QProcess probe;
    probe.setStandardInputFile(QProcess::nullDevice());
    probe.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    probe.setStandardOutputFile(QProcess::nullDevice());
    probe.start(programIn(folder), {QStringLiteral("i")});
    if (!probe.waitForFinished(10000)) {
        probe.kill();
        probe.waitForFinished(1000);
        return false;
    }
    return probe.exitStatus() == QProcess::NormalExit && probe.exitCode() == 0;
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

void endStartup(const StartupNeeds &parts, const QString &message, bool disconnectHttp)
{
    Dialogs::instance().error(message);
    if (disconnectHttp && parts.http)
        parts.http->disconnect();
    parts.armClose();
}

} // namespace

QString programFile()
{
    return programIn(Globals::SevenZipFolder);
}

QString manualProcedure()
{
    return QStringLiteral("Le programme d'installation n'a pas fonctionné correctement. Pour installer 7ZIP, "
                          "veuillez suivre la procédure suivante :\n")
           + QStringLiteral("    - ouvrir le gestionnaire de fichiers,\n")
           + QStringLiteral("    - ouvrir le dossier \"") + ProgramFolder::path() + QStringLiteral("\",\n")
           + QStringLiteral("    - y extraire le fichier nommé \"") + QLatin1String(kArchiveName)
           + QStringLiteral("\" dans le dossier \"") + QLatin1String(kInstalledFolder)
           + QStringLiteral("\" (ou installer le paquet \"7zip\" du système)\n")
           + QStringLiteral("Installer le programme avec les valeurs par défaut.\n\n")
           + QStringLiteral("Ne cliquez sur OK qu'après la fin de l'installation de 7ZIP.");
}

namespace {

// True when 7-Zip answers after its installation: the installed one, then
// marked, or one found elsewhere.
bool installationAnswers()
{
    if (answers(installedFolder())) {
        QSaveFile marker(installedMarker());
        if (!marker.open(QIODevice::WriteOnly) || marker.write("7z\n") < 0 || !marker.commit())
            LogWriter::write(QStringLiteral("Installation de 7-Zip : impossible d'écrire %1 : %2")
                                 .arg(installedMarker(), marker.errorString()));
        return true;
    }
    return answers(locateFolder());
}

const QString kNeeded = QStringLiteral("Tolvarenix Light a besoin de 7Zip pour fonctionner. Veuillez l'installer et "
                                       "relancer Tolvarenix Light.\nLe programme va être fermé.");

// Downloads the maker's archive and unpacks it into the program's folder,
// then waits until 7-Zip answers. False when the start-up must end (the
// message has been shown and the closing timer armed).
bool install(const StartupNeeds &parts)
{
    const QString programFolder = ProgramFolder::path();
    const QString temp = programFolder + QStringLiteral("Temp/");
    QDir().mkpath(temp);
    DeleteFileIfExists(temp + QLatin1String(kArchiveName));

    const QString url = ServerSettings::webServer() + QStringLiteral("/programmes/") + QLatin1String(kArchiveName);
    if (!parts.downloader
        || !parts.downloader->fetchFromWebServer(url, QLatin1String(kArchiveName), programFolder,
                                                 QStringLiteral("7Zip"), 0, false, QString())) {
        if (parts.downloader)
            LogWriter::write(QStringLiteral("Téléchargement de 7-Zip : ") + parts.downloader->lastError());
        Dialogs::instance().warning(
            QStringLiteral("Impossible de télécharger 7Zip.\nPelmacor utilise une connexion HTTP pour accéder au "
                           "serveur Tolvarenix. Cette connexion est généralement bloquée par les pare-feu "
                           "(firewalls). Si un pare-feu est actif sur votre ordinateur, veuillez autoriser "
                           "\"Pelmacor.exe\" à accéder à l'internet. Si cela ne suffit pas, veuillez désactiver le "
                           "pare-feu et relancer Tolvarenix Light.\n\nFermeture de Tolvarenix Light."));
        parts.armClose();
        return false;
    }

    const QString archive = programFolder + QLatin1String(kArchiveName);
    const QString target = installedFolder();
    DeleteFileIfExists(installedMarker());
    QString error;
    if (!QDir().mkpath(target)) {
        error = QStringLiteral("Impossible de créer le dossier %1.").arg(target);
    } else {
        TProcess process;
        process.Program = QStringLiteral("tar");
        process.Directory = programFolder;
        process.ShowWindow = TShowWindow::swHide;
        process.Arguments = {QStringLiteral("-xJf"), archive, QStringLiteral("-C"), target,
                             QStringLiteral("--no-same-owner"), QStringLiteral("--no-same-permissions")};
        RunWithWaitingForm(process, QStringLiteral("Veuillez patienter pendant l'installation de 7Zip..."));
        if (process.Finished() && !process.Succeeded())
            error = process.outcome() == TProcess::Outcome::NotStarted
                        ? QStringLiteral("impossible de lancer %1 : %2").arg(process.Program, process.ErrorText())
                        : QStringLiteral("%1 (code %2) : %3")
                              .arg(process.CommandText(), QString::number(qint32(process.ExitCode())),
                                   process.ErrorText().trimmed());
    }
    if (!error.isEmpty()) {
        LogWriter::write(QStringLiteral("Installation de 7-Zip : ") + error);
        endStartup(parts,
                   QStringLiteral("Erreur durant l'installation de 7Zip.\nErreur : ") + error
                       + QStringLiteral("\n\nLe programme va être fermé."),
                   true);
        return false;
    }

    // Until 7-Zip answers, the manual procedure every 30 tries: the one
    // just installed, marked as installed then, or one the user put in
    // place meanwhile.
    for (int polls = 0; !installationAnswers();) {
        if (++polls == 30) {
            Dialogs::instance().error(manualProcedure());
            polls = 0;
        }
        QThread::msleep(500);
    }
    if (parts.http)
        parts.http->disconnect();
    DeleteFileIfExists(archive);
    DeleteFileIfExists(temp + QLatin1String(kArchiveName));
    return true;
}

} // namespace

bool checkPresence(const StartupNeeds &parts)
{
    if (parts.watcher)
        parts.watcher->setActive(true);

    if (locateFolder().isEmpty()) {
        if (parts.watcher && parts.watcher->offline()) {
            endStartup(parts, kNeeded, true);
            return false;
        }
        if (!Dialogs::instance().ask(Dialogs::Kind::Information,
                QStringLiteral("Le programme de décompression 7ZIP n'a pas été installé sur cet ordinateur.\n")
                + QStringLiteral("Voulez-vous le télécharger et l'installer maintenant (Tolvarenix Light ne peut pas "
                                 "fonctionner sans ce programme - environ 1 Mo) ?"))) {
            endStartup(parts, kNeeded, true);
            return false;
        }
        if (!install(parts))
            return false;
    }
    const QString folder = locateFolder();

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
            result.exitCode = int(process.ExitCode());
            result.output = process.ErrorText();
            result.error = QStringLiteral("Échec de la décompression de %1 (code %2) : %3")
                               .arg(archive, QString::number(qint32(process.ExitCode())), process.ErrorText());
            return result;
        }
    }

    QStringList files;
    const QString unsafe = firstUnsafeEntry(work.path(), files);
    if (!unsafe.isEmpty()) {
        result.unsafeEntry = true;
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
