#include "reception/ReportImport.h"

#include "core/DebugTrace.h"
#include "core/ReportName.h"

#include "platform/Clock.h"
#include "core/Common.h"
#include "platform/Dialogs.h"
#include "core/Globals.h"
#include "platform/LocalTables.h"
#include "core/LocalDatabase.h"
#include "core/LogWriter.h"
#include "core/MainWindowInterface.h"
#include "core/RemoteDatabase.h"
#include "core/NameDateRoutines.h"
#include "views/Patients.h"
#include "core/RemoteSqlText.h"
#include "reception/DeletionQueue.h"
#include "reception/ImportGroup.h"
#include "reception/ImportHousekeeping.h"
#include "reception/MessageFilePlacement.h"
#include "reception/ObservanceChecks.h"
#include "reception/ReportFile.h"
#include "reception/ReportReadAhead.h"
#include "reception/ReportLineTables.h"
#include "reception/VerifiedCopy.h"
#include "views/ShowResults.h"
#include "platform/TextRules.h"

#include <QCoreApplication>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTimer>

#include <memory>
#include <stdexcept>

namespace {

constexpr QChar kCR = QChar(13);

// The longest a group of report files waits for its commit: a kill loses at
// most this much work, which the next run does again.
constexpr qint64 kGroupMs = 250;

// A date line of the header: empty under 6 characters, completed and with
// "/" separators under 9, else as written. A year that cannot be completed
// gives an empty text.
QString headerDate(const QString &line, NameRoutines::YearMode mode)
{
    if (line.size() < 6)
        return QString();
    if (line.size() >= 9)
        return line;
    return DashesToSlashes(NameRoutines::ExpandBirthYear(line, mode).value_or(QString()));
}

} // namespace

namespace {

class ReadFailure : public std::runtime_error
{
public:
    explicit ReadFailure(const QString &message) : std::runtime_error(message.toStdString()) {}
};

} // namespace

ReportImport::ReportImport(MainWindowInterface &main)
    : ReportImport(main, Needs{})
{
}

ReportImport::ReportImport(MainWindowInterface &main, Needs environment)
    : fMain(main)
    , m_env(std::move(environment))
    , tObservances(main.database().tObservances)
    , tResultat(main.database().tResultat)
{
    if (!m_env.saveResult)
        m_env.saveResult = [&main](const QString &sender, const QString &recipient, const QString &path) {
            return RemoteRecording::SaveImportationResultOnFTP(main, sender, recipient, path);
        };
    if (!m_env.identify)
        // One identification for the run: its selection window is built once.
        m_env.identify = [identification = std::shared_ptr<PatientIdentification>()](const QString &fileName) mutable {
            if (!identification)
                identification = std::make_shared<PatientIdentification>(TfPatients::identificationNeeds());
            return identification->identify(fileName);
        };
    if (!m_env.showFile)
        m_env.showFile = [](const QString &path) { OpenInNotepad(path); };
    if (!m_env.showResults)
        m_env.showResults = [&main] {
            TfShowResults window(&main.database().tResultat, main.dialogParent());
            window.exec();
        };
    if (m_env.remoteConnectionName.isEmpty())
        m_env.remoteConnectionName = RemoteDatabase::connectionName();
}

ReportImport::~ReportImport() = default;

int ReportImport::LookUpProviderId(const QString &connectionName, const QString &sender)
{
    QSqlQuery query(QSqlDatabase::database(connectionName, false));
    const QString sql = QStringLiteral(
        "select prestataires_ID from prestataires WHERE Email=:prestemail or prest2factEmail=:prestemail");
    if (!query.prepare(sql)) {
        LogWriter::write(QStringLiteral("Recherche du prestataire [") + sender + QStringLiteral("] : ")
                         + query.lastError().text());
        return -1;
    }
    query.bindValue(QStringLiteral(":prestemail"), remoteText(sender));
    if (!query.exec()) {
        LogWriter::write(QStringLiteral("Recherche du prestataire [") + sender + QStringLiteral("] : ")
                         + query.lastError().text());
        return -1;
    }
    return query.next() ? query.value(0).toInt() : -1;
}

void ReportImport::setStatus(int panel, const QString &text)
{
    fMain.setStatusText(panel, text);
    processEvents(false);
}

// Keeps the window alive (painted, a close taken) without paying a round of
// events for every status change of every report: at most every 50 ms, and
// always when forced.
bool ReportImport::eventsDue() const
{
    constexpr qint64 kInterval = 50;
    return !m_eventsProcessed.isValid() || m_eventsProcessed.elapsed() >= kInterval;
}

