#include "reception/Reception.h"

#include "core/DebugTrace.h"
#include "core/ReportName.h"

#include "platform/Clock.h"
#include "core/Common.h"
#include "platform/Dialogs.h"
#include "core/Globals.h"
#include "core/LocalDatabase.h"
#include "core/LogWriter.h"
#include "core/MainWindowInterface.h"
#include "reception/MessageAction.h"
#include "platform/Pop3Client.h"
#include "platform/ProgramFolder.h"
#include "reception/RemoteRecording.h"
#include "reception/ReportFile.h"
#include "core/SevenZip.h"
#include "platform/TextRules.h"
#include "reception/UMessage.h"
#include "reception/VerifiedCopy.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QLabel>
#include <QProgressBar>
#include <QSaveFile>
#include <QScopeGuard>
#include <QTimer>

#include <algorithm>

namespace {

constexpr QChar kCR = QChar(13);
// A received report whose name gives no sending time is kept under this
// suffix, which the import leaves alone.

// Set while a reception runs: the command cannot be started a second time
// from the events the reception lets through.
bool s_running = false;

void processEvents()
{
    QCoreApplication::processEvents();
}

QString messageNumber()
{
    return QString::number(Globals::CurrentMailNumber);
}

// The entries of the e-mails folder, hidden ones left out.
QStringList emailsFolderEntries()
{
    QStringList names;
    ListFiles(Globals::EmailsFolder + QStringLiteral("*.*"), names);
    names.removeIf([](const QString &name) { return name.startsWith(u'.'); });
    return names;
}

// The reports of the message being handled that were set aside for their
// name: hidden, so that the receipt of the message's other reports never
// takes them for reports.
QString setAsideFolder()
{
    return Globals::EmailsFolder + QStringLiteral(".rejete/");
}

// The folder of a report's other files: "Attachments/<report without its
// extension>/" (a report set aside keeps the folder of its own name).
QString attachmentsFolderOf(const QString &report)
{
    QString name = report;
    if (name.endsWith(QLatin1String(ReportName::kSetAsideSuffix)))
        name.chop(qsizetype(sizeof(ReportName::kSetAsideSuffix) - 1));
    return ReportName::attachmentsFolder(name);
}

// The name a report set aside takes in the import folder: "<name>.rejete",
// or "<stem>_<n>.<extension>.rejete" when a report set aside earlier (the
// same one sent again, maybe) holds that name or its documents folder.
QString setAsideName(const QString &name)
{
    const QFileInfo info(name);
    QString candidate = name;
    for (int n = 2; QFileInfo::exists(Globals::ImportFolder + candidate + QLatin1String(ReportName::kSetAsideSuffix))
                    || QFileInfo::exists(attachmentsFolderOf(candidate));
         ++n)
        candidate = info.completeBaseName() + u'_' + QString::number(n) + u'.' + info.suffix();
    return candidate + QLatin1String(ReportName::kSetAsideSuffix);
}

using NamedFile = std::pair<QString, QString>; // name in the import folder, source path

// The files below a folder of an archive, under their bare names.
QList<NamedFile> filesBelow(const QString &folder)
{
    QList<NamedFile> files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        files.append({it.fileName(), it.filePath()});
    }
    return files;
}

// The files a message brought, as the transfer places them.
struct Incoming {
    QList<NamedFile> reports; // top-level reports, and those set aside
    QList<NamedFile> others;
    QString clash;            // a name two files would take
};

Incoming incomingFiles()
{
    Incoming in;
    QStringList taken;
    const auto add = [&](const QString &name, const QString &source) {
        if (taken.contains(name, Qt::CaseInsensitive) && in.clash.isEmpty())
            in.clash = name;
        taken << name;
        in.others.append({name, source});
    };
    for (const QString &name : emailsFolderEntries()) {
        const QString path = Globals::EmailsFolder + name;
        if (QFileInfo(path).isDir()) {
            // The files of an archive's sub-folders join the others.
            for (const auto &[bare, source] : filesBelow(path))
                add(bare, source);
        } else if (ReportName::isProviderReport(name)) {
            // A report already moved in this run is the same report sent again.
            if (!Globals::ProcessedFiles.contains(name, Qt::CaseInsensitive))
                in.reports.append({name, path});
        } else {
            add(name, path);
        }
    }
    const QDir aside(setAsideFolder());
    for (const QString &name : aside.entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name))
        in.reports.append({setAsideName(name), aside.filePath(name)});
    return in;
}

