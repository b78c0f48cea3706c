#include "BenchTables.h"

#include "BenchSupport.h"
#include "core/LocalDatabase.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

namespace BenchTables {

namespace {
QByteArray literalText(QByteArray text)
{
    text.replace('\'', "''");
    return '\'' + text + '\'';
}
} // namespace

void exec(LocalDatabase &db, const QString &sql)
{
    LocalQuery query;
    query.setDatabaseName(db.tPatients.databaseName());
    query.setSqlText(sql);
    query.execSql();
}

int addPatientWithObservances(LocalDatabase &db, int count)
{
    LocalTable &patients = db.tPatients;
    patients.append();
    patients.field(QStringLiteral("NOM")).setAsString(QStringLiteral("DURAND"));
    patients.field(QStringLiteral("PRENOM")).setAsString(QStringLiteral("Anne"));
    patients.field(QStringLiteral("NE_LE")).setAsString(QStringLiteral("02/03/1950"));
    patients.post();
    const int id = patients.field(QStringLiteral("PATIENTS_ID")).asInteger();
    exec(db, QStringLiteral(
                 "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < %2) "
                 "INSERT INTO Observances (PATIENTS_ID, DATE_CONSULTATION, MOTIF_DE_CONSULTATION, PRESTATAIRE, "
                 "TECHNICIEN, DATE_DE_VISITE, TYPE_DE_VISITE, APPAREIL, MASQUE, HU, PEP_MINI, PEP_MAXI, RAMPE, "
                 "OBSERVANCES_NUIT, NOMBRE_DE_JOURS_OBS, IAH_RESIDUEL, P_MOYENNE, P95, FUITES, POIDS, COMMENTAIRES, URL) "
                 "SELECT %1, strftime('%Y-%m-%d %H:%M:00', '2000-01-01', '+' || i || ' hours'), "
                 "'Envoi Souffle Dom du 05/03/2017', 'Souffle Dom', 'M. Martin', "
                 "strftime('%Y-%m-%d 00:00:00', '2000-01-01', '+' || i || ' hours'), 'Suivi', 'S9 AutoSet', "
                 "'Nasal', 'H5i', 4 + i % 3, 10 + i % 5, 1, 5 + (i % 40) / 10.0, 30, 2 + i % 7, 8.5, 9 + i % 4, "
                 "i % 2, 70 + i % 9, 'Patient stable, bonne tolérance du masque.', "
                 "'https://souffle.example/obs/' || i FROM n")
                 .arg(id)
                 .arg(count));
    return id;
}

void makeProgramFolderWithObservances(const QString &home, int count)
{
    const QString base = home + QStringLiteral("Base/");
    Bench::require(QDir().mkpath(base), QStringLiteral("cannot make ") + base);
    LocalDatabase db;
    db.createAndOpen(base, home + QStringLiteral("Obsidra.ini"));
    addPatientWithObservances(db, count);
    db.close();
}

void copyFolder(const QString &from, const QString &to)
{
    Bench::require(QDir().mkpath(to), QStringLiteral("cannot make ") + to);
    const QStringList files = QDir(from).entryList(QDir::Files);
    for (const QString &file : files)
        Bench::require(QFile::copy(from + u'/' + file, to + u'/' + file), QStringLiteral("cannot copy ") + file);
}

double timeEngineShell(const QString &path, const QString &key, const QByteArray &script)
{
    QTemporaryDir dir;
    const QString scriptFile = dir.filePath(QStringLiteral("script.sql"));
    QFile file(scriptFile);
    Bench::require(file.open(QIODevice::WriteOnly), QStringLiteral("cannot write the script"));
    QByteArray text = "PRAGMA key = " + literalText(key.toUtf8()) + ";\n" + script;
    file.write(text);
    file.close();
    QProcess shell;
    shell.setStandardInputFile(scriptFile);
    shell.setStandardOutputFile(QProcess::nullDevice());
    const double start = Bench::now();
    shell.start(QStringLiteral("sqlcipher"), {QStringLiteral("-bail"), path});
    const bool finished = shell.waitForFinished(600000);
    const double seconds = Bench::now() - start;
    const QByteArray errors = shell.readAllStandardError();
    Bench::require(finished && shell.exitStatus() == QProcess::NormalExit && shell.exitCode() == 0 && errors.isEmpty(),
                   QStringLiteral("sqlcipher failed: ") + QString::fromLocal8Bit(errors));
    return seconds;
}

QByteArray literal(sqlite3_value *value)
{
    switch (sqlite3_value_type(value)) {
    case SQLITE_NULL: return "NULL";
    case SQLITE_INTEGER: return QByteArray::number(sqlite3_value_int64(value));
    case SQLITE_FLOAT: return QByteArray::number(sqlite3_value_double(value), 'g', 17);
    default:
        return literalText(QByteArray(reinterpret_cast<const char *>(sqlite3_value_text(value)),
                                      sqlite3_value_bytes(value)));
    }
}

RawDatabase::RawDatabase(const QString &path, const QString &key)
{
    Bench::require(sqlite3_open_v2(":memory:", &m_db, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK,
                   QStringLiteral("cannot open the engine"));
    sqlite3_stmt *attach = nullptr;
    Bench::require(sqlite3_prepare_v2(m_db, "ATTACH DATABASE ?1 AS t KEY ?2", -1, &attach, nullptr) == SQLITE_OK,
                   QStringLiteral("ATTACH"));
    const QByteArray file = path.toUtf8(), secret = key.toUtf8();
    sqlite3_bind_text(attach, 1, file.constData(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(attach, 2, secret.constData(), -1, SQLITE_TRANSIENT);
    const int rc = sqlite3_step(attach);
    sqlite3_finalize(attach);
    Bench::require(rc == SQLITE_DONE, QStringLiteral("cannot attach ") + path);
    exec("SELECT count(*) FROM t.sqlite_master"); // the key is derived and checked here
}

RawDatabase::~RawDatabase()
{
    sqlite3_close_v2(m_db);
}

void RawDatabase::exec(const char *sql)
{
    char *error = nullptr;
    if (sqlite3_exec(m_db, sql, nullptr, nullptr, &error) != SQLITE_OK) {
        const QString text = QString::fromUtf8(error ? error : sqlite3_errmsg(m_db));
        sqlite3_free(error);
        throw Bench::Failure(QString::fromUtf8(sql) + QStringLiteral(": ") + text);
    }
}

std::vector<std::vector<sqlite3_value *>> RawDatabase::rows(const char *sql)
{
    sqlite3_stmt *stmt = nullptr;
    Bench::require(sqlite3_prepare_v2(m_db, sql, -1, &stmt, nullptr) == SQLITE_OK, QString::fromUtf8(sql));
    std::vector<std::vector<sqlite3_value *>> result;
    while (sqlite3_step(stmt) == SQLITE_ROW) {
        std::vector<sqlite3_value *> row;
        for (int i = 0; i < sqlite3_column_count(stmt); ++i)
            row.push_back(sqlite3_value_dup(sqlite3_column_value(stmt, i)));
        result.push_back(std::move(row));
    }
    sqlite3_finalize(stmt);
    return result;
}

void RawDatabase::release(std::vector<std::vector<sqlite3_value *>> &rows)
{
    for (auto &row : rows) {
        for (sqlite3_value *value : row)
            sqlite3_value_free(value);
    }
    rows.clear();
}

} // namespace BenchTables
