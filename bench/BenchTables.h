#pragma once

#include <QString>

#define SQLITE_HAS_CODEC 1
#include <sqlcipher/sqlite3.h>

#include <vector>

class LocalDatabase;

// Local tables filled for the benchmarks.
namespace BenchTables {

// Adds a patient "DURAND Anne" with count observances (one per hour, with
// values for the five charted fields and the usual texts), all in one
// statement; returns the patient's PATIENTS_ID.
int addPatientWithObservances(LocalDatabase &db, int count);

// Creates the tables of a program folder (ending with "/") and fills them
// as above; the tables are closed afterwards.
void makeProgramFolderWithObservances(const QString &home, int count);

// Copies a folder's files (not recursive) into a new folder.
void copyFolder(const QString &from, const QString &to);

// Runs one statement on the tables of the database's folder.
void exec(LocalDatabase &db, const QString &sql);

// Runs the engine's own shell (sqlcipher) on a table file with a script that
// begins with the key, its output thrown away; returns the seconds the whole
// process took. The floors of the jobs that read or write the tables.
double timeEngineShell(const QString &path, const QString &key, const QByteArray &script);

// An SQL literal of a value (NULL, number, or quoted text).
QByteArray literal(sqlite3_value *value);

// A connection of its own to one encrypted table file, the same engine
// without the program's layer: the floors' way to the data. The file is
// attached as schema "t" when the object is made (its key derived then).
class RawDatabase
{
public:
    RawDatabase(const QString &path, const QString &key);
    ~RawDatabase();
    RawDatabase(const RawDatabase &) = delete;
    RawDatabase &operator=(const RawDatabase &) = delete;

    void exec(const char *sql);
    sqlite3 *handle() const { return m_db; }

    // Every row of a SELECT, each value copied.
    std::vector<std::vector<sqlite3_value *>> rows(const char *sql);
    static void release(std::vector<std::vector<sqlite3_value *>> &rows);

private:
    sqlite3 *m_db = nullptr;
};

} // namespace BenchTables