QString severalFilesNamed(const QString &name)
{
    return QStringLiteral("Le message contient plusieurs fichiers nommés [") + name
         + QStringLiteral("] : ils ne peuvent pas être placés côte à côte pour l'importation.");
}

// The first name that two different attachments of the message share (the
// archives aside, each extracted apart); empty when there is none.
QString sharedAttachmentName(const MailMessage &message)
{
    const QList<MailPart> attachments = message.attachments();
    for (qsizetype i = 0; i < attachments.size(); ++i) {
        for (qsizetype j = i + 1; j < attachments.size(); ++j) {
            const QString &name = attachments[i].fileName;
            if (name == attachments[j].fileName && name != QLatin1String(Reception::kArchiveName)
                && attachments[i].content != attachments[j].content)
                return name;
        }
    }
    return {};
}

// The first attachment (the archives aside) that would replace a different
// file already in the e-mails folder, which an archive of the message wrote;
// empty when there is none.
QString attachmentReplacingExtracted(const MailMessage &message)
{
    for (const MailPart &part : message.attachments()) {
        QFile existing(Globals::EmailsFolder + part.fileName);
        if (part.fileName != QLatin1String(Reception::kArchiveName) && existing.exists()
            && (!existing.open(QIODevice::ReadOnly) || existing.readAll() != part.content))
            return part.fileName;
    }
    return {};
}

QString alreadyThere(const QString &path)
{
    return QStringLiteral("Le fichier [") + path
         + QStringLiteral("] existe déjà : il ne sera pas remplacé par celui du message.");
}

} // namespace

Reception::Reception(MainWindowInterface &main) : fMain(main)
{
}

void Reception::bEmailClick(MainWindowInterface &main, const std::function<void()> &importObservances)
{
    if (s_running)
        return;
    s_running = true;
    const auto done = qScopeGuard([] { s_running = false; });

    if (!main.ConnectInternetDatabase(true)) {
        Dialogs::instance().error(QStringLiteral("Impossible de se connecter à internet. Veuillez vérifier votre "
                                                 "connexion et le paramétrage de votre pare-feu."));
        return;
    }
    bool received = false;
    try {
        received = Reception(main).ReceiveEmails();
    } catch (const std::exception &e) {
        // The worker and the mail table are closed already; what the message
        // brought stays on the server or in the e-mails folder.
        const QString text = QString::fromUtf8(e.what());
        LogWriter::write(QStringLiteral("Réception des emails interrompue : ") + text);
        Dialogs::instance().error(text);
        return;
    }
    if (received && importObservances)
        importObservances();
}

bool Reception::running()
{
    return s_running;
}

bool Reception::ReceiveEmails()
{
    bool result = false;
    setStatus(0, QStringLiteral("Réception en cours. Veuillez patienter..."));
    setStatus(1, QString());
    fMain.FImportPatientID = -1;

    if (fMain.ConnectInternetDatabase(true)) {
        LocalTable &mail = fMain.database().TMail;
        const bool mailWasOpen = mail.isActive();
        TfMessage worker;
        if (m_connectTimeoutMs > 0 || m_responseTimeoutS > 0 || m_deadlineBaseMs > 0) {
            worker.setAccountSource([source = worker.operations().accountSource, this] {
                MailAccount account = source();
                account.connectTimeoutMs = m_connectTimeoutMs;
                account.responseTimeoutS = m_responseTimeoutS;
                account.commandDeadlineBaseMs = m_deadlineBaseMs;
                return account;
            });
        }
        const auto closing = qScopeGuard([&] {
            if (!mailWasOpen && mail.isActive())
                mail.close();
            worker.close();
        });

        setStatus(0, QStringLiteral("Réception des emails..."));
        if (!mail.isActive())
            mail.open();
        const QList<HeaderRow> rows = worker.CheckMailToExecute();
        Globals::CurrentMailNumber = 0;
        Globals::MailCount = int(rows.size());
        // From the last row to the first: a deletion never renumbers the
        // messages still to come.
        for (int row = Globals::MailCount - 1; row >= 0; --row) {
            m_row = rows.at(row);
            Globals::CurrentMessageIndex = row;
            if (receiveMessage(worker) == Step::Stop || m_serverLost)
                break;
        }
        result = !m_mustClose;
        processEvents();
    }

    endSteps();
    if (m_mustClose)
        fMain.armCloseTimer();
    return result;
}

