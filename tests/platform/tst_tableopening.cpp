// Opening table files faster without changing them: keys derived ahead of
// time must be the files' own keys, and a table whose rows are read on
// demand must behave as one that read them at once.

#include "platform/LocalConnection.h"
#include "platform/LocalTables.h"

#define SQLITE_HAS_CODEC 1
#include <sqlcipher/sqlite3.h>

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QString kKey = QStringLiteral("vigne+craie");

// The row count of table Sample read through the engine alone, the file
// attached with key; -1 when the key does not open it.
int countWithEngine(const QString &path, const QString &key)
{
    sqlite3 *db = nullptr;
    sqlite3_open_v2(":memory:", &db, SQLITE_OPEN_READWRITE, nullptr);
    int count = -1;
    sqlite3_stmt *attach = nullptr, *select = nullptr;
    const QByteArray file = path.toUtf8(), secret = key.toUtf8();
    sqlite3_prepare_v2(db, "ATTACH DATABASE ?1 AS s KEY ?2", -1, &attach, nullptr);
    sqlite3_bind_text(attach, 1, file.constData(), -1, SQLITE_STATIC);
    sqlite3_bind_text(attach, 2, secret.constData(), -1, SQLITE_STATIC);
    if (sqlite3_step(attach) == SQLITE_DONE
        && sqlite3_prepare_v2(db, "SELECT count(*) FROM s.Sample", -1, &select, nullptr) == SQLITE_OK
        && sqlite3_step(select) == SQLITE_ROW)
        count = sqlite3_column_int(select, 0);
    sqlite3_finalize(attach);
    sqlite3_finalize(select);
    sqlite3_close(db);
    return count;
}

} // namespace

class TableOpeningTest : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void preparedKeysAreTheFilesOwn_data();
    void preparedKeysAreTheFilesOwn();
    void rowsOnDemandBehaveAsRowsReadAtOnce_data();
    void rowsOnDemandBehaveAsRowsReadAtOnce();

private:
    void create(LocalTable &table, int rows);
    QString path() const { return m_folder + QStringLiteral("Sample.db"); }

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_folder;
};

void TableOpeningTest::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    m_folder = m_dir->path() + QLatin1Char('/');
    LocalSession::addPassword(kKey);
}

void TableOpeningTest::cleanup()
{
    LocalSession::removeAllPasswords();
    m_dir.reset();
}

void TableOpeningTest::create(LocalTable &table, int rows)
{
    table.setDatabaseName(m_folder);
    table.setTableName(QStringLiteral("Sample.db"));
    table.fieldDefs() = {{QStringLiteral("Sample_ID"), FieldType::AutoInc, 0, true},
                         {QStringLiteral("Name"), FieldType::String, 20, false}};
    table.indexDefs() = {{QString(), {QStringLiteral("Sample_ID")}, true, false, false}};
    table.createTable(kKey);
    table.open();
    for (int i = 0; i < rows; ++i) {
        table.append();
        table.field(QStringLiteral("Name")).setAsString(QStringLiteral("n%1").arg(i));
        table.post();
    }
    table.close();
}

void TableOpeningTest::preparedKeysAreTheFilesOwn_data()
{
    QTest::addColumn<bool>("preparedBeforeCreation");
    QTest::addColumn<bool>("replacedAfterPreparation");
    QTest::newRow("file made with a prepared key") << true << false;
    QTest::newRow("file made before the keys were prepared") << false << false;
    QTest::newRow("file replaced after the keys were prepared") << false << true;
}

void TableOpeningTest::preparedKeysAreTheFilesOwn()
{
    QFETCH(bool, preparedBeforeCreation);
    QFETCH(bool, replacedAfterPreparation);
    if (preparedBeforeCreation)
        LocalSession::prepareKeys(m_folder, {QStringLiteral("Sample.db")});
    LocalTable table;
    create(table, 2);
    if (!preparedBeforeCreation)
        LocalSession::prepareKeys(m_folder, {QStringLiteral("Sample.db")});
    const QByteArray salt = [&] {
        QFile file(path());
        return file.open(QIODevice::ReadOnly) ? file.read(16) : QByteArray();
    }();
    if (replacedAfterPreparation) {
        table.deleteTable();
        create(table, 3); // a file of its own, with a salt of its own
        QFile file(path());
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(file.read(16) != salt);
    }
    const int rows = replacedAfterPreparation ? 3 : 2;

    // The file opens with the password alone, as before: its key settings
    // are the engine's own.
    QCOMPARE(countWithEngine(path(), kKey), rows);
    QCOMPARE(countWithEngine(path(), QString()), -1);
    // The prepared key, when one is given, is the file's key.
    const QString raw = PreparedKeys::rawKeyFor(path(), kKey);
    QCOMPARE(raw.isEmpty(), replacedAfterPreparation);
    if (!raw.isEmpty())
        QCOMPARE(countWithEngine(path(), raw), rows);
    table.open();
    QCOMPARE(table.recordCount(), rows);
}

void TableOpeningTest::rowsOnDemandBehaveAsRowsReadAtOnce_data()
{
    QTest::addColumn<bool>("onDemand");
    QTest::newRow("rows read at once") << false;
    QTest::newRow("rows read on demand") << true;
}

void TableOpeningTest::rowsOnDemandBehaveAsRowsReadAtOnce()
{
    QFETCH(bool, onDemand);
    LocalTable table;
    create(table, 3);
    table.setRowsOnDemand(onDemand);
    table.open();
    QCOMPARE(table.rowsRead(), !onDemand);

    // A record appended and posted is the current row, its key readable,
    // without the others being read.
    table.append();
    table.field(QStringLiteral("Name")).setAsString(QStringLiteral("new"));
    table.post();
    QCOMPARE(table.field(QStringLiteral("Sample_ID")).asInteger(), 4);
    QCOMPARE(table.field(QStringLiteral("Name")).asString(), QStringLiteral("new"));
    QCOMPARE(table.rowsRead(), !onDemand);

    QCOMPARE(table.recNo(), 3);
    QVERIFY(table.rowsRead());
    QCOMPARE(table.recordCount(), 4);
    QStringList names;
    for (table.first(); !table.eof(); table.next())
        names << table.field(QStringLiteral("Name")).asString();
    QCOMPARE(names, (QStringList{"n0", "n1", "n2", "new"}));

    // Reopened: the first row is current, also when the rows come later.
    table.close();
    table.open();
    QCOMPARE(table.field(QStringLiteral("Name")).asString(), QStringLiteral("n0"));
    table.edit();
    table.field(QStringLiteral("Name")).setAsString(QStringLiteral("edited"));
    table.post();
    table.close();
    table.open();
    QCOMPARE(table.displayText(0, 1), QStringLiteral("edited"));
    table.emptyTable();
    QVERIFY(table.isEmpty());
    QCOMPARE(table.recNo(), -1);
}

QTEST_GUILESS_MAIN(TableOpeningTest)
#include "tst_tableopening.moc"