void ReportImport::processEvents(bool force)
{
    if (!force && !eventsDue())
        return;
    QCoreApplication::processEvents();
    m_eventsProcessed.start();
}

void ReportImport::ImportObservances()
{
    fMain.setStatusText(0, QStringLiteral("Importation en cours..."));
    fMain.repaintStatus();

    QStringList files;
    ListRegularFiles(Globals::ImportFolder + QStringLiteral("*.txt"), files);
    fMain.setProgressMaximum(int(files.size()));
    fMain.setProgress(0);
    fMain.setProgressVisible(true);

    LocalDatabase &db = fMain.database();
    try {
        for (LocalTable *table : {&db.TMail, &db.tPatients, &db.tImages, &db.tObservances, &db.tResultat})
            if (!table->isActive())
                table->open();
    } catch (const std::exception &error) {
        // The reports wait in the import folder for a later run.
        const QString text = QStringLiteral("Importation impossible : ") + QString::fromUtf8(error.what());
        LogWriter::write(text);
        Dialogs::instance().error(text);
        finishRun(false);
        return;
    }

    m_fatal = false;
    m_unrecorded.clear();
    m_claimed.clear();
    m_contested.clear();
    bool interrupted = false;
    m_checks.reset(); // the copy of an earlier run goes before this run's is made
    m_checks = std::make_unique<ObservanceChecks>(db.tObservances.databaseName());
    m_zone = Clock::systemZone();
    // Both threads end with the run, however it ends; the deletions first
    // wait for what was committed.
    DeletionQueue deletions;
    QStringList paths, folders;
    for (const QString &name : std::as_const(files)) {
        paths << Globals::ImportFolder + name;
        folders << MessageFilePlacement::documentsFolder(name);
    }
    ReportReadAhead readAhead(paths, folders);
    m_deletions = &deletions;
    m_readAhead = &readAhead;
    m_group = std::make_unique<ImportGroup>(tObservances.databaseName(), deletions);
    const auto runEnded = qScopeGuard([this] {
        m_group.reset(); // rolled back unless committed, before the deletions go
        m_deletions = nullptr;
        m_readAhead = nullptr;
    });
    ImportGroup &group = *m_group;
    for (int i = 0; i < files.size() && !m_fatal && !interrupted; ++i) {
        const QString path = Globals::ImportFolder + files.at(i);
        m_calledService = false;
        FileEnd end;
        try {
            group.beginFile();
            end = importFile(files.at(i), i, int(files.size()));
        } catch (const std::exception &error) {
            // Nothing of the file is lost: it stays for a later run, and what
            // it wrote is rolled back.
            const QString text = QStringLiteral("Erreur lors de l'importation de [") + files.at(i)
                               + QStringLiteral("] : ") + QString::fromUtf8(error.what()) + kCR
                               + QStringLiteral("Le fichier est conservé dans ") + Globals::ImportFolder;
            LogWriter::write(text);
            Dialogs::instance().error(text);
            dropFile();
            reloadTables();
            end = FileEnd::Failed;
        }
        cancelPending();
        if (end == FileEnd::Interrupted || end == FileEnd::Waiting) {
            dropFile();
            reloadTables();
            LogWriter::write(QStringLiteral("Importation de [") + files.at(i)
                             + (end == FileEnd::Waiting ? QStringLiteral("] : aucun patient choisi")
                                                        : QStringLiteral("] interrompue par la fermeture du programme"))
                             + QStringLiteral(" : fichier conservé pour la prochaine importation."));
        } else if (end != FileEnd::Failed && group.isOpen()) {
            // The documents it copied go once its rows are committed; the
            // file and its documents folder only when it is done with.
            const bool done = end == FileEnd::Deleted;
            group.keepFile(files.at(i), done ? m_copied.sources + QStringList{path} : m_copied.sources,
                           done && m_ownFolder ? MessageFilePlacement::documentsFolder(files.at(i)) : QString(),
                           m_copied.copies);
        }
        if (end == FileEnd::StopRun)
            m_fatal = true;
        interrupted = end == FileEnd::Interrupted || fMain.closeRequested();
        // A result recorded in the service database is committed at once,
        // so a file recorded there is deleted as soon as it would be alone. A
        // group the engine gave up is told at once, and the next file begins
        // another.
        if (m_calledService || group.elapsedMs() >= kGroupMs || group.isBroken())
            commitGroup();
    }
    // Before anything that ends the run.
    commitGroup();
    deletions.finish();
    m_checks.reset();
    ImportHousekeeping::tellUnregistered(!m_fatal && !interrupted ? ImportHousekeeping::setLeftFoldersAside() : QStringList(),
                                         m_contested);
    // Armed only now: closing while the group's transaction runs would drop it.
    if (m_fatal)
        fMain.armCloseTimer();
    tellUnrecorded();
    finishRun(!m_fatal && !interrupted);
}