Reception::Step Reception::receiveMessage(TfMessage &worker)
{
    // The program is closing: the messages still to come stay on the server.
    if (fMain.closeRequested())
        return Step::Stop;
    ++Globals::CurrentMailNumber;
    setStatus(0, QStringLiteral("Réception des emails..."));
    setStatus(1, messageNumber() + u'/' + QString::number(Globals::MailCount));
    if (Globals::DebugMode && !Dialogs::instance().question(QStringLiteral("Voulez-vous télécharger le mail suivant ?")))
        return Step::Stop;

    DeleteFileIfExists(TfMessage::tempHtmlFile());
    fMain.MessageRetrieved = false;
    worker.RetrieveExecute(m_row);

    // Whatever happens to this message, nothing of it is left behind for the next.
    const auto emptied = qScopeGuard([] {
        EmptyDirectory(Globals::EmailsFolder);
        DeleteDirectoryTree(setAsideFolder());
    });
    if (!fMain.MessageRetrieved && worker.serverLost()) {
        m_serverLost = true;
        return Step::Stop;
    }
    if (!fMain.MessageRetrieved && worker.mailboxChanged()) {
        keepOnServer(QStringLiteral("La boîte aux lettres a été modifiée par un autre logiciel de messagerie depuis "
                                    "la lecture de la liste des messages : le message n°")
                     + messageNumber() + QStringLiteral(" n'a pas été téléchargé."));
        return Step::Next;
    }
    if (!fMain.MessageRetrieved) {
        EmptyDirectory(Globals::EmailsFolder);
        if (Dialogs::instance().question(QStringLiteral("Souhaitez-vous supprimer le mail n°") + messageNumber()
                                         + QStringLiteral(" corrompu du serveur de messagerie ?")))
            deleteOnServer(worker);
        return Step::Next;
    }

    TFMessageAction dialog(fMain.dialogParent());
    dialog.fillFromWorker(worker, Globals::CurrentMailNumber, Globals::MailCount);
    const Received received = saveAttachments(worker, dialog);
    if (!received.failure.isEmpty()) {
        keepOnServer(received.failure);
        return Step::Next;
    }
    if (!received.archiveFailure.isEmpty()) {
        if (received.archiveRefused)
            offerDeletion(worker, received.archiveFailure);
        else
            keepOnServer(received.archiveFailure);
        return Step::Next;
    }

    fMain.clearResultLines();
    if (received.rejectedReport && received.reportFile.isEmpty()) {
        // Nothing to record remotely: the files are put where the physician
        // finds them, and the message leaves the server once they are.
        importAndDelete(worker);
        return Step::Next;
    }
    if (!received.archive || received.reportFile.isEmpty()) {
        // An ordinary message, or an archive that brought no new report:
        // the physician decides.
        const int answer = dialog.exec();
        if (fMain.closeRequested())
            return Step::Stop; // ended by the closing, not answered: the message stays on the server
        if (answer == TFMessageAction::kResultImport)
            importAndDelete(worker);
        else
            deleteOnServer(worker);
        return Step::Next;
    }

    const QString reportPath = Globals::EmailsFolder + received.reportFile;
    const QStringList body = dialog.Memo1()->toPlainText().split(u'\n');
    const bool hasText = std::any_of(body.cbegin(), body.cend(),
                                     [](const QString &line) { return !TextRules::trim32(line).isEmpty(); });
    const ReportRead<QString> sender = GetReportSender(reportPath);
    const RemoteRecording::Receipt receipt =
        RemoteRecording::SaveReceivedDateOnFTP(fMain, sender.value, accountAddress(), reportPath);
    if (receipt.fatal) {
        // The program closes: the message stays on the server as it is.
        m_mustClose = true;
        return Step::Stop;
    }
    if (!receipt.stamped) {
        keepOnServer(QStringLiteral("La réception de l'observance [") + received.reportFile
                     + QStringLiteral("] n'a pas pu être enregistrée sur le serveur de Tolvarenix."));
        return Step::Next;
    }

    const int answer = hasText ? dialog.exec() : int(TFMessageAction::kResultImport);
    if (fMain.closeRequested())
        return Step::Stop; // ended by the closing, not answered: the message stays on the server
    if (answer == TFMessageAction::kResultImport) {
        importAndDelete(worker);
    } else {
        fMain.addResultLine(QLatin1String(kRefusalLine));
        const RemoteRecording::Outcome outcome = RemoteRecording::SaveImportationResultOnFTP(
            fMain, GetReportSender(reportPath).value, accountAddress(), reportPath);
        if (outcome == RemoteRecording::Outcome::Fatal) {
            m_mustClose = true;
            return Step::Stop;
        }
        if (outcome != RemoteRecording::Outcome::Recorded) {
            keepOnServer(QStringLiteral("Le refus de l'observance [") + received.reportFile
                         + QStringLiteral("] n'a pas pu être enregistré sur le serveur de Tolvarenix."));
            return Step::Next;
        }
        deleteOnServer(worker);
    }
    return Step::Next;
}

