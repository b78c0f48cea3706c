#pragma once

#include "platform/LocalTables.h"

#include <QList>
#include <QString>

// The program's local tables in the database folder: creates the missing
// ones (the four protected ones encrypted with the built-in password), drops
// and re-creates the scratch table of import results at each start, and
// opens the main window's tables. Existing tables are never altered.
class LocalDatabase
{
public:
    LocalDatabase();
    LocalDatabase(const LocalDatabase &) = delete;
    LocalDatabase &operator=(const LocalDatabase &) = delete;

    // Start-up: tables of Globals::BaseFolder, DBVersion written into the
    // program's configuration file. Throws LocalTablesError on an engine
    // failure; its message() is the text to show.
    void createAndOpen();
    // The same for a given folder (ending with "/") and configuration file.
    void createAndOpen(const QString &baseFolder, const QString &configurationFile);
    // Starts deriving the protected tables' keys on other threads, so that
    // the opening of the tables finds them ready.
    static void deriveKeysAhead(const QString &baseFolder);

    // Closes every table and query and empties the list of table passwords,
    // so the table files are closed (program end, backup).
    void close();
    // Gives the password again and opens the four main tables (after a backup).
    void reopen();

    // Layouts of the table files.
    static QList<FieldDef> mailFields();
    static QList<FieldDef> patientsFields();
    static QList<FieldDef> imagesFields();
    static QList<FieldDef> observancesFields();
    static QList<FieldDef> resultsFields();
    static QList<IndexDef> resultsIndexes();

    // The main window's tables and queries.
    LocalTable TMail;         // "Mail.db"
    LocalTable tPatients;     // "Patients.db"
    LocalTable tImages;       // "Images.db"
    LocalTable tObservances;  // "Observances.db"
    LocalTable tResultat;     // "Temp.db", not opened at start-up
    LocalQuery qObservances;  // the patient's observances, newest first
    LocalQuery Query1;        // local query of the import

private:
    // True when the table file had to be created.
    bool createIfMissing(LocalTable &table, const QString &fileName, const QList<FieldDef> &fields);
    void recreateResults();
    QList<LocalTable *> mainTables();

    QString m_baseFolder;
};
