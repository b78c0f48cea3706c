#include "Reception.h"

#include "DebugTrace.h"

#include "Common.h"
#include "Dialogs.h"
#include "Globals.h"
#include "LocalDatabase.h"
#include "Main.h"
#include "MessageAction.h"
#include "Pop3Client.h"
#include "ProgramFolder.h"
#include "RemoteRecording.h"
#include "ReportFile.h"
#include "SevenZip.h"
#include "TextRules.h"
#include "UMessage.h"
#include "VerifiedCopy.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QScopeGuard>
#include <QTimer>
#include <QTreeWidget>

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

// The entries of the e-mails folder, hidden ones left out.
QStringList emailsFolderEntries()
{
    QStringList names;
    ListFiles(Globals::EmailsFolder + QStringLiteral("*.*"), names);
    names.removeIf([](const QString &name) { return name.startsWith(u'.'); });
    return names;
}

} // namespace

Reception::Reception(TfMain &main) : fMain(main)
{
}

void Reception::bEmailClick(TfMain &main, const std::function<void()> &importObservances)
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
        TfMain::WriteLog(QStringLiteral("Réception des emails interrompue : ") + text);
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
        const auto closing = qScopeGuard([&] {
            if (!mailWasOpen && mail.isActive())
                mail.close();
            worker.close();
        });

        setStatus(0, QStringLiteral("Réception des emails..."));
        if (!mail.isActive())
            mail.open();
        worker.CheckMailToExecute();
        Globals::CurrentMailNumber = 0;
        Globals::MailCount = worker.lvHeaders()->topLevelItemCount();
        // From the last row to the first: a deletion never renumbers the
        // messages still to come.
        for (int row = Globals::MailCount - 1; row >= 0; --row) {
            if (receiveMessage(worker, row) == Step::Stop)
                break;
        }
        result = !m_mustClose;
        processEvents();
    }

    endSteps();
    if (m_mustClose)
        fMain.tmrClose->start();
    return result;
}