// A file's writes undone within its group; should the engine have dropped
// the whole transaction, the group's commit reports it.
void ReportImport::dropFile()
{
    try {
        m_group->dropFile(std::exchange(m_copied.copies, {}));
    } catch (const std::exception &error) {
        LogWriter::write(QStringLiteral("Annulation de l'importation d'un fichier : ") + QString::fromUtf8(error.what()));
    }
}

void ReportImport::commitGroup()
{
    const std::optional<ImportGroup::Failure> failure = m_group->commit();
    if (!failure)
        return;
    // Every file of the group stays for a later run, nothing of them stored.
    const bool several = failure->names.size() > 1;
    const QString text = QStringLiteral("Erreur lors de l'importation de [") + failure->names.join(QStringLiteral("], ["))
                       + QStringLiteral("] : ") + failure->message + kCR
                       + (several ? QStringLiteral("Les fichiers sont conservés dans ")
                                  : QStringLiteral("Le fichier est conservé dans "))
                       + Globals::ImportFolder;
    LogWriter::write(text);
    Dialogs::instance().error(text);
    reloadTables();
}

void ReportImport::tellUnrecorded()
{
    if (m_unrecorded.isEmpty())
        return;
    Dialogs::instance().warning(
        QStringLiteral("Le résultat de l'importation n'a pas pu être enregistré sur le serveur de Tolvarenix pour :")
        + kCR + m_unrecorded.join(kCR) + kCR
        + QStringLiteral("Ces fichiers restent dans le dossier ") + Globals::ImportFolder
        + QStringLiteral(" : leur résultat sera enregistré lors de la prochaine importation."));
}

void ReportImport::finishRun(bool showResults)
{
    fMain.setStatusText(0, QStringLiteral("Importation terminée."));
    fMain.setStatusText(1, QString());
    fMain.setStatusText(2, QString());
    fMain.setProgressVisible(false);
    processEvents(true);

    // After a fatal stop the program closes: the rows stay unshown.
    try {
        if (showResults) {
            if (!tResultat.isActive())
                tResultat.open();
            if (!tResultat.isEmpty()) {
                m_env.showResults();
                tResultat.close();
                tResultat.emptyTable();
            }
        }
        if (tResultat.isActive())
            tResultat.close();
    } catch (const std::exception &error) {
        LogWriter::write(QStringLiteral("Résultats de l'importation : ") + QString::fromUtf8(error.what()));
    }
    fMain.setStatusText(0, QString());
    fMain.setProgressVisible(false);
    processEvents(true);
}

void ReportImport::cancelPending()
{
    LocalDatabase &db = fMain.database();
    for (LocalTable *table : {&db.tPatients, &db.tImages, &db.tObservances, &db.tResultat})
        if (table->state() == LocalDataSet::State::Insert || table->state() == LocalDataSet::State::Edit)
            table->cancel();
}

// After a rollback the open tables still show rows that are gone.
void ReportImport::reloadTables()
{
    LocalDatabase &db = fMain.database();
    for (LocalTable *table : {&db.tPatients, &db.tImages, &db.tObservances, &db.tResultat}) {
        try {
            if (table->isActive()) {
                table->close();
                table->open();
            }
        } catch (const std::exception &error) {
            LogWriter::write(QStringLiteral("Relecture de la table [") + table->tableName() + QStringLiteral("] : ")
                             + QString::fromUtf8(error.what()));
        }
    }
}

// What one block's header lines set: nothing of the previous block may reach
// this block's record or results row.
void ReportImport::resetBlockValues()
{
    m_reportDate = QDateTime();
    m_reportDateText.clear();
    m_birthDateText.clear();
    m_providerLabel.clear();
    m_freeText.clear();
    fMain.clearDocumentLines();
    m_documents.clear();
    m_dataSection = false;
}

