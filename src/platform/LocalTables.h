#pragma once

#include <QAbstractTableModel>
#include <QPointer>
#include <QDate>
#include <QDateTime>
#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVector>

#include <memory>
#include <stdexcept>

// The program's local tables: one encrypted SQLite (SQLCipher) file per table
// in the database folder, reached through one connection per folder.
//
// Each table file holds a single table named like the file without its
// extension ("Observances.db" holds the table Observances). The connection
// ATTACHes each file it needs, always with an explicit key (KEY '' for a plain
// file), so the SQL of queries names the tables without qualification
// ("select * from Observances", "FROM PATIENTS": table and field names are not
// case-sensitive).
//
// Keys: LocalSession holds the list of table passwords. Opening a table, or
// running a query that needs a table file not attached yet, tries each key of
// the list and then the empty key. removeAllPasswords() also closes every
// attached file: afterwards a protected table can no longer be opened.
//
// Errors: every failure of the engine (file that cannot be created or opened,
// wrong key, bad SQL, a required field left empty, an unknown field name...)
// throws LocalTablesError with a French text meant for the user.
//
// Storage of the field types: String n and Memo as text (an empty text is
// stored as null, a text longer than n is cut to n characters), Integer and
// AutoInc as integers (AutoInc keys are never given twice, even after a
// deletion), Boolean as 0/1, Float as a double, Date as text "yyyy-MM-dd",
// DateTime as text "yyyy-MM-dd HH:mm:ss" (so equality and ordering are exact).

class LocalTablesError : public std::runtime_error
{
public:
    explicit LocalTablesError(const QString &message);
    QString message() const { return m_message; }

private:
    QString m_message;
};

enum class FieldType { String, Integer, Boolean, Float, Date, DateTime, AutoInc, Memo };

struct FieldDef
{
    QString name;
    FieldType type = FieldType::String;
    int size = 0;          // String only: maximum number of characters
    bool required = false; // a posted record must hold a value
};

struct IndexDef
{
    QString name;          // empty for the primary index
    QStringList fields;
    bool primary = false;  // primary index: its one AutoInc field is the table's key
    bool unique = false;
    bool caseInsensitive = false;
};

// The list of table passwords of the program's session.
namespace LocalSession {
void addPassword(const QString &password);
// Empties the list and detaches every table file of every connection, so the
// files are closed. A table left open keeps the rows it read, but its next
// write or reopening must attach the file again, which fails for a protected
// file until its password is given again.
void removeAllPasswords();
QStringList passwords();
// Derives, all at once on several threads, the keys that opening (or
// creating) these table files of the folder will need with the passwords of
// the list, so that the files then open without deriving them one after the
// other. Neither the files nor their key settings change; a key that does
// not open its file is simply not used. Forgotten by removeAllPasswords().
void prepareKeys(const QString &folder, const QStringList &fileNames);
} // namespace LocalSession

class LocalConnection;
class LocalDataSet;

// A value of the current record of a data set, found by name. Obtained from
// LocalDataSet::field(); valid while its data set lives.
class LocalField
{
public:
    LocalField(LocalDataSet *dataSet, int index) : m_dataSet(dataSet), m_index(index) {}

    const FieldDef &def() const;
    QString name() const { return def().name; }

    bool isNull() const;
    QVariant value() const;           // null, qint64, double, bool, QDate, QDateTime or QString
    // The value as the file holds it (see LocalDataSet::storedValue), which
    // binds to a query parameter as the same value as value() does.
    QVariant storedValue() const;
    // Text as the user sees it: Boolean "Vrai"/"Faux", Date "dd/MM/yyyy",
    // DateTime "dd/MM/yyyy HH:mm:ss" (the time left out when it is 00:00:00),
    // Float with the system's decimal separator; null gives "".
    QString asString() const;
    int asInteger() const;            // null gives 0
    double asFloat() const;           // null gives 0
    bool asBoolean() const;           // null gives false
    QDateTime asDateTime() const;     // null gives an invalid date-time
    QDate asDate() const;

    // Setters: only in insert or edit state (else LocalTablesError).
    void setValue(const QVariant &value); // converted to the field's type
    void setAsString(const QString &text);
    void setAsInteger(int value);
    void setAsFloat(double value);
    void setAsBoolean(bool value);
    void setAsDateTime(const QDateTime &value);
    void setAsDate(const QDate &value);
    void clear();

private:
    LocalDataSet *m_dataSet;
    int m_index;
};

// Rows read into memory with a current row, shared by tables and queries.
// Field names are found without regard to letter case.
class LocalDataSet : public QObject
{
    Q_OBJECT
public:
    enum class State { Inactive, Browse, Insert, Edit };

    explicit LocalDataSet(QObject *parent = nullptr);
    ~LocalDataSet() override;

