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

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
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
        // What a reception stopped short left there is on the server still,
        // or already moved for import: no message's files may mix with it.
        // Each message then leaves the folder empty.
        MessageFilePlacement::emptyEmailsFolder();
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

    // Whatever happens to this message, nothing of it is left behind for the
    // next, hidden files included.
    const auto emptied = qScopeGuard([] { MessageFilePlacement::emptyEmailsFolder(); });
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
    // Only a message that came whole and cannot be read is corrupt. One cut
    // during its download (or refused by the server) has its only whole
    // copy on the server, where it waits for the next reception.
    if (!fMain.MessageRetrieved) {
        if (worker.unreadable()
            && Dialogs::instance().question(QStringLiteral("Souhaitez-vous supprimer le mail n°") + messageNumber()
                                            + QStringLiteral(" corrompu du serveur de messagerie ?")))
            deleteOnServer(worker);
        return Step::Next;
    }

    TFMessageAction dialog(fMain.dialogParent());
    dialog.fillFromWorker(worker, Globals::CurrentMailNumber, Globals::MailCount);
    const Received received = saveAttachments(worker, dialog);
    if (received.unplaceable) {
        offerDeletion(worker, received.failure);
        return Step::Next;
    }
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
    if (received.rejectedReport && received.reportPath.isEmpty()) {
        // Nothing to record remotely: the files are put where the physician
        // finds them, and the message leaves the server once they are.
        importAndDelete(worker);
        return Step::Next;
    }
    if (!received.archive || received.reportPath.isEmpty()) {
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

    const QString &reportPath = received.reportPath;
    const QString reportFile = QFileInfo(reportPath).fileName();
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
        keepOnServer(QStringLiteral("La réception de l'observance [") + reportFile
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
            keepOnServer(QStringLiteral("Le refus de l'observance [") + reportFile
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
    // Every archive of the message first, each into a folder of its own:
    // whether the message is an ordinary e-mail depends on what they hold.
    for (int n = 0, extracted = 0; n < parts->count(); ++n) {
        if (parts->item(n)->text() != QLatin1String(kArchiveName))
            continue;
        received.archive = true;
        DeleteFileIfExists(archive);
        if (!worker.SaveAttachments(QLatin1String(kArchiveName), nullptr, &received.failure, n))
            return received;
        DebugTrace::show(QStringLiteral("Pièce jointe [") + archive + QStringLiteral("] enregistrée."));
        DebugTrace::show(QStringLiteral("Décompression du fichier [") + archive + QStringLiteral("]..."));
        extractArchive(worker, received, ++extracted);
        if (!received.archiveFailure.isEmpty() || !received.failure.isEmpty())
            return received;
    }
    QStringList names;
    for (const MailPart &part : worker.Msg().attachments())
        names << part.fileName;
    const bool ordinary = MessageFilePlacement::isOrdinaryMessage(names);
    if (const QString shared = ordinary ? QString() : sharedAttachmentName(worker.Msg()); !shared.isEmpty()) {
        received.failure = MessageFilePlacement::severalFilesNamed(shared);
        received.unplaceable = true;
        return received;
    }
    for (int i = 0, archiveRows = 0; i < parts->count(); ++i) {
        QStringList saved;
        if (parts->item(i)->text() == QLatin1String(kArchiveName)) {
            // Unpacked already; at its first row as its unpacking leaves it.
            if (archiveRows++ == 0)
                DeleteFileIfExists(archive);
        } else {
            if (!worker.SaveAttachments(QString(), &saved, &received.failure, -1, ordinary))
                return received;
            for (const QString &name : std::as_const(saved))
                DebugTrace::show(QStringLiteral("Enregistrement du fichier [") + Globals::EmailsFolder + name
                      + QStringLiteral("] effectué."));
        }
    }
    if (received.archive)
        setAsideUnreadableNames(received);
    // Known now, before anything is recorded: asked again, the message would
    // give the same answer.
    if (received.failure.isEmpty()) {
        received.failure = MessageFilePlacement::cannotBePlaced();
        received.unplaceable = !received.failure.isEmpty();
    }
    if (parts->count() > 0)
        received.reportPath = scanEmailsFolder(dialog);
    return received;
}

void Reception::extractArchive(TfMessage &worker, Received &received, int n)
{
    const QString archive = Globals::EmailsFolder + QLatin1String(kArchiveName);
    const SevenZip::Extraction extraction =
        SevenZip::extract(archive, MessageFilePlacement::archiveFolder(n), QLatin1String(kArchivePassword),
                          QStringLiteral("Veuillez patienter pendant l'extraction de \"") + archive
                              + QStringLiteral("\"..."));
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
    const QString aside = MessageFilePlacement::setAsideFolder();
    for (const MessageFilePlacement::File &report : MessageFilePlacement::reportsIn(Globals::EmailsFolder)) {
        const QString &name = report.name;
        if (SendDateFromFileName(name))
            continue;
        const ReportRead<QString> sender = GetReportSender(report.path);
        const QString text = QStringLiteral("Impossible de déterminer l'heure d'envoi de l'observance pour [") + name
                           + QStringLiteral("] provenant de [") + (sender.ok() ? sender.value : QString()) + u']';
        Dialogs::instance().warning(text + QStringLiteral(". Veuillez contacter Tolvarenix."));
        // Out of the message's reports: the receipt leaves it alone and the
        // transfer keeps it for the physician under "<name>.rejete".
        if (QDir().mkpath(aside) && QFile::rename(report.path, aside + name)) {
            LogWriter::write(text + QStringLiteral(" : mis de côté dans [") + Globals::ImportFolder
                             + QStringLiteral("] avec l'extension \"") + QLatin1String(ReportName::kSetAsideSuffix)
                             + QStringLiteral("\"."));
            received.rejectedReport = true;
        } else {
            received.failure = text + QStringLiteral(" ; il n'a pas pu être mis de côté.");
        }
    }
}

// Lists the message's files in the dialog; the path of its report (the
// last one listed), or empty.
QString Reception::scanEmailsFolder(TFMessageAction &dialog)
{
    QString report;
    for (const MessageFilePlacement::File &file : MessageFilePlacement::filesIn(Globals::EmailsFolder)) {
        if (Globals::ProcessedFiles.contains(file.name, Qt::CaseInsensitive))
            continue;
        dialog.addAttachment(file.name, file.path.mid(Globals::EmailsFolder.size()));
        if (ReportName::isProviderReport(file.name) && TextRules::upperAZ(file.name).endsWith(QLatin1String(".TXT")))
            report = file.path;
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
    // Only ever the e-mails folder: before the worker first ran there is none.
    if (Globals::EmailsFolder.isEmpty())
        return {};
    setStatus(0, QStringLiteral("Transfert des fichiers pour importation..."));
    return MessageFilePlacement::place();
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
        MessageFilePlacement::withdraw(transfer);
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

// A message that cannot be taken at any reception: the physician may keep
// it on the server or delete it once its raw text is saved.
void Reception::offerDeletion(TfMessage &worker, const QString &why)
{
    warn(why, false);
    const QString folder = rejectedMessagesFolder();
    if (!Dialogs::instance().questionDefaultNo(QStringLiteral("Souhaitez-vous supprimer le mail n°") + messageNumber()
                                               + QStringLiteral(" du serveur de messagerie ?") + kCR
                                               + QStringLiteral("Il sera d'abord enregistré dans le dossier [")
                                               + folder + QStringLiteral("].")))
        return;
    QString error;
    const QString path = saveRejectedMessage(worker.rawMessage(), Globals::CurrentMailNumber, &error);
    if (path.isEmpty()) {
        keepOnServer(error);
        return;
    }
    LogWriter::write(QStringLiteral("Message n°") + messageNumber() + QStringLiteral(" enregistré dans [") + path
                     + QStringLiteral("] avant sa suppression du serveur de messagerie."));
    deleteOnServer(worker);
}

QString Reception::saveRejectedMessage(const QByteArray &raw, int number, QString *error)
{
    const QString folder = rejectedMessagesFolder();
    const QString name = Clock::now().toString(QStringLiteral("yyyy-MM-dd_HH-mm-ss")) + QStringLiteral("_message_")
                       + QString::number(number) + QStringLiteral(".eml");
    const QString path = FirstFreeName([&](int n) { return folder + NumberedFileName(name, n); },
                                       [](const QString &candidate) { return QFileInfo::exists(candidate); });
    QSaveFile file(path);
    if (!KeepFolderPrivate(ProgramFolder::path() + QStringLiteral("Received")) || !QDir().mkpath(folder)
        || !file.open(QIODevice::WriteOnly) || file.write(raw) != raw.size() || !file.commit()) {
        *error = QStringLiteral("Impossible d'enregistrer le message dans [") + path + QStringLiteral("] : ")
               + file.errorString();
        return {};
    }
    return path;
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

    // The command's last transfer: each message leaves the e-mails folder
    // empty, and what a stopped reception left is dropped before the first
    // message (it is on the server still, or placed already), so this finds
    // files only when the reception stopped before the mailbox was read.
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