// A provider report whose name the readers cannot take (no sending time) can
// be neither recorded remotely nor matched later: it is set aside, the user
// is told, and the import goes on.
bool ReportImport::setAsideBadName(const QString &name)
{
    if (!ReportName::isProviderReport(name) || SendDateFromFileName(name))
        return false;
    const QString path = Globals::ImportFolder + name;
    const QString kept = ReportName::setAside(path);
    const QString text = QStringLiteral("Le nom du fichier \"") + path
                       + QStringLiteral("\" ne permet pas de lire son heure d'envoi. Il ne sera pas importé.") + kCR
                       + (kept.isEmpty() ? QStringLiteral("Il reste dans le dossier sous son nom.")
                                         : QStringLiteral("Il est conservé sous le nom \"") + kept + u'"' + u'.');
    LogWriter::write(text);
    Dialogs::instance().warning(text);
    return true;
}

void ReportImport::beginRecord()
{
    if (tObservances.state() == LocalDataSet::State::Insert)
        tObservances.cancel();
    tObservances.append();
    tObservances.field(QStringLiteral("DATE_CONSULTATION")).setAsDateTime(m_consultationTime);
}

ReportImport::FileEnd ReportImport::importFile(const QString &name, int index, int count)
{
    const QString path = Globals::ImportFolder + name;
    cancelPending();
    m_consultationTime = TruncToMinute(Clock::now(m_zone));
    beginRecord();
    fMain.setStatusText(1, QString::number(index + 1) + u'/' + QString::number(count));
    setStatus(2, name);

    // The bar moves when the window is painted: set for every file, it would
    // repaint itself far more often than anyone could see.
    if (eventsDue())
        fMain.setProgress(index);
    processEvents(false);
    Globals::ProviderReachable = false;
    fMain.clearResultLines();
    m_sender.clear();
    Globals::ReportRecipient.clear();
    Globals::ProviderID = -1;
    Globals::PatientCorrectionSent = false;
    fMain.FImportPatientID = -1;
    resetBlockValues();
    m_copied = {};
    m_keepFile = false;
    m_declinedWithoutProvider = false;
    m_ownFolder = false;
    Globals::PatientNom.clear();
    Globals::PatientPrenom.clear();
    Globals::PatientNeLe.clear();

    if (setAsideBadName(name)) {
        tObservances.cancel();
        return FileEnd::Kept;
    }

    // Read once, most often ahead: the completeness check, the sender and
    // the blocks each take their pass over the same bytes.
    std::optional<ReportReadAhead::Report> ahead = m_readAhead->take(index);
    const ReportRead<ReportContent> content =
        ahead ? ReportRead<ReportContent>{std::move(ahead->content), ReportReadFailure::None, {}}
              : ReadReportContent(path);
    if (!content.ok())
        throw ReadFailure(content.message);
    if (!content.value.complete) {
        m_env.showFile(path);
        Dialogs::instance().error(QStringLiteral("Le Fichier nommé \"") + Globals::ImportFolder + name
                                  + QStringLiteral("\" n'est pas conforme au standard HPrim. Il ne sera pas importé."));
        // Kept aside rather than deleted: nothing received is lost.
        const QString kept = ReportName::setAside(path);
        LogWriter::write(QStringLiteral("Fichier non conforme [") + name + QStringLiteral("] conservé sous [")
                         + (kept.isEmpty() ? path : kept) + u']');
        tObservances.cancel();
        return FileEnd::Kept;
    }
    DebugTrace::show([&] { return QStringLiteral("Gestion de ") + Globals::ImportFolder + name; });

    m_sender = content.value.sender;
    Globals::ProviderReachable = fMain.ConnectInternetDatabase(true);
    if (Globals::ProviderReachable && !m_sender.isEmpty())
        Globals::ProviderID = LookUpProviderId(m_env.remoteConnectionName, m_sender);
    setStatus(2, QStringLiteral("Analyse du fichier ") + name);

    // Each block's documents are looked for among the files that came with
    // this report, in its own folder, then in Attachments, where the files
    // of other messages wait for the report that names them.
    ObservanceTableRecord record(tObservances);
    ImagesTableDocuments documents(fMain.database().tImages);
    ReportLineImporter lines(record, documents);
    lines.setFileShower(m_env.showFile);
    lines.setClaimedSources(&m_claimed);
    // Written once the engine ended the group, a document would be committed on its own.
    documents.setBeforeWrite([this] { m_group->requireRunning(); });
    lines.setTimeZone(m_zone);
    // Seen as the deletions of the files committed before left it: what was
    // seen ahead holds while no deletion touched the folder.
    const QString own = MessageFilePlacement::documentsFolder(name);
    if (ahead && !m_deletions->touches(own)) {
        m_ownFolder = ahead->folderExists;
    } else {
        m_deletions->settle(own);
        m_ownFolder = QFileInfo(own).isDir();
    }
    const QString shared = MessageFilePlacement::sharedFolder();
    m_deletions->settle(shared);
    lines.setAttachmentFolders(m_ownFolder ? QStringList{own, shared} : QStringList{shared});
    lines.deferDocuments(&m_documents);
    m_lines = &lines;

    // What the file writes is kept or undone together, in its group.
    ReportLineReader reader(content.value.bytes, path);
    FileEnd end;
    try {
        end = readBlocks(reader, name, path);
    } catch (...) {
        m_lines = nullptr;
        throw;
    }
    m_lines = nullptr;
    if (end == FileEnd::Deleted && m_declinedWithoutProvider && !ImportHousekeeping::keepDeclinedCopy(path))
        return FileEnd::Kept;
    return end == FileEnd::Deleted && m_keepFile ? FileEnd::Kept : end;
}