    // The database folder (BaseFolder); the connection is shared by every
    // table and query of that folder.
    void setDatabaseName(const QString &folder);
    QString databaseName() const { return m_folder; }

    virtual void open() = 0;
    virtual void close();
    bool isActive() const { return m_state != State::Inactive; }
    State state() const { return m_state; }

    // The fields of the open data set (for a table, its stored layout).
    const QList<FieldDef> &fields() const { return m_fields; }
    QStringList fieldNames() const;
    int fieldIndex(const QString &name) const; // -1 when unknown
    LocalField field(const QString &name);     // LocalTablesError when unknown
    LocalField field(int index);

    int recordCount() const { ensureRows(); return m_rows.size(); }
    bool isEmpty() const { ensureRows(); return m_rows.isEmpty(); }
    int recNo() const { ensureRows(); return m_current; }     // 0-based, -1 when empty
    void first();
    void last();
    void next();                                 // past the last row sets eof()
    void prior();
    void moveTo(int row);
    bool eof() const { ensureRows(); return m_eof; }
    bool bof() const { ensureRows(); return m_bof; }
    // Moves to the first row whose fields equal the values (texts compared
    // without regard to letter case when asked); false leaves the row as it was.
    bool locate(const QStringList &fieldNames, const QVariantList &values, bool caseInsensitive = false);

    // Random access for grids: the stored value of a row and field.
    QVariant value(int row, int field) const;
    QString displayText(int row, int field) const;
    // The value as the file holds it (a DateTime is its "yyyy-MM-dd HH:mm:ss"
    // text), for readers of many rows that convert it themselves.
    QVariant storedValue(int row, int field) const;

signals:
    void afterOpen();
    void afterClose();
    void afterScroll();   // the current row changed
    void rowsChanged();   // rows added, changed or removed

protected:
    friend class LocalField;
    std::shared_ptr<LocalConnection> connection();
    // Rows of a table opened with rows on demand are read here, on the first
    // look at them; everything that reads m_rows, m_current, m_eof or m_bof
    // calls this first.
    void ensureRows() const
    {
        if (m_rowsPending)
            const_cast<LocalDataSet *>(this)->readPendingRows();
    }
    virtual void readPendingRows() {}
    void setCurrent(int row);
    void setFields(const QList<FieldDef> &fields)
    {
        m_fields = fields;
        m_fieldLookup.clear();
    }
    virtual QVariant currentValue(int index) const;
    virtual void setBufferValue(int index, const QVariant &stored);

    QString m_folder;
    std::shared_ptr<LocalConnection> m_connection;
    State m_state = State::Inactive;
    QList<FieldDef> m_fields;
    QVector<QVector<QVariant>> m_rows;  // stored values
    QVector<QVariant> m_buffer;         // record being inserted or edited
    int m_current = -1;
    bool m_eof = true;
    bool m_bof = true;
    bool m_rowsPending = false;

private:
    // Names as callers spelled them -> field index; emptied whenever the
    // fields change (setFields is their only writer).
    mutable QHash<QString, int> m_fieldLookup;
};

// One table file of the database folder.
class LocalTable : public LocalDataSet
{
    Q_OBJECT
public:
    explicit LocalTable(QObject *parent = nullptr);

    void setTableName(const QString &fileName);   // "Observances.db"
    QString tableName() const { return m_fileName; }
    QString filePath() const;                     // folder + file name
    bool exists() const;

    // Layout used by createTable(); after open(), fields() is the stored layout.
    QList<FieldDef> &fieldDefs() { return m_defs; }
    QList<IndexDef> &indexDefs() { return m_indexes; }
    // Creates the table file with the layout above, encrypted with the key
    // (empty key: a plain file). The file must not exist.
    void createTable(const QString &key);
    // Closes the table and deletes its file.
    void deleteTable();

    void open() override;
    void close() override;

    void append();         // insert state on an empty record buffer
    void edit();           // edit state on the current row
    void post();           // writes the buffer; a required field left empty throws
    void cancel();         // drops the buffer
    void deleteRecord();   // deletes the current row
    void emptyTable();     // deletes every row (the table may be open or closed)

    // Optional SQL condition on the rows read by open() (with :name parameters).
    void setFilter(const QString &where, const QVariantMap &params = {});

    // When set, open() checks the file and reads its layout, but the rows are
    // read only once something looks at them; appending and posting records
    // does not read them. For a large table that is mostly written to.
    void setRowsOnDemand(bool onDemand) { m_rowsOnDemand = onDemand; }
    // False while the rows of an open table have not been read yet.
    bool rowsRead() const { return isActive() && !m_rowsPending; }

