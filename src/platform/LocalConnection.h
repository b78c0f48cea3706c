#pragma once

#include <QDate>
#include <QDateTime>
#include <QHash>
#include <QString>
#include <QVariant>

#include <memory>

struct sqlite3;
struct sqlite3_stmt;

// One SQLCipher handle for a database folder (used by LocalTables only).
// The main database is in memory; each table file is ATTACHed under a schema
// name of its own, always with an explicit key.
class LocalConnection
{
public:
    // The shared connection of a folder, opened on first use.
    static std::shared_ptr<LocalConnection> forFolder(const QString &folder);
    // Detaches every file of every live connection.
    static void detachEverywhere();

    explicit LocalConnection(const QString &folder);
    ~LocalConnection();
    LocalConnection(const LocalConnection &) = delete;
    LocalConnection &operator=(const LocalConnection &) = delete;

    sqlite3 *handle() const { return m_db; }
    const QString &folder() const { return m_folder; }

    // Schema name under which a table file is attached.
    static QString schemaFor(const QString &fileName);
    // The table name inside a table file: the file name without extension.
    static QString tableFor(const QString &fileName);
    // An SQL identifier between double quotes.
    static QString quoted(const QString &identifier);

    // Attaches an existing table file with the first key of the session's
    // list (then the empty key) that opens it; no-op when attached.
    void attach(const QString &fileName);
    bool isAttached(const QString &fileName) const { return m_attached.contains(fileName.toLower()); }
    // Attaches (creating when missing) with this key only.
    void attachWithKey(const QString &fileName, const QString &key);
    void detach(const QString &fileName);
    void detachAll();
    // Attaches every table file of the folder that is not attached yet and
    // opens with a known key (others are left out).
    void attachAvailable();

    void exec(const QString &sql);
    QString lastError() const;

    // Statements kept prepared for their next use (LocalStatement with
    // Reuse::Yes), by SQL text. takeStatement hands one over (nullptr when
    // none is idle), giveBackStatement takes it back reset and without
    // bindings. Forgotten whenever a file is attached or detached.
    sqlite3_stmt *takeStatement(const QString &sql);
    void giveBackStatement(const QString &sql, sqlite3_stmt *stmt);
    void dropStatements();

private:
    // True when every "*.db" entry of the folder is attached already.
    bool everyTableFileAttached() const;
    bool tryAttach(const QString &fileName, const QString &key, QString *error);

    QString m_folder;
    sqlite3 *m_db = nullptr;
    QHash<QString, QString> m_attached; // lower-case file name -> schema
    struct IdleStatement {
        sqlite3_stmt *stmt = nullptr;
        quint64 lastUse = 0;
    };
    QHash<QString, IdleStatement> m_idle;
    quint64 m_uses = 0;
};

// Keys derived ahead of time for table files (LocalSession::prepareKeys):
// the raw key the engine would derive from a password and the file's salt,
// given to ATTACH in its raw form ("x'...'") so the engine skips the slow
// derivation. For a file still to be created the salt is drawn beforehand
// and given with the key, so the file is the same as one created with the
// password itself.
namespace PreparedKeys {
void prepare(const QStringList &paths, const QStringList &passwords);
// The raw key text for the file and password, or an empty text.
QString rawKeyFor(const QString &path, const QString &password);
void clear();
} // namespace PreparedKeys

// The stored texts of dates, "yyyy-MM-dd", and date-times, "yyyy-MM-dd
// HH:mm:ss" (the date and time the value names in its own zone), of valid
// values: written directly, as the locale's formatter costs more than the
// statement that stores them.
namespace StoredText {
QString date(const QDate &day);
QString dateTime(const QDateTime &moment);
} // namespace StoredText

// A prepared statement with :name parameters bound from a map (names found
// without regard to letter case).
class LocalStatement
{
public:
    // Reuse::Yes takes the statement of the same text prepared earlier on
    // the connection, when one is idle, and leaves it there afterwards: for
    // the statements run again and again with other values.
    enum class Reuse { No, Yes };
    LocalStatement(LocalConnection &connection, const QString &sql, Reuse reuse = Reuse::No);
    ~LocalStatement();
    LocalStatement(const LocalStatement &) = delete;
    LocalStatement &operator=(const LocalStatement &) = delete;

    void bind(const QVariantMap &params);
    void bindAt(int position, const QVariant &value); // 1-based
    // Next row; false at the end. Throws on error.
    bool step();
    int columnCount() const;
    QString columnName(int column) const;
    QString columnDeclType(int column) const;
    QVariant columnValue(int column) const;

    sqlite3_stmt *handle() const { return m_stmt; }

private:
    LocalConnection &m_connection;
    sqlite3_stmt *m_stmt = nullptr;
    QString m_reusedSql; // empty unless given back to the connection
};