ReportImport::FileEnd ReportImport::readBlocks(ReportLineReader &reader, const QString &name, const QString &path)
{
    QString line;
    if (!reader.readLine(line))
        throw ReadFailure(reader.failureMessage());
    int lineNumber = 0;
    bool firstBlock = true;
    while (!ReportMarkers::isEndOfFile(line)) {
        if (lineNumber == 0 && !firstBlock) {
            beginRecord();
            fMain.FImportPatientID = -1;
            resetBlockValues();
        }
        if (ReportMarkers::isEndOfBlock(line)) {
            const FileEnd end = endOfBlock(name, path);
            if (end != FileEnd::Deleted)
                return end;
            lineNumber = -1;
            firstBlock = false;
        } else if (ReportMarkers::isDataSectionStart(line) || m_dataSection) {
            if (m_dataSection && ReportMarkers::isDataLine(line))
                m_lines->ImportReportLine(line);
            m_dataSection = true;
        } else {
            readHeaderLine(lineNumber, line, name);
        }
        if (!reader.readLine(line)) {
            if (reader.failure() != ReportReadFailure::None)
                throw ReadFailure(reader.failureMessage());
            DebugTrace::show([&] { return QStringLiteral("Fin du fichier") + name; });
            break;
        }
        ++lineNumber;
    }
    return FileEnd::Deleted;
}

void ReportImport::readHeaderLine(int lineNumber, const QString &line, const QString &name)
{
    if (lineNumber >= 18) {
        m_freeText << line;
        fMain.addDocumentLine(line);
    }
    else if (lineNumber == 1)
        Globals::PatientNom = line;
    else if (lineNumber == 2)
        Globals::PatientPrenom = line;
    else if (lineNumber == 6)
        identifyBlock(line, name);
    else if (lineNumber == 9)
        readReportDate(line);
    else if (lineNumber == 10)
        readProviderLabel(line);
}

void ReportImport::identifyBlock(const QString &line, const QString &name)
{
    const QString text = headerDate(line, NameRoutines::YearMode::BirthDate);
    if (NameRoutines::IsDateText(text))
        Globals::PatientNeLe = text;
    m_birthDateText =
        NameRoutines::ExpandBirthYear(Globals::PatientNeLe, NameRoutines::YearMode::BirthDate).value_or(QString());
    fMain.FImportPatientID = m_env.identify(name);
    if (fMain.FImportPatientID > -3) {
        makeConsultationTimeUnique();
        tObservances.field(QStringLiteral("DATE_CONSULTATION")).setAsDateTime(m_consultationTime);
        tObservances.field(QStringLiteral("PATIENTS_ID")).setAsInteger(fMain.FImportPatientID);
    }
}

void ReportImport::makeConsultationTimeUnique()
{
    m_consultationTime = m_checks->freeConsultationTime(fMain.FImportPatientID, m_consultationTime);
}

void ReportImport::readReportDate(const QString &line)
{
    const QString text = headerDate(line, NameRoutines::YearMode::OtherDate);
    const std::optional<QDate> date = ReadShortDate(text);
    const std::optional<QString> dashed = NameRoutines::ExpandBirthYear(text, NameRoutines::YearMode::OtherDate);
    if (!date || !dashed)
        return;
    m_reportDate = Clock::local(*date, QTime(0, 0), m_zone);
    m_reportDateText = *dashed;
}