Reception::Received Reception::saveAttachments(TfMessage &worker, TFMessageAction &dialog)
{
    Received received;
    const QListWidget *parts = worker.lvMessageParts();
    const QString archive = Globals::EmailsFolder + QLatin1String(kArchiveName);
    if (const QString shared = sharedAttachmentName(worker.Msg()); !shared.isEmpty()) {
        received.failure = severalFilesNamed(shared);
        return received;
    }
    for (int i = 0; i < parts->count(); ++i) {
        QStringList saved;
        if (parts->item(i)->text() == QLatin1String(kArchiveName)) {
            // Every archive of the message at its first row, each apart.
            if (received.archive)
                continue;
            received.archive = true;
            for (int n = 0; n < parts->count(); ++n) {
                if (parts->item(n)->text() != QLatin1String(kArchiveName))
                    continue;
                DeleteFileIfExists(archive);
                if (!worker.SaveAttachments(QLatin1String(kArchiveName), &saved, &received.failure, n))
                    return received;
                DebugTrace::show(QStringLiteral("Pièce jointe [") + archive + QStringLiteral("] enregistrée."));
                DebugTrace::show(QStringLiteral("Décompression du fichier [") + archive + QStringLiteral("]..."));
                extractArchive(worker, received);
                if (!received.archiveFailure.isEmpty() || !received.failure.isEmpty())
                    return received;
            }
        } else {
            if (const QString clash = attachmentReplacingExtracted(worker.Msg()); !clash.isEmpty()) {
                received.failure = severalFilesNamed(clash);
                return received;
            }
            if (!worker.SaveAttachments(QString(), &saved, &received.failure))
                return received;
            for (const QString &name : std::as_const(saved))
                DebugTrace::show(QStringLiteral("Enregistrement du fichier [") + Globals::EmailsFolder + name
                      + QStringLiteral("] effectué."));
        }
    }
    if (received.archive)
        setAsideUnreadableNames(received);
    if (parts->count() > 0)
        received.reportFile = scanEmailsFolder(dialog);
    return received;
}