Reception::Step Reception::receiveMessage(TfMessage &worker, int row)
{
    ++Globals::CurrentMailNumber;
    setStatus(0, QStringLiteral("Réception des emails..."));
    setStatus(1, messageNumber() + u'/' + QString::number(Globals::MailCount));
    if (Globals::DebugMode && !Dialogs::instance().question(QStringLiteral("Voulez-vous télécharger le mail suivant ?")))
        return Step::Stop;

    DeleteFileIfExists(TfMessage::tempHtmlFile());
    Globals::CurrentMessageIndex = row;
    QTreeWidgetItem *item = worker.lvHeaders()->topLevelItem(row);
    worker.lvHeaders()->setCurrentItem(item);
    item->setSelected(true);
    fMain.MessageRetrieved = false;
    worker.RetrieveExecute();

    // Whatever happens to this message, nothing of it is left behind for the next.
    const auto emptied = qScopeGuard([] { EmptyDirectory(Globals::EmailsFolder); });
    if (!fMain.MessageRetrieved) {
        EmptyDirectory(Globals::EmailsFolder);
        if (Dialogs::instance().question(QStringLiteral("Souhaitez-vous supprimer le mail n°") + messageNumber()
                                         + QStringLiteral(" corrompu du serveur de messagerie ?")))
            deleteOnServer(worker);
        return Step::Next;
    }

    TFMessageAction dialog(&fMain);
    dialog.fillFromWorker(worker, Globals::CurrentMailNumber, Globals::MailCount);
    const Received received = saveAttachments(worker, dialog);
    if (!received.failure.isEmpty()) {
        keepOnServer(received.failure);
        return Step::Next;
    }

    fMain.clearResultLines();
    if (!received.archive || received.reportFile.isEmpty()) {
        // An ordinary message, or an archive that brought no new report:
        // the physician decides.
        if (dialog.exec() == TFMessageAction::kResultImport)
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

    if (!hasText || dialog.exec() == TFMessageAction::kResultImport) {
        importAndDelete(worker);
    } else {
        fMain.addResultLine(QLatin1String(kRefusalLine));
        const RemoteRecording::Outcome outcome = RemoteRecording::SaveImportationResultOnFTP(
            fMain, GetReportSender(reportPath).value, accountAddress(), reportPath);
        if (outcome == RemoteRecording::Outcome::Fatal) {
            m_mustClose = true;
            return Step::Stop;
        }
        if (outcome == RemoteRecording::Outcome::Unreachable)
            TfMain::WriteLog(QStringLiteral("Le refus de l'observance [") + received.reportFile
                             + QStringLiteral("] n'a pas pu être enregistré : base de données de Tolvarenix injoignable."));
        deleteOnServer(worker);
    }
    return Step::Next;
}

Reception::Received Reception::saveAttachments(TfMessage &worker, TFMessageAction &dialog)
{
    Received received;
    const QListWidget *parts = worker.lvMessageParts();
    const QString archive = Globals::EmailsFolder + QLatin1String(kArchiveName);
    for (int i = 0; i < parts->count(); ++i) {
        QStringList saved;
        if (parts->item(i)->text() == QLatin1String(kArchiveName)) {
            received.archive = true;
            DeleteFileIfExists(archive);
            if (!worker.SaveAttachments(QLatin1String(kArchiveName), &saved, &received.failure))
                return received;
            DebugTrace::show(QStringLiteral("Pièce jointe [") + archive + QStringLiteral("] enregistrée."));
            DebugTrace::show(QStringLiteral("Décompression du fichier [") + archive + QStringLiteral("]..."));
            received.failure = extractArchive();
            if (!received.failure.isEmpty())
                return received;
        } else {
            if (!worker.SaveAttachments(QString(), &saved, &received.failure))
                return received;
            for (const QString &name : std::as_const(saved))
                DebugTrace::show(QStringLiteral("Enregistrement du fichier [") + Globals::EmailsFolder + name
                      + QStringLiteral("] effectué."));
        }
    }
    if (parts->count() > 0)
        received.reportFile = scanEmailsFolder(dialog);
    return received;
}

QString Reception::extractArchive()
{
    const QString archive = Globals::EmailsFolder + QLatin1String(kArchiveName);
    const SevenZip::Extraction extraction =
        SevenZip::extract(archive, Globals::EmailsFolder, QLatin1String(kArchivePassword),
                          QStringLiteral("Veuillez patienter pendant l'extraction de \"") + archive
                              + QStringLiteral("\"..."));
    if (!extraction.ok)
        return QStringLiteral("Impossible de décompresser l'archive [") + archive + QStringLiteral("] : ")
             + extraction.error;
    DebugTrace::show(QStringLiteral("Décompression du fichier [") + archive + QStringLiteral("] terminée."));
    DeleteFileIfExists(archive);
    return {};
}

QString Reception::scanEmailsFolder(TFMessageAction &dialog)
{
    QString report;
    for (const QString &name : emailsFolderEntries()) {
        if (Globals::ProcessedFiles.contains(name, Qt::CaseInsensitive))
            continue;
        dialog.addAttachment(name);
        if (DebugTrace::isProviderReport(name) && TextRules::upperAZ(name).endsWith(QLatin1String(".TXT")))
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
    const QString attachments = Globals::ImportFolder + QStringLiteral("Attachments/");
    QDir().mkpath(attachments);

    QStringList names = emailsFolderEntries();
    std::stable_partition(names.begin(), names.end(), [](const QString &name) { return !DebugTrace::isProviderReport(name); });
    for (const QString &name : std::as_const(names)) {
        const QString source = Globals::EmailsFolder + name;
        if (QFileInfo(source).isDir())
            continue;
        const bool report = DebugTrace::isProviderReport(name);
        if (report && Globals::ProcessedFiles.contains(name, Qt::CaseInsensitive))
            continue;
        const QString target = (report ? Globals::ImportFolder : attachments) + name;
        QString error;
        if (!CopyFileVerified(source, target, &error)) {
            transfer.failure = QStringLiteral("Impossible de transférer le fichier [") + source + QStringLiteral("] vers [")
                             + target + QStringLiteral("] : ") + error;
            TfMain::WriteLog(transfer.failure);
            return transfer;
        }
        DeleteFileIfExists(source);
        if (report) {
            Globals::ProcessedFiles << name;
            transfer.reports << name;
        }
    }
    return transfer;
}

void Reception::importAndDelete(TfMessage &worker)
{
    const Transfer transfer = TransferFilesForImport();
    if (!transfer.failure.isEmpty()) {
        keepOnServer(transfer.failure);
        return;
    }
    if (deleteOnServer(worker))
        return;
    // The message comes again with the next reception: its report is imported then.
    for (const QString &name : transfer.reports) {
        DeleteFileIfExists(Globals::ImportFolder + name);
        Globals::ProcessedFiles.removeIf(
            [&name](const QString &done) { return done.compare(name, Qt::CaseInsensitive) == 0; });
    }
}

bool Reception::deleteOnServer(TfMessage &worker)
{
    try {
        worker.DeleteExecute();
        return true;
    } catch (const Pop3Error &e) {
        keepOnServer(QStringLiteral("Le message n°") + messageNumber()
                     + QStringLiteral(" n'a pas pu être supprimé du serveur de messagerie : ") + e.text());
        return false;
    }
}

void Reception::keepOnServer(const QString &why)
{
    const QString text = why + kCR + QStringLiteral("Le message n°") + messageNumber()
                       + QStringLiteral(" est conservé sur le serveur de messagerie ; il sera traité lors d'une "
                                        "prochaine réception.");
    TfMain::WriteLog(text);
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
    fMain.pbReception()->setValue(0);
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

void Reception::trace(const QString &text)
{
    if (Globals::DebugMode)
        Dialogs::instance().information(text);
}