void ReportImport::readProviderLabel(const QString &line)
{
    m_providerLabel = TextRules::trim32(line.mid(11));
    tObservances.field(QStringLiteral("PRESTATAIRE")).setAsString(m_providerLabel);
    DebugTrace::show([&] { return QStringLiteral("Données trouvées : ") + kCR + QStringLiteral("  - nom : ") + Globals::PatientNom + kCR
          + QStringLiteral("  - prénom : ") + Globals::PatientPrenom + kCR + QStringLiteral("  - né le : ")
          + m_birthDateText + kCR + QStringLiteral("  - fait le : ") + m_reportDateText + kCR
          + QStringLiteral("  - labo : ") + m_providerLabel; });
}

ReportImport::FileEnd ReportImport::endOfBlock(const QString &name, const QString &path)
{
    // A close ends the identification's dialogs unanswered: that is no
    // refusal, and the block is neither stored nor recorded.
    if (fMain.closeRequested()) {
        tObservances.cancel();
        return FileEnd::Interrupted;
    }
    if (fMain.FImportPatientID == PatientIdentification::kLeftWaiting) {
        tObservances.cancel();
        return FileEnd::Waiting;
    }
    const bool provider = ReportName::isProviderReport(name);
    if (!fMain.ConnectInternetDatabase(true) && provider) {
        tObservances.cancel();
        LogWriter::write(QStringLiteral("[") + name
                         + QStringLiteral("] : base de données de Tolvarenix injoignable, fichier conservé pour la "
                                          "prochaine importation."));
        if (!m_unrecorded.contains(name))
            m_unrecorded << name;
        DebugTrace::show([&] { return QStringLiteral("[") + name
              + QStringLiteral("] est un document Selvantine mais la connexion internet n'est pas active. On ne peut "
                               "pas l'importer."); });
        return FileEnd::Kept;
    }
    tObservances.field(QStringLiteral("COMMENTAIRES")).setAsString(m_freeText.join(u'\n'));

    FileEnd end = FileEnd::Deleted;
    const int id = fMain.FImportPatientID;
    if (id > -1) {
        setStatus(2, QStringLiteral("Importation des données de ") + name);
        fMain.addResultLine(
            QStringLiteral("Patient_ID : ") + QString::number(id)
            + (Globals::PatientCorrectionSent ? QStringLiteral(" - correction du patient") : QString()));
        DebugTrace::show([&] { return QStringLiteral("Gestion du ") + Globals::ImportFolder + name + kCR
              + QStringLiteral("if ImportInMemo = False ..."); });
        const QString motif = m_providerLabel + QStringLiteral(" du ") + DashesToSlashes(m_reportDateText);
        tObservances.field(QStringLiteral("MOTIF_DE_CONSULTATION"))
            .setAsString(provider ? QStringLiteral("Envoi ") + motif : motif);

        bool duplicate = false;
        const bool stored = storeRecord(name, duplicate);
        QStringList added;
        if (stored && !duplicate) {
            DebugTrace::show([&] { return QStringLiteral("Gestion du ") + Globals::ImportFolder + name + kCR
                  + QStringLiteral("Enregistrement de l'observance effectué."); });
            // Only a stored observance takes its documents.
            for (const QString &document : std::as_const(m_documents))
                m_lines->registerDocument(document, &m_copied);
        } else if (duplicate) {
            added = registerMissingDocuments();
            tObservances.cancel();
        }
        const QStringList contested = contestedDocuments(name, stored);
        if (provider) {
            if (!m_sender.isEmpty()) {
                LocalTable &mail = fMain.database().TMail;
                const QString address =
                    mail.isActive() && !mail.isEmpty() ? mail.field(QStringLiteral("ADRESSE")).asString() : QString();
                if (!recordRemotely(address, name, path))
                    end = FileEnd::StopRun;
            } else {
                LogWriter::write(QStringLiteral("Impossible de déterminer l'expéditeur de [") + name + u']');
            }
        }
        setStatus(2, QStringLiteral("Enregistrement du résultat de l'importation..."));
        if (!stored) {
            writeResultRow(name, false,
                           QStringLiteral("document non importé : erreur lors de l'enregistrement de l'observance !"));
            end = FileEnd::StopRun;
        } else {
            QString comment = duplicate ? QStringLiteral("document déjà importé")
                            : contested.isEmpty() ? QStringLiteral("document importé dans un champ mémo")
                                                  : QStringLiteral("observance importée");
            const auto note = [&comment](const QStringList &names, const char *one, const char *several) {
                if (!names.isEmpty())
                    comment += QString::fromUtf8(names.size() == 1 ? one : several) + names.join(QStringLiteral(", "));
            };
            note(added, " ; pièce jointe ajoutée : ", " ; pièces jointes ajoutées : ");
            note(contested, " ; pièce jointe non enregistrée, plusieurs fichiers reçus sous son nom : ",
                 " ; pièces jointes non enregistrées, plusieurs fichiers reçus sous leur nom : ");
            writeResultRow(name, true, comment);
        }
    } else {
        setStatus(2, QStringLiteral("Enregistrement du résultat de l'importation..."));
        if (id == -3) {
            writeResultRow(name, false, QStringLiteral("refus d'importation du document concernant un patient inconnu !"));
            // No provider keeps it for the physician.
            m_declinedWithoutProvider = m_declinedWithoutProvider || !provider;
        }
        else
            writeResultRow(Globals::ImportsFolder + Globals::PatientNom + u'_' + Globals::PatientPrenom + u'_'
                               + m_birthDateText + u'_' + m_reportDateText + QStringLiteral(".txt"),
                           false, QStringLiteral("document non importé : identification du patient impossible !"));
        if (provider) {
            if (id == -3) {
                LogWriter::write(QStringLiteral("document non importé [") + name + QStringLiteral("] : patient inconnu !"));
                fMain.addResultLine(QStringLiteral("Patients_ID = -3 - PATIENT INCONNU DANS [") + name + u']');
            } else {
                LogWriter::write(QStringLiteral("document non importé [") + name
                                 + QStringLiteral("] : identification du patient impossible !"));
                fMain.addResultLine(QStringLiteral("Patients_ID = -1 - IDENTIFICATION DU PATIENT IMPOSSIBLE DANS [")
                                    + name + u']');
            }
            if (!recordRemotely(Globals::ReportRecipient, name, path))
                end = FileEnd::StopRun;
        }
    }

    m_freeText.clear();
    fMain.clearDocumentLines();
    m_dataSection = false;
    Globals::PatientNom.clear();
    Globals::PatientPrenom.clear();
    // The next block's identification must not receive this birth date.
    Globals::PatientNeLe.clear();
    return end;
}