void Reception::extractArchive(TfMessage &worker, Received &received)
{
    const QString archive = Globals::EmailsFolder + QLatin1String(kArchiveName);
    const SevenZip::Extraction extraction =
        SevenZip::extract(archive, Globals::EmailsFolder, QLatin1String(kArchivePassword),
                          QStringLiteral("Veuillez patienter pendant l'extraction de \"") + archive
                              + QStringLiteral("\"..."), {}, false);
    if (!extraction.clash.isEmpty()) {
        // Another archive or attachment of the message brought a different file of that name.
        received.failure = severalFilesNamed(QFileInfo(extraction.clash).fileName());
        return;
    }
    if (!extraction.ok) {
        // 7-Zip's own words go to the log only.
        LogWriter::write(QStringLiteral("Décompression de l'archive du message n°") + messageNumber() + QStringLiteral(" : ")
                         + extraction.error);
        const QString which = QStringLiteral("L'archive \"") + QLatin1String(kArchiveName)
                            + QStringLiteral("\" du message n°") + messageNumber() + u'/'
                            + QString::number(Globals::MailCount) + QStringLiteral(" de [") + worker.From()->text()
                            + QStringLiteral("] (objet [") + worker.Subject()->text() + QStringLiteral("])");
        // 7-Zip's warning (1) and fatal error (2) codes: the archive itself
        // is at fault; any other failure is this computer's.
        received.archiveRefused = extraction.exitCode == 1 || extraction.exitCode == 2 || extraction.unsafeEntry;
        if (extraction.unsafeEntry)
            received.archiveFailure = which + QStringLiteral(" contient un lien ou un fichier spécial : elle est refusée.");
        else if (!received.archiveRefused)
            received.archiveFailure = which + QStringLiteral(" n'a pas pu être décompressée.");
        else if (extraction.output.contains(QLatin1String("Wrong password"), Qt::CaseInsensitive))
            received.archiveFailure = which + QStringLiteral(" ne peut pas être ouverte : son mot de passe est refusé.");
        else
            received.archiveFailure = which + QStringLiteral(" est endommagée : elle ne peut pas être décompressée.");
        return;
    }
    DebugTrace::show(QStringLiteral("Décompression du fichier [") + archive + QStringLiteral("] terminée."));
    DeleteFileIfExists(archive);
}

void Reception::setAsideUnreadableNames(Received &received)
{
    for (const QString &name : emailsFolderEntries()) {
        const QString path = Globals::EmailsFolder + name;
        if (!ReportName::isProviderReport(name) || QFileInfo(path).isDir() || SendDateFromFileName(name)
            || Globals::ProcessedFiles.contains(name, Qt::CaseInsensitive))
            continue;
        const ReportRead<QString> sender = GetReportSender(path);
        const QString text = QStringLiteral("Impossible de déterminer l'heure d'envoi de l'observance pour [") + name
                           + QStringLiteral("] provenant de [") + (sender.ok() ? sender.value : QString()) + u']';
        Dialogs::instance().warning(text + QStringLiteral(". Veuillez contacter Tolvarenix."));
        // Out of the message's reports: the receipt leaves it alone and the
        // transfer keeps it for the physician under "<name>.rejete".
        if (QDir().mkpath(setAsideFolder()) && QFile::rename(path, setAsideFolder() + name)) {
            LogWriter::write(text + QStringLiteral(" : mis de côté dans [") + Globals::ImportFolder
                             + QStringLiteral("] avec l'extension \"") + QLatin1String(ReportName::kSetAsideSuffix)
                             + QStringLiteral("\"."));
            received.rejectedReport = true;
        } else {
            received.failure = text + QStringLiteral(" ; il n'a pas pu être mis de côté.");
        }
    }
}

QString Reception::scanEmailsFolder(TFMessageAction &dialog)
{
    QString report;
    for (const QString &name : emailsFolderEntries()) {
        if (Globals::ProcessedFiles.contains(name, Qt::CaseInsensitive))
            continue;
        if (QFileInfo(Globals::EmailsFolder + name).isDir()) {
            for (const auto &[bare, source] : filesBelow(Globals::EmailsFolder + name))
                dialog.addAttachment(bare);
            continue;
        }
        dialog.addAttachment(name);
        if (ReportName::isProviderReport(name) && TextRules::upperAZ(name).endsWith(QLatin1String(".TXT")))
            report = name;
    }
    if (Globals::DebugMode) {
        QStringList items;
        for (int i = 0; i < dialog.PiecesJointes()->count(); ++i)
            items << dialog.PiecesJointes()->item(i)->text();
        Dialogs::instance().information(QStringLiteral("fMessageAction.PiecesJointes.Items = ") + kCR
                                        + items.join(kCR));
    }
    return report;
}

