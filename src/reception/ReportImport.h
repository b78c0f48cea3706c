#pragma once

#include "reception/ImportHousekeeping.h"
#include "reception/RemoteRecording.h"
#include "reception/ReportDataLine.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QTimeZone>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class DeletionQueue;
class ImportGroup;
class ObservanceChecks;
class MainWindowInterface;
class LocalTable;
class ReportLineReader;
class ReportLineImporter;
class ReportReadAhead;

// Imports the report files waiting in the import folder into the local
// tables: each report block becomes one observance of its patient, one row
// of the import results and, for a provider report, the import result
// recorded in the service database. A file is deleted once handled; a file
// that cannot be handled safely stays (or, when incomplete or badly named,
// is set aside as "<name>.rejete") and is reported. What a file writes to the
// local tables is committed before the file is deleted (in one transaction
// with the files just before it, each undone alone when it fails), and a
// provider report is deleted only once its result is recorded remotely. A block whose observance is already stored for its patient is
// not stored again; of its documents, only those the patient lacks are registered.
class ReportImport
{
public:
    struct Needs {
        // TfMain.SaveImportationResultOnFTP: sender, recipient, full path.
        std::function<RemoteRecording::Outcome(const QString &, const QString &, const QString &)> saveResult;
        // TfPatients.IdentifyPatient on the report's identity and bare file name.
        std::function<int(const QString &fileName)> identify;
        // Shows a refused file to the user (OpenInNotepad).
        std::function<void(const QString &)> showFile;
        // The results window over tResultat, shown modally; it empties the table.
        std::function<void()> showResults;
        // The connection of the provider look-up.
        QString remoteConnectionName;
    };

    explicit ReportImport(MainWindowInterface &main);
    ReportImport(MainWindowInterface &main, Needs environment);
    ~ReportImport();

    // TfMain.ImportObservances.
    void ImportObservances();

    // The provider's id in the service database for a sender address, or -1.
    static int LookUpProviderId(const QString &connectionName, const QString &sender);

private:
    // Interrupted: the program is closing and the block's dialogs ended
    // unanswered; the file waits for the next run with nothing of it kept.
    // Waiting: the same, for a patient chooser closed without an answer; the
    // run goes on. Failed: its writes were undone and it stays.
    enum class FileEnd { Deleted, Kept, StopRun, Interrupted, Waiting, Failed };

    FileEnd importFile(const QString &name, int index, int count);
    FileEnd readBlocks(ReportLineReader &reader, const QString &name, const QString &path);
    bool setAsideBadName(const QString &name);
    void resetBlockValues();
    void readHeaderLine(int lineNumber, const QString &line, const QString &name);
    void identifyBlock(const QString &line, const QString &name);
    void readReportDate(const QString &line);
    void readProviderLabel(const QString &line);
    FileEnd endOfBlock(const QString &name, const QString &path);
    bool storeRecord(const QString &name, bool &alreadyStored);
    QVariant alreadyStored();
    QStringList registerMissingDocuments();
    QStringList contestedDocuments(const QString &name, bool stored);
    bool patientHasDocument(const QString &name, const QString &source);
    void postObservance();
    void makeConsultationTimeUnique();
    void beginRecord();
    void cancelPending();
    void reloadTables();
    void dropFile();
    void commitGroup();
    void writeResultRow(const QString &fileName, bool imported, const QString &comment);
    bool recordRemotely(const QString &recipient, const QString &name, const QString &path);
    void setStatus(int panel, const QString &text);
    void processEvents(bool force);
    bool eventsDue() const;
    void tellUnrecorded();
    void finishRun(bool showResults);

    MainWindowInterface &fMain;
    Needs m_env;
    LocalTable &tObservances;
    LocalTable &tResultat;

    // The system's time zone, read once for the run.
    QTimeZone m_zone;
    // Values of the file being imported.
    QDateTime m_consultationTime;
    QString m_sender;
    ReportLineImporter *m_lines = nullptr;
    // Sources of the documents copied into the documents folder, deleted once
    // the file's tables are committed, and their copies, removed should the
    // file be undone.
    ReportLineImporter::Copied m_copied;
    // Every source a report of the run took: no other report takes it, even
    // before its deletion.
    QSet<QString> m_claimed;
    // The file stays: a result of it could not be recorded remotely.
    bool m_keepFile = false;
    // A block of a file without provider was declined: the file is kept.
    bool m_declinedWithoutProvider = false;
    // The file came with its own documents folder (removed, if empty, with it).
    bool m_ownFolder = false;
    // The file's handling called the service database.
    bool m_calledService = false;
    // Values of the block being read.
    QDateTime m_reportDate; // invalid until a report date was read
    QString m_reportDateText;
    QString m_birthDateText;
    QString m_providerLabel;
    QStringList m_freeText;   // as read, for COMMENTAIRES
    QStringList m_documents;  // names of the block's document lines
    bool m_dataSection = false;

    // Documents named by the run's reports that no patient got.
    QList<ImportHousekeeping::ContestedDocument> m_contested;
    // Reports whose import result could not be recorded remotely.
    QStringList m_unrecorded;
    bool m_fatal = false;
    // Since the last round of pending events (invalid before the first).
    QElapsedTimer m_eventsProcessed;
    // The checks of the observances, for the run only.
    std::unique_ptr<ObservanceChecks> m_checks;
    // The files whose writes are committed together, for the run only.
    std::unique_ptr<ImportGroup> m_group;
    // The run's deletions of committed files and reading ahead of reports.
    DeletionQueue *m_deletions = nullptr;
    ReportReadAhead *m_readAhead = nullptr;
};