bool ReportImport::storeRecord(const QString &name, bool &duplicate)
{
    duplicate = false;
    try {
        const QVariant storedAt = alreadyStored();
        if (!storedAt.isNull()) {
            duplicate = true;
            // Documents it brings go with the observance stored before.
            tObservances.field(QStringLiteral("DATE_CONSULTATION")).setValue(storedAt);
            LogWriter::write(QStringLiteral("Observance de [") + name + QStringLiteral("] déjà importée pour le patient ")
                             + QString::number(fMain.FImportPatientID) + QStringLiteral(" : non enregistrée une seconde fois."));
            return true;
        }
        postObservance();
        return true;
    } catch (const std::exception &error) {
        // Not this record's failure: the whole group is given up, its files kept.
        if (m_group->isBroken())
            throw;
        const QString message = QString::fromUtf8(error.what());
        LogWriter::write(QStringLiteral("Erreur lors de l'enregistrementde l'observance de [") + name
                         + QStringLiteral("].") + kCR + QStringLiteral("Erreur : ") + message + kCR
                         + QStringLiteral("L'application va être fermée."));
        if (ReportName::isProviderReport(name))
            fMain.addResultLine(QStringLiteral("Erreur lors de l'enregistrementde l'observance de [") + name
                                + QStringLiteral("] (fermeture du programme) : ") + message);
        if (tObservances.state() == LocalDataSet::State::Insert)
            tObservances.cancel();
        return false;
    }
}

// The block's observance, written outside the file's savepoint when the file
// has written nothing before it (the usual case): should the file fail
// later, its row is deleted by key instead of rolled back.
void ReportImport::postObservance()
{
    // Written now, the row would be committed on its own, out of any group.
    m_group->requireRunning();
    const bool outside = m_group->leaveUnusedSavepoint();
    try {
        tObservances.post();
    } catch (...) {
        if (outside)
            m_group->reenterSavepoint({});
        throw;
    }
    const int id = tObservances.field(QStringLiteral("OBSERVANCES_ID")).asInteger();
    if (outside)
        m_group->reenterSavepoint([this, id] { m_checks->removeObservance(id); });
    m_checks->added(id, tObservances);
}