Reception::Transfer Reception::TransferFilesForImport()
{
    Transfer transfer;
    // Only ever the e-mails folder: before the worker first ran there is none.
    if (Globals::EmailsFolder.isEmpty())
        return transfer;
    setStatus(0, QStringLiteral("Transfert des fichiers pour importation..."));
    if (Globals::ImportFolder.isEmpty()) {
        transfer.failure = QStringLiteral("Le dossier d'importation n'est pas défini.");
        return transfer;
    }
    const QString attachments = ReportName::attachmentsRoot();
    QDir().mkpath(attachments);

    const Incoming in = incomingFiles();
    if (in.reports.isEmpty() && in.others.isEmpty())
        return transfer;
    const auto fail = [&](const QString &why) {
        transfer.failure = why;
        LogWriter::write(why);
        withdraw(transfer);
        transfer.written.clear();
        transfer.folders.clear();
        transfer.reports.clear();
        return transfer;
    };
    if (!in.clash.isEmpty())
        return fail(severalFilesNamed(in.clash));

    // Where the other files go: one folder of each report, or "Attachments/".
    // A report gets its folder even without other files: the import then
    // knows that none of its documents lies anywhere else.
    QStringList folders;
    for (const auto &[report, source] : in.reports) {
        if (QFileInfo::exists(Globals::ImportFolder + report))
            return fail(alreadyThere(Globals::ImportFolder + report));
        folders << attachmentsFolderOf(report);
    }
    if (in.reports.isEmpty())
        folders << attachments;

    const auto copy = [&](const QString &source, const QString &target) {
        QString error;
        if (QFileInfo::exists(target) || QFileInfo(target).isSymLink()) {
            fail(alreadyThere(target));
            return false;
        }
        if (!CopyFileVerified(source, target, &error)) {
            fail(QStringLiteral("Impossible de transférer le fichier [") + source + QStringLiteral("] vers [") + target
                 + QStringLiteral("] : ") + error);
            return false;
        }
        transfer.written << target;
        return true;
    };
    for (const QString &folder : std::as_const(folders)) {
        if (folder != attachments) {
            // Its report no longer waits (see above): left by an earlier one.
            if ((QFileInfo::exists(folder) || QFileInfo(folder).isSymLink())
                && ReportName::setLeftFolderAside(folder).isEmpty())
                return fail(alreadyThere(folder));
            if (!QDir().mkdir(folder))
                return fail(QStringLiteral("Impossible de créer le dossier [") + folder + u']');
            transfer.folders << folder;
        }
        for (const auto &[name, source] : in.others) {
            if (!copy(source, folder + name))
                return transfer;
        }
    }
    // The reports last: a report waits for import only with its files.
    for (const auto &[report, source] : in.reports) {
        if (!copy(source, Globals::ImportFolder + report))
            return transfer;
        transfer.reports << report;
    }

    Globals::ProcessedFiles << transfer.reports;
    for (const QList<NamedFile> &files : {in.reports, in.others}) {
        for (const auto &[name, source] : files)
            DeleteFileIfExists(source);
    }
    return transfer;
}

void Reception::withdraw(const Transfer &transfer)
{
    for (const QString &file : transfer.written)
        DeleteFileIfExists(file);
    for (const QString &folder : transfer.folders)
        QDir().rmdir(folder);
    for (const QString &name : transfer.reports)
        Globals::ProcessedFiles.removeIf(
            [&name](const QString &done) { return done.compare(name, Qt::CaseInsensitive) == 0; });
}

void Reception::importAndDelete(TfMessage &worker)
{
    const Transfer transfer = TransferFilesForImport();
    if (!transfer.failure.isEmpty()) {
        keepOnServer(transfer.failure);
        return;
    }
    // A message still on the server comes again with the next reception: its
    // files are placed then. Once the server accepted the deletion they stay,
    // whatever its QUIT gave: the import refuses a report stored twice.
    if (deleteOnServer(worker) == Deletion::NotDone)
        withdraw(transfer);
}