    // A scratch table, made anew at each start: its writes are not forced to
    // disk, as a crash could only cost rows that the next start drops anyway.
    void setScratch(bool scratch) { m_scratch = scratch; }

private:
    void setBufferValue(int index, const QVariant &stored) override;
    void attachFile(LocalConnection &db);
    void readPendingRows() override;
    QVariant currentValue(int index) const override;
    void readRows();
    QVector<QVariant> readRow(qint64 rowId);
    void requireBrowse(const char *operation);
    QString schema() const;
    QString tableIdent() const;

    QString m_fileName;
    QList<FieldDef> m_defs;
    QList<IndexDef> m_indexes;
    QString m_filter;
    QVariantMap m_filterParams;
    int m_keyField = -1;   // the AutoInc field, -1 when none
    QVector<qint64> m_rowIds; // rowid of each row read
    bool m_rowsOnDemand = false;
    bool m_scratch = false;
    // While the rows are not read: the record posted last, which is the
    // current row (rowid -1 when none).
    qint64 m_postedRowId = -1;
    QVector<QVariant> m_postedRow;
    // The statements of one row for the opened layout, made at their first
    // use.
    struct RowSql {
        QString insert, update, select;
    };
    RowSql m_rowSql;
};

// SQL run on the tables of the database folder, with :name parameters.
class LocalQuery : public LocalDataSet
{
    Q_OBJECT
public:
    explicit LocalQuery(QObject *parent = nullptr);

    // The SQL text as lines (joined with line breaks when run).
    QStringList &sql() { return m_sql; }
    void setSql(const QStringList &lines) { m_sql = lines; }
    void setSqlText(const QString &text) { m_sql = text.split(QLatin1Char('\n')); }

    // Parameter values: QString, int/qint64, double, bool, QDate, QDateTime or
    // a null QVariant. A parameter of the SQL that was never set is bound null.
    void setParam(const QString &name, const QVariant &value);
    QVariant param(const QString &name) const;
    void clearParams() { m_params.clear(); }

    void open() override;      // runs a SELECT and reads its rows
    int execSql();             // runs any other statement; rows changed

private:
    QStringList m_sql;
    QVariantMap m_params;
};

// One statement run again and again with other values, for a check that
// wants a single value and no data set: its SQL text is set once, its values
// are bound by position (?1, ?2...) and its prepared form is kept by the
// folder's connection from one run to the next.
class LocalCommand
{
public:
    void setDatabaseName(const QString &folder);
    void setSqlText(const QString &sql) { m_sql = sql; }
    const QString &sqlText() const { return m_sql; }

    // Runs the statement with these values for ?1, ?2... (stored values, see
    // LocalField::storedValue, or values as LocalQuery::setParam takes them);
    // the first column of its first row, null when it gives no row.
    QVariant firstValue(const QVariantList &values);

private:
    QString m_folder;
    std::shared_ptr<LocalConnection> m_connection;
    QString m_sql;
};

// One transaction over the table files of a database folder: what the
// tables and queries of that folder write meanwhile reaches the files at
// commit(), or not at all when the scope ends without it or the process
// dies. Each file is committed on its own (the connection's main database is
// in memory). Files cannot be attached inside a transaction: every table
// file of the folder that opens with a known key is attached when the scope
// begins. After a rollback, open tables still hold the rows they read then:
// reopen them. Savepoints mark a part of the transaction that can be undone
// alone while the rest goes on.
class LocalTransaction
{
public:
    explicit LocalTransaction(const QString &folder);
    ~LocalTransaction(); // rolls back unless committed or rolled back
    LocalTransaction(const LocalTransaction &) = delete;
    LocalTransaction &operator=(const LocalTransaction &) = delete;

    void commit();
    // Also ends a transaction the engine already dropped (a failed commit).
    void rollback();
    bool isActive() const { return m_active; }
    // False once the engine itself has ended the transaction (it rolls the
    // whole of it back on some disk and memory errors): nothing written in
    // it remains, and a savepoint begun now would begin another one.
    bool isRunning() const;
    // Rows written through the connection since it opened.
    qint64 changes() const;

    void savepoint(const QString &name);
    // Keeps what was written since the savepoint, which ends.
    void release(const QString &name);
    // Undoes what was written since the savepoint, which ends.
    void rollbackTo(const QString &name);

private:
    void runKept(const QString &sql);

    std::shared_ptr<LocalConnection> m_connection;
    bool m_active = false;
};

// Read-only grid model over a data set (table or query): one column per
// field, titled by the field name; the display text is LocalField::asString.
// Follows the data set's opening, closing and changes, and its current row.
class LocalDataSetModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    explicit LocalDataSetModel(LocalDataSet *dataSet, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    LocalDataSet *dataSet() const { return m_dataSet; }

private:
    QPointer<LocalDataSet> m_dataSet;
};