// True when the patient already has an observance with the same content as
// the block's record (everything but its key and consultation time): the
// same report read again, from a file kept after an interrupted run or sent
// twice. Asked of that patient's rows in the file: reading every observance
// of every patient for each report would make an import quadratic.
QVariant ReportImport::alreadyStored()
{
    return m_checks->alreadyStored(tObservances);
}

// A report sent again may name documents its first sending lacked: each one
// the patient does not have yet is registered; one the patient has goes with
// the report. The names of those registered.
QStringList ReportImport::registerMissingDocuments()
{
    QStringList added;
    for (const QString &document : std::as_const(m_documents)) {
        const QString source = m_lines->findDocument(document);
        if (source.isEmpty())
            continue;
        if (patientHasDocument(document, source)) {
            m_claimed.insert(source);
            m_copied.sources << source;
        } else if (m_lines->registerDocument(document, &m_copied)) {
            added << document;
        }
    }
    return added;
}

// The block's document names that two different files received under them
// kept from its patient, noted for the physician when it was stored.
QStringList ReportImport::contestedDocuments(const QString &name, bool stored)
{
    const QStringList contested = m_lines->takeContested();
    if (!stored)
        return {};
    for (const QString &document : contested)
        m_contested.append({name, Globals::PatientNom + u' ' + Globals::PatientPrenom, document});
    return contested;
}

// Whether the block's patient has a document of that name with the same
// content as source. Asked only for reports already stored.
bool ReportImport::patientHasDocument(const QString &name, const QString &source)
{
    LocalQuery query;
    query.setDatabaseName(tObservances.databaseName());
    query.setSqlText(QStringLiteral("select AuxFileName from IMAGES where Patients_ID = :patient and Descriptor = :name"));
    query.setParam(QStringLiteral("patient"), fMain.FImportPatientID);
    query.setParam(QStringLiteral("name"), name);
    query.open();
    for (; !query.eof(); query.next())
        if (SameFileContent(source, Globals::BaseFolder + QStringLiteral("Docs/") + query.field(0).asString()))
            return true;
    return false;
}

void ReportImport::writeResultRow(const QString &fileName, bool imported, const QString &comment)
{
    // Written once the engine ended the group, the row would be committed on its own.
    m_group->requireRunning();
    if (!tResultat.isActive())
        tResultat.open();
    tResultat.append();
    tResultat.field(QStringLiteral("NomFic")).setAsString(fileName);
    tResultat.field(QStringLiteral("NomPat")).setAsString(Globals::PatientNom);
    tResultat.field(QStringLiteral("PrenomPat")).setAsString(Globals::PatientPrenom);
    tResultat.field(QStringLiteral("NePat")).setAsString(Globals::PatientNeLe);
    if (m_reportDate.isValid())
        tResultat.field(QStringLiteral("Date")).setAsDate(m_reportDate.date());
    tResultat.field(QStringLiteral("Imported")).setAsBoolean(imported);
    tResultat.field(QStringLiteral("Sender")).setAsString(m_providerLabel);
    tResultat.field(QStringLiteral("Comment")).setAsString(comment);
    // Left open for the run: reading the table again for each row would
    // make the run quadratic in its rows.
    tResultat.post();
}

// False when the program must close. A result the service database could
// not take keeps the file for the next import; no row to record it in is
// logged with the result, and the file goes.
bool ReportImport::recordRemotely(const QString &recipient, const QString &name, const QString &path)
{
    m_calledService = true;
    switch (m_env.saveResult(m_sender, recipient, path)) {
    case RemoteRecording::Outcome::Fatal:
        return false;
    case RemoteRecording::Outcome::Unreachable:
    case RemoteRecording::Outcome::Failed:
        LogWriter::write(QStringLiteral("Le résultat de l'importation de [") + name
                         + QStringLiteral("] n'a pas pu être enregistré sur le serveur de Tolvarenix : fichier conservé "
                                          "pour la prochaine importation."));
        m_keepFile = true;
        if (!m_unrecorded.contains(name))
            m_unrecorded << name;
        break;
    case RemoteRecording::Outcome::Recorded:
    case RemoteRecording::Outcome::NoRow:
    case RemoteRecording::Outcome::NotApplicable:
        break;
    }
    return true;
}