Reception::Deletion Reception::deleteOnServer(TfMessage &worker)
{
    try {
        worker.DeleteExecute(m_row);
        return Deletion::Done;
    } catch (const DeletionUncertainError &e) {
        m_serverLost = mailServerLost(e);
        warn(QStringLiteral("Le message n°") + messageNumber()
                 + QStringLiteral(" a peut-être été supprimé du serveur de messagerie, qui n'a pas confirmé la "
                                  "suppression : ")
                 + e.text() + u'.' + kCR
                 + QStringLiteral("S'il y est encore, il sera présenté à nouveau lors d'une prochaine réception."),
             m_serverLost);
        return Deletion::Uncertain;
    } catch (const Pop3Error &e) {
        m_serverLost = mailServerLost(e);
        keepOnServer(QStringLiteral("Le message n°") + messageNumber()
                         + QStringLiteral(" n'a pas pu être supprimé du serveur de messagerie : ") + e.text(),
                     m_serverLost);
        return Deletion::NotDone;
    }
}

QString Reception::rejectedMessagesFolder()
{
    return ProgramFolder::path() + QStringLiteral("Received/Rejetes/");
}

void Reception::offerDeletion(TfMessage &worker, const QString &why)
{
    keepOnServer(why);
    const QString folder = rejectedMessagesFolder();
    if (!Dialogs::instance().questionDefaultNo(QStringLiteral("Souhaitez-vous supprimer le mail n°") + messageNumber()
                                               + QStringLiteral(" du serveur de messagerie ?") + kCR
                                               + QStringLiteral("Il sera d'abord enregistré dans le dossier [")
                                               + folder + QStringLiteral("].")))
        return;
    const QString stem = folder + Clock::now().toString(QStringLiteral("yyyy-MM-dd_HH-mm-ss"))
                       + QStringLiteral("_message_") + messageNumber();
    QString path = stem + QStringLiteral(".eml");
    for (int n = 2; QFileInfo::exists(path); ++n)
        path = stem + u'_' + QString::number(n) + QStringLiteral(".eml");
    QSaveFile file(path);
    if (!KeepFolderPrivate(ProgramFolder::path() + QStringLiteral("Received")) || !QDir().mkpath(folder)
        || !file.open(QIODevice::WriteOnly)
        || file.write(worker.rawMessage()) != worker.rawMessage().size() || !file.commit()) {
        keepOnServer(QStringLiteral("Impossible d'enregistrer le message dans [") + path + QStringLiteral("] : ")
                     + file.errorString());
        return;
    }
    LogWriter::write(QStringLiteral("Message n°") + messageNumber() + QStringLiteral(" enregistré dans [") + path
                     + QStringLiteral("] avant sa suppression du serveur de messagerie."));
    deleteOnServer(worker);
}

void Reception::keepOnServer(const QString &why, bool abandon)
{
    warn(why + kCR + QStringLiteral("Le message n°") + messageNumber()
             + QStringLiteral(" est conservé sur le serveur de messagerie ; il sera traité lors d'une prochaine "
                              "réception."),
         abandon);
}

void Reception::warn(const QString &why, bool abandon)
{
    const QString text = why + (abandon ? kCR + QStringLiteral("Abandon de la procédure.") : QString());
    LogWriter::write(text);
    Dialogs::instance().warning(text);
}

void Reception::endSteps()
{
    const QString received = ProgramFolder::path() + QStringLiteral("Received/Temp/");
    QStringList names;
    ListFiles(received + QStringLiteral("*.*"), names);
    for (const QString &name : std::as_const(names)) {
        if (!QFileInfo(received + name).isDir())
            DeleteFileIfExists(received + name);
    }

    // What an interrupted earlier reception left in the e-mails folder.
    const Transfer transfer = TransferFilesForImport();
    if (!transfer.failure.isEmpty())
        Dialogs::instance().warning(transfer.failure + kCR + QStringLiteral("Le fichier reste dans le dossier [")
                                    + Globals::EmailsFolder + QStringLiteral("]."));

    // Last, so that the bar ends with it.
    fMain.setProgress(0);
    setStatus(0, QStringLiteral("Réception des emails terminée."));
}

QString Reception::accountAddress() const
{
    LocalTable &mail = fMain.database().TMail;
    if (!mail.isActive() || mail.isEmpty())
        return {};
    return mail.field(QStringLiteral("ADRESSE")).asString();
}

void Reception::setStatus(int panel, const QString &text)
{
    fMain.setStatusText(panel, text);
    processEvents();
}
