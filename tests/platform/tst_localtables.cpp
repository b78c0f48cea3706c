#include "platform/DecimalSeparator.h"
#include "platform/LocalTables.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>

namespace {

const QString kKey = QStringLiteral("vigne+craie");

// Runs the plain sqlite3 tool on a file; gives its exit code and output.
int runSqliteTool(const QString &file, const QString &sql, QString *output)
{
    QProcess tool;
    tool.start(QStringLiteral("/usr/bin/sqlite3"), {file, sql});
    tool.closeWriteChannel();
    tool.waitForFinished(30000);
    *output = QString::fromUtf8(tool.readAllStandardOutput() + tool.readAllStandardError());
    return tool.exitCode();
}

} // namespace

class LocalTablesTest : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void keyedFilesAreUnreadableWithoutKey_data();
    void keyedFilesAreUnreadableWithoutKey();
    void wrongKeyRefusedUntilRightKeyGiven();
    void droppingPasswordsClosesFiles();
    void transactionWritesAtCommitOnly_data();
    void transactionWritesAtCommitOnly();
    void savepointsKeepOrUndoTheirPartOnly();
    void stringsCutToFieldSize_data();
    void stringsCutToFieldSize();
    void requiredFieldRefusesPost();
    void autoIncNeverReused();
    void fieldNamesIgnoreCase();
    void fieldNamesFollowTheOpenedColumns();
    void booleans_data();
    void booleans();
    void dateTimesStoredAsSortableText();
    void boundParametersKeepQuotes_data();
    void boundParametersKeepQuotes();
    void editCancelDelete();
    void locate();
    void tableNamedTempResolves();
    void storedLayoutReadBack();
    void modelFollowsDataSet();
    void badSqlAndUnknownFieldThrow();
    void reusedStatementsNeverStale();
    void storedDateTimesReadInLocalTime_data();
    void storedDateTimesReadInLocalTime();
    void postedRowIsTheStoredRow_data();
    void postedRowIsTheStoredRow();

private:
    // A small table with one field of each type.
    void makeSample(LocalTable &table, const QString &key = kKey);

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_folder;
};

void LocalTablesTest::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    m_folder = m_dir->path() + QLatin1Char('/');
    LocalSession::addPassword(kKey);
}

void LocalTablesTest::cleanup()
{
    LocalSession::removeAllPasswords();
    m_dir.reset();
}

void LocalTablesTest::makeSample(LocalTable &table, const QString &key)
{
    table.setDatabaseName(m_folder);
    table.setTableName(QStringLiteral("Sample.db"));
    table.fieldDefs() = {
        {QStringLiteral("Sample_ID"), FieldType::AutoInc, 0, true},
        {QStringLiteral("NOM"), FieldType::String, 10, true},
        {QStringLiteral("Secured"), FieldType::Boolean, 0, false},
        {QStringLiteral("Quand"), FieldType::DateTime, 0, false},
        {QStringLiteral("Jour"), FieldType::Date, 0, false},
        {QStringLiteral("Valeur"), FieldType::Float, 0, false},
        {QStringLiteral("Nombre"), FieldType::Integer, 0, false},
        {QStringLiteral("Texte"), FieldType::Memo, 0, false},
    };
    table.indexDefs() = {{QString(), {QStringLiteral("Sample_ID")}, true, false, false}};
    table.createTable(key);
    table.open();
}

void LocalTablesTest::keyedFilesAreUnreadableWithoutKey_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<bool>("readable");
    QTest::newRow("master password") << kKey << false;
    QTest::newRow("plain") << QString() << true;
}

void LocalTablesTest::keyedFilesAreUnreadableWithoutKey()
{
    QFETCH(QString, key);
    QFETCH(bool, readable);
    {
        LocalTable table;
        makeSample(table, key);
        table.append();
        table.field(QStringLiteral("NOM")).setAsString(QStringLiteral("SECRETNOM"));
        table.post();
    }
    LocalSession::removeAllPasswords();
    QFile file(m_folder + QStringLiteral("Sample.db"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll().contains("SECRETNOM"), readable);
    QString output;
    const int code = runSqliteTool(file.fileName(), QStringLiteral("select NOM from Sample;"), &output);
    if (readable) {
        QCOMPARE(code, 0);
        QCOMPARE(output.trimmed(), QStringLiteral("SECRETNOM"));
    } else {
        QVERIFY(code != 0);
        QVERIFY2(output.contains(QStringLiteral("file is not a database")), qPrintable(output));
    }
}

void LocalTablesTest::wrongKeyRefusedUntilRightKeyGiven()
{
    {
        LocalTable table;
        makeSample(table);
    }
    LocalSession::removeAllPasswords();
    LocalSession::addPassword(QStringLiteral("pas le bon"));
    LocalTable table;
    table.setDatabaseName(m_folder);
    table.setTableName(QStringLiteral("Sample.db"));
    QVERIFY_THROWS_EXCEPTION(LocalTablesError, table.open());
    QVERIFY(!table.isActive());
    LocalSession::addPassword(kKey);
    table.open();
    QVERIFY(table.isActive());
}

void LocalTablesTest::droppingPasswordsClosesFiles()
{
    LocalTable table;
    makeSample(table);
    table.close();
    LocalSession::removeAllPasswords();
    QVERIFY_THROWS_EXCEPTION(LocalTablesError, table.open());
    LocalQuery query;
    query.setDatabaseName(m_folder);
    query.setSqlText(QStringLiteral("select * from Sample"));
    QVERIFY_THROWS_EXCEPTION(LocalTablesError, query.open());
}

void LocalTablesTest::transactionWritesAtCommitOnly_data()
{
    QTest::addColumn<int>("end"); // 0 commit, 1 scope left, 2 passwords dropped (program closing)
    QTest::newRow("committed") << 0;
    QTest::newRow("scope left") << 1;
    QTest::newRow("closing meanwhile") << 2;
}

void LocalTablesTest::transactionWritesAtCommitOnly()
{
    QFETCH(int, end);
    LocalTable table;
    makeSample(table);
    {
        LocalTransaction transaction(m_folder);
        table.append();
        table.field(QStringLiteral("NOM")).setAsString(QStringLiteral("Dupont"));
        table.post();
        if (end == 0)
            transaction.commit();
        if (end == 2) {
            table.close();
            LocalSession::removeAllPasswords();
            LocalSession::addPassword(kKey);
        }
    }
    table.close();
    table.open();
    QCOMPARE(table.recordCount(), end == 0 ? 1 : 0);
}

// The savepoint statements are kept prepared between uses: each round,
// also one after an undone part, must mark and end its own part.
void LocalTablesTest::savepointsKeepOrUndoTheirPartOnly()
{
    LocalTable table;
    makeSample(table);
    {
        LocalTransaction transaction(m_folder);
        for (const QString &name : {QStringLiteral("Kept1"), QStringLiteral("Undone1"), QStringLiteral("Undone2"),
                                    QStringLiteral("Kept2")}) {
            transaction.savepoint(QStringLiteral("part"));
            table.append();
            table.field(QStringLiteral("NOM")).setAsString(name);
            table.post();
            if (name.startsWith(QLatin1String("Kept")))
                transaction.release(QStringLiteral("part"));
            else
                transaction.rollbackTo(QStringLiteral("part"));
        }
        transaction.commit();
    }
    table.close();
    table.open();
    QStringList stored;
    for (table.first(); !table.eof(); table.next())
        stored << table.field(QStringLiteral("NOM")).asString();
    QCOMPARE(stored, (QStringList{QStringLiteral("Kept1"), QStringLiteral("Kept2")}));
}

void LocalTablesTest::stringsCutToFieldSize_data()
{
    QTest::addColumn<int>("length");
    QTest::addColumn<int>("stored");
    QTest::newRow("shorter") << 9 << 9;
    QTest::newRow("exact") << 10 << 10;
    QTest::newRow("one more") << 11 << 10;
    QTest::newRow("far longer") << 300 << 10;
}

void LocalTablesTest::stringsCutToFieldSize()
{
    QFETCH(int, length);
    QFETCH(int, stored);
    LocalTable table;
    makeSample(table);
    const QString value = QString(length, QChar(0xE9)); // "é", two bytes in UTF-8
    table.append();
    table.field(QStringLiteral("NOM")).setAsString(value);
    table.field(QStringLiteral("Texte")).setAsString(value);
    table.post();
    table.close();
    table.open();
    QCOMPARE(table.field(QStringLiteral("NOM")).asString(), value.left(stored));
    QCOMPARE(table.field(QStringLiteral("Texte")).asString(), value); // a memo has no limit
}

void LocalTablesTest::requiredFieldRefusesPost()
{
    LocalTable table;
    makeSample(table);
    table.append();
    table.field(QStringLiteral("Nombre")).setAsInteger(3);
    try {
        table.post();
        QFAIL("a record without its required field was posted");
    } catch (const LocalTablesError &e) {
        QCOMPARE(e.message(), QStringLiteral("Le champ 'NOM' doit avoir une valeur."));
    }
    QCOMPARE(table.state(), LocalDataSet::State::Insert);
    table.field(QStringLiteral("NOM")).setAsString(QString()); // empty text is no value
    QVERIFY_THROWS_EXCEPTION(LocalTablesError, table.post());
    table.field(QStringLiteral("NOM")).setAsString(QStringLiteral("X"));
    table.post();
    QCOMPARE(table.recordCount(), 1);
    QCOMPARE(table.field(QStringLiteral("Nombre")).asInteger(), 3);
}

void LocalTablesTest::autoIncNeverReused()
{
    LocalTable table;
    makeSample(table);
    for (const char *name : {"A", "B", "C"}) {
        table.append();
        table.field(QStringLiteral("NOM")).setAsString(QString::fromLatin1(name));
        table.post();
    }
    QCOMPARE(table.field(QStringLiteral("Sample_ID")).asInteger(), 3);
    table.last();
    table.deleteRecord();
    table.close();
    table.open();
    table.append();
    table.field(QStringLiteral("NOM")).setAsString(QStringLiteral("D"));
    table.post();
    QCOMPARE(table.field(QStringLiteral("Sample_ID")).asInteger(), 4);
    table.emptyTable();
    table.append();
    table.field(QStringLiteral("NOM")).setAsString(QStringLiteral("E"));
    table.post();
    QCOMPARE(table.field(QStringLiteral("Sample_ID")).asInteger(), 5);
    // The engine numbers the key: it cannot be written.
    table.edit();
    QVERIFY_THROWS_EXCEPTION(LocalTablesError, table.field(QStringLiteral("Sample_ID")).setAsInteger(1));
}

void LocalTablesTest::fieldNamesIgnoreCase()
{
    LocalTable table;
    makeSample(table);
    table.append();
    table.field(QStringLiteral("nom")).setAsString(QStringLiteral("Y"));
    table.post();
    QCOMPARE(table.field(QStringLiteral("SAMPLE_ID")).asInteger(), 1);
    QCOMPARE(table.field(QStringLiteral("sample_id")).name(), QStringLiteral("Sample_ID"));
    QCOMPARE(table.field(QStringLiteral("NoM")).asString(), QStringLiteral("Y"));
    QVERIFY_THROWS_EXCEPTION(LocalTablesError, table.field(QStringLiteral("Sample")));
}

void LocalTablesTest::booleans_data()
{
    QTest::addColumn<QVariant>("input");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("value");
    QTest::newRow("true") << QVariant(true) << "Vrai" << true;
    QTest::newRow("false") << QVariant(false) << "Faux" << false;
    QTest::newRow("text Vrai") << QVariant(QStringLiteral("Vrai")) << "Vrai" << true;
    QTest::newRow("text faux") << QVariant(QStringLiteral("faux")) << "Faux" << false;
    QTest::newRow("null") << QVariant() << "" << false;
}

void LocalTablesTest::booleans()
{
    QFETCH(QVariant, input);
    QFETCH(QString, text);
    QFETCH(bool, value);
    LocalTable table;
    makeSample(table);
    table.append();
    table.field(QStringLiteral("NOM")).setAsString(QStringLiteral("B"));
    table.field(QStringLiteral("Secured")).setValue(input);
    table.post();
    table.close();
    table.open();
    QCOMPARE(table.field(QStringLiteral("Secured")).asString(), text);
    QCOMPARE(table.field(QStringLiteral("Secured")).asBoolean(), value);
    LocalQuery query;
    query.setDatabaseName(m_folder);
    query.setSqlText(QStringLiteral("select Secured from Sample"));
    query.open();
    QCOMPARE(query.field(QStringLiteral("secured")).asString(), text);
}

void LocalTablesTest::dateTimesStoredAsSortableText()
{
    LocalTable table;
    makeSample(table);
    // Out of order, across a month and a year change, one at midnight.
    const QList<QDateTime> moments = {
        QDateTime(QDate(2023, 12, 31), QTime(23, 59)), QDateTime(QDate(2024, 2, 1), QTime(0, 0)),
        QDateTime(QDate(2024, 1, 9), QTime(8, 5, 7)), QDateTime(QDate(2024, 1, 10), QTime(7, 0))};
    for (const QDateTime &moment : moments) {
        table.append();
        table.field(QStringLiteral("NOM")).setAsString(QStringLiteral("D"));
        table.field(QStringLiteral("Quand")).setAsDateTime(moment);
        table.field(QStringLiteral("Jour")).setAsDate(moment.date());
        table.post();
    }
    LocalQuery query;
    query.setDatabaseName(m_folder);
    query.setSql({QStringLiteral("select * from SAMPLE"), QStringLiteral("order by Quand DESC")});
    query.open();
    QList<QDateTime> sorted = moments;
    std::sort(sorted.begin(), sorted.end(), std::greater<>());
    for (const QDateTime &moment : sorted) {
        QVERIFY(!query.eof());
        QCOMPARE(query.field(QStringLiteral("Quand")).asDateTime(), moment);
        QCOMPARE(query.field(QStringLiteral("Jour")).asDate(), moment.date());
        query.next();
    }
    QVERIFY(query.eof());
    // Texts as the user sees them: the time is left out at midnight.
    query.first();
    QCOMPARE(query.field(QStringLiteral("Quand")).asString(), QStringLiteral("01/02/2024"));
    query.next();
    QCOMPARE(query.field(QStringLiteral("Quand")).asString(), QStringLiteral("10/01/2024 07:00:00"));
    QCOMPARE(query.field(QStringLiteral("Jour")).asString(), QStringLiteral("10/01/2024"));

    // Exact equality with a bound date-time.
    query.close();
    query.setSql({QStringLiteral("select count(*) from Sample where Quand = :quand")});
    query.setParam(QStringLiteral("quand"), moments.at(2));
    query.open();
    QCOMPARE(query.field(0).asInteger(), 1);
    query.close();
    query.setParam(QStringLiteral("QUAND"), moments.at(2).addSecs(1));
    query.open();
    QCOMPARE(query.field(0).asInteger(), 0);
}

void LocalTablesTest::boundParametersKeepQuotes_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("apostrophe") << "O'BRIEN";
    QTest::newRow("double quote") << "A\"B";
    QTest::newRow("injection") << "x'; DROP";
    QTest::newRow("accents") << QString::fromUtf8("Hélène");
}

void LocalTablesTest::boundParametersKeepQuotes()
{
    QFETCH(QString, name);
    LocalTable table;
    makeSample(table);
    for (const QString &value : {name, QStringLiteral("AUTRE")}) {
        table.append();
        table.field(QStringLiteral("NOM")).setAsString(value);
        table.post();
    }
    LocalQuery query;
    query.setDatabaseName(m_folder);
    query.setSql({QStringLiteral("SELECT Sample_ID, NOM FROM SAMPLE"), QStringLiteral("WHERE NOM = :nom")});
    query.setParam(QStringLiteral("nom"), name);
    query.open();
    QCOMPARE(query.recordCount(), 1);
    QCOMPARE(query.field(QStringLiteral("NOM")).asString(), name);

    query.close();
    query.setSql({QStringLiteral("DELETE FROM Sample WHERE NOM = :nom")});
    QCOMPARE(query.execSql(), 1);
    table.close();
    table.open();
    QCOMPARE(table.recordCount(), 1);
    QCOMPARE(table.field(QStringLiteral("NOM")).asString(), QStringLiteral("AUTRE"));
}

void LocalTablesTest::editCancelDelete()
{
    DecimalSeparator::setOverride(QLatin1Char(','));
    LocalTable table;
    makeSample(table);
    table.append();
    table.field(QStringLiteral("NOM")).setAsString(QStringLiteral("AVANT"));
    table.field(QStringLiteral("Valeur")).setAsString(QStringLiteral("12,5"));
    table.post();
    table.edit();
    table.field(QStringLiteral("NOM")).setAsString(QStringLiteral("APRES"));
    table.cancel();
    QCOMPARE(table.field(QStringLiteral("NOM")).asString(), QStringLiteral("AVANT"));
    table.edit();
    table.field(QStringLiteral("NOM")).setAsString(QStringLiteral("APRES"));
    table.post();
    table.close();
    table.open();
    QCOMPARE(table.field(QStringLiteral("NOM")).asString(), QStringLiteral("APRES"));
    QCOMPARE(table.field(QStringLiteral("Valeur")).asFloat(), 12.5);
    QCOMPARE(table.field(QStringLiteral("Valeur")).asString(), QStringLiteral("12,5"));
    // Writing outside insert or edit state is refused.
    QVERIFY_THROWS_EXCEPTION(LocalTablesError, table.field(QStringLiteral("NOM")).setAsString(QStringLiteral("Z")));
    QVERIFY_THROWS_EXCEPTION(LocalTablesError, [&] {
        table.edit();
        table.field(QStringLiteral("Nombre")).setAsString(QStringLiteral("douze"));
    }());
    table.cancel();
    table.deleteRecord();
    QVERIFY(table.isEmpty());
    QVERIFY(table.eof());
    DecimalSeparator::setOverride(QChar());
}

void LocalTablesTest::locate()
{
    LocalTable table;
    makeSample(table);
    for (int i = 1; i <= 4; ++i) {
        table.append();
        table.field(QStringLiteral("NOM")).setAsString(i % 2 ? QStringLiteral("Impair") : QStringLiteral("Pair"));
        table.field(QStringLiteral("Nombre")).setAsInteger(i);
        table.post();
    }
    QVERIFY(table.locate({QStringLiteral("nom"), QStringLiteral("NOMBRE")}, {QStringLiteral("Pair"), 4}));
    QCOMPARE(table.field(QStringLiteral("Sample_ID")).asInteger(), 4);
    QVERIFY(!table.locate({QStringLiteral("NOM")}, {QStringLiteral("pair")}));
    QCOMPARE(table.recNo(), 3); // unchanged
    QVERIFY(table.locate({QStringLiteral("NOM")}, {QStringLiteral("pair")}, true));
    QCOMPARE(table.field(QStringLiteral("Nombre")).asInteger(), 2);
}

void LocalTablesTest::tableNamedTempResolves()
{
    LocalTable temp;
    temp.setDatabaseName(m_folder);
    temp.setTableName(QStringLiteral("Temp.db"));
    temp.fieldDefs() = {{QStringLiteral("Numero"), FieldType::AutoInc, 0, true},
                        {QStringLiteral("NomFic"), FieldType::String, 250, true}};
    temp.createTable(QString());
    temp.open();
    temp.append();
    temp.field(QStringLiteral("NomFic")).setAsString(QStringLiteral("KORVA_1.txt"));
    temp.post();
    LocalQuery query;
    query.setDatabaseName(m_folder);
    query.setSqlText(QStringLiteral("select NomFic from \"Temp\""));
    query.open();
    QCOMPARE(query.field(QStringLiteral("NomFic")).asString(), QStringLiteral("KORVA_1.txt"));
    temp.deleteTable();
    QVERIFY(!QFile::exists(m_folder + QStringLiteral("Temp.db")));
}

void LocalTablesTest::storedLayoutReadBack()
{
    LocalTable created;
    makeSample(created);
    const QList<FieldDef> defs = created.fieldDefs();
    LocalTable table;
    table.setDatabaseName(m_folder);
    table.setTableName(QStringLiteral("Sample.db"));
    table.open();
    QCOMPARE(table.fields().size(), defs.size());
    for (int i = 0; i < defs.size(); ++i) {
        QCOMPARE(table.fields().at(i).name, defs.at(i).name);
        QCOMPARE(table.fields().at(i).type, defs.at(i).type);
        QCOMPARE(table.fields().at(i).size, defs.at(i).size);
        QCOMPARE(table.fields().at(i).required, defs.at(i).required);
    }
    // Creating over an existing file is refused and leaves it alone.
    QVERIFY_THROWS_EXCEPTION(LocalTablesError, created.createTable(kKey));
}

void LocalTablesTest::modelFollowsDataSet()
{
    LocalTable table;
    makeSample(table);
    LocalDataSetModel tableModel(&table);
    QCOMPARE(tableModel.columnCount(), 8);
    QCOMPARE(tableModel.rowCount(), 0);
    table.append();
    table.field(QStringLiteral("NOM")).setAsString(QStringLiteral("Un"));
    table.field(QStringLiteral("Secured")).setAsBoolean(true);
    table.post();
    QCOMPARE(tableModel.rowCount(), 1);

    LocalQuery query;
    query.setDatabaseName(m_folder);
    query.setSqlText(QStringLiteral("select NOM, Secured, count(*) as N from Sample group by NOM, Secured"));
    LocalDataSetModel model(&query);
    QCOMPARE(model.rowCount(), 0);
    query.open();
    QCOMPARE(model.rowCount(), 1);
    QCOMPARE(model.columnCount(), 3);
    QCOMPARE(model.headerData(0, Qt::Horizontal).toString(), QStringLiteral("NOM"));
    QCOMPARE(model.data(model.index(0, 0)).toString(), QStringLiteral("Un"));
    QCOMPARE(model.data(model.index(0, 1)).toString(), QStringLiteral("Vrai"));
    QCOMPARE(model.data(model.index(0, 2)).toString(), QStringLiteral("1"));
    QCOMPARE(model.data(model.index(0, 1), Qt::EditRole).toBool(), true);
    query.close();
    QCOMPARE(model.rowCount(), 0);
    QCOMPARE(model.columnCount(), 0);
}

// A name found once is remembered: opened again on other columns, the data
// set must not answer with the old place.
void LocalTablesTest::fieldNamesFollowTheOpenedColumns()
{
    LocalTable table;
    makeSample(table);
    table.append();
    table.field(QStringLiteral("NOM")).setAsString(QStringLiteral("Y"));
    table.post();
    LocalQuery query;
    query.setDatabaseName(m_folder);
    for (const char *columns : {"NOM, SAMPLE_ID", "SAMPLE_ID, NOM"}) {
        query.setSqlText(QStringLiteral("select %1 from Sample").arg(QLatin1String(columns)));
        query.open();
        QCOMPARE(query.field(QStringLiteral("nom")).asString(), QStringLiteral("Y"));
        query.close();
    }
    query.setSqlText(QStringLiteral("select SAMPLE_ID from Sample"));
    query.open();
    QVERIFY_THROWS_EXCEPTION(LocalTablesError, query.field(QStringLiteral("nom")));
}

void LocalTablesTest::badSqlAndUnknownFieldThrow()
{
    LocalTable table;
    makeSample(table);
    LocalQuery query;
    query.setDatabaseName(m_folder);
    query.setSqlText(QStringLiteral("select * from Nowhere"));
    QVERIFY_THROWS_EXCEPTION(LocalTablesError, query.open());
    QVERIFY(!query.isActive());
    LocalTable missing;
    missing.setDatabaseName(m_folder);
    missing.setTableName(QStringLiteral("Absent.db"));
    QVERIFY_THROWS_EXCEPTION(LocalTablesError, missing.open());
    QVERIFY(!QFile::exists(m_folder + QStringLiteral("Absent.db")));
}


// Statements are kept prepared for their next run: nothing of an earlier run
// (its rows, its values, the file it was made for) may show in a later one.
void LocalTablesTest::reusedStatementsNeverStale()
{
    LocalTable table;
    makeSample(table);
    const auto add = [&](const QString &name) {
        table.append();
        table.field(QStringLiteral("NOM")).setAsString(name);
        table.post();
    };
    add(QStringLiteral("A"));
    LocalQuery query;
    query.setDatabaseName(m_folder);
    query.setSqlText(QStringLiteral("select NOM from Sample where NOM = :nom or :nom is null order by Sample_ID"));
    const auto names = [&] {
        query.close();
        query.open();
        QStringList found;
        for (query.first(); !query.eof(); query.next())
            found << query.field(0).asString();
        return found;
    };
    query.setParam(QStringLiteral("nom"), QStringLiteral("A"));
    QCOMPARE(names(), QStringList{QStringLiteral("A")});
    add(QStringLiteral("A"));
    add(QStringLiteral("B"));
    QCOMPARE(names(), (QStringList{QStringLiteral("A"), QStringLiteral("A")}));
    query.clearParams(); // unset: bound null, not the earlier value
    QCOMPARE(names(), (QStringList{QStringLiteral("A"), QStringLiteral("A"), QStringLiteral("B")}));
    // A posted row read back is the one just written, not the previous one.
    add(QStringLiteral("C"));
    QCOMPARE(table.field(QStringLiteral("NOM")).asString(), QStringLiteral("C"));

    // The file replaced by another of the same name with another layout.
    table.deleteTable();
    LocalTable other;
    other.setDatabaseName(m_folder);
    other.setTableName(QStringLiteral("Sample.db"));
    other.fieldDefs() = {{QStringLiteral("Sample_ID"), FieldType::AutoInc, 0, true},
                         {QStringLiteral("Autre"), FieldType::Integer, 0, false},
                         {QStringLiteral("NOM"), FieldType::String, 10, false}};
    other.createTable(kKey);
    other.open();
    other.append();
    other.field(QStringLiteral("Autre")).setAsInteger(7);
    other.field(QStringLiteral("NOM")).setAsString(QStringLiteral("D"));
    other.post();
    QCOMPARE(other.field(QStringLiteral("Autre")).asInteger(), 7);
    query.setParam(QStringLiteral("nom"), QStringLiteral("D"));
    QCOMPARE(names(), QStringList{QStringLiteral("D")});
}

void LocalTablesTest::storedDateTimesReadInLocalTime_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QDateTime>("read"); // invalid: no such local time
    QTest::newRow("plain") << QStringLiteral("2026-01-31 23:59:58") << QDateTime(QDate(2026, 1, 31), QTime(23, 59, 58));
    QTest::newRow("hour skipped in spring") << QStringLiteral("2026-03-29 02:30:00") << QDateTime();
    QTest::newRow("hour seen twice in autumn")
        << QStringLiteral("2026-10-25 02:30:00") << QDateTime(QDate(2026, 10, 25), QTime(2, 30));
    QTest::newRow("no such day") << QStringLiteral("2026-02-30 10:00:00") << QDateTime();
    QTest::newRow("other written form") << QStringLiteral("05/03/2017 08:09") << QDateTime(QDate(2017, 3, 5), QTime(8, 9));
    QTest::newRow("not digits") << QStringLiteral("2026-0a-01 10:00:00") << QDateTime();
}

// A stored date-time is read as the local time it names, in a zone with
// summer time.
void LocalTablesTest::storedDateTimesReadInLocalTime()
{
    QFETCH(QString, stored);
    QFETCH(QDateTime, read);
    const QByteArray zone = qgetenv("TZ");
    qputenv("TZ", "Europe/Paris");
    const auto restore = qScopeGuard([&] { zone.isNull() ? qunsetenv("TZ") : qputenv("TZ", zone); });
    LocalTable table;
    makeSample(table);
    LocalQuery insert;
    insert.setDatabaseName(m_folder);
    insert.setSqlText(QStringLiteral("insert into Sample (NOM, Quand) values ('x', :quand)"));
    insert.setParam(QStringLiteral("quand"), stored);
    insert.execSql();
    table.close();
    table.open();
    const QDateTime value = table.field(QStringLiteral("Quand")).asDateTime();
    QCOMPARE(value.isValid(), read.isValid());
    if (read.isValid()) {
        QCOMPARE(value, read);
        QCOMPARE(value.toMSecsSinceEpoch(), read.toMSecsSinceEpoch());
    }
}

void LocalTablesTest::postedRowIsTheStoredRow_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QVariant>("input");
    // Texts a column preferring numbers stores as numbers, and others it keeps.
    QTest::newRow("memo of digits") << QStringLiteral("Texte") << QVariant(QStringLiteral("12"));
    QTest::newRow("memo of a decimal") << QStringLiteral("Texte") << QVariant(QStringLiteral(" 3.0 "));
    QTest::newRow("memo of an exponent") << QStringLiteral("Texte") << QVariant(QStringLiteral("-1e3"));
    QTest::newRow("memo like a date") << QStringLiteral("Texte") << QVariant(QStringLiteral("2017-03-05"));
    QTest::newRow("memo of words") << QStringLiteral("Texte") << QVariant(QStringLiteral("douze 12"));
    QTest::newRow("string of digits") << QStringLiteral("NOM") << QVariant(QStringLiteral("0012"));
    // A double the engine does not keep: stored as null.
    QTest::newRow("float not a number") << QStringLiteral("Valeur") << QVariant(std::nan(""));
    QTest::newRow("float") << QStringLiteral("Valeur") << QVariant(2.5);
    QTest::newRow("date") << QStringLiteral("Jour") << QVariant(QDate(2017, 3, 5));
    QTest::newRow("date-time") << QStringLiteral("Quand") << QVariant(QDateTime(QDate(2017, 3, 5), QTime(8, 9, 10)));
    QTest::newRow("early year") << QStringLiteral("Quand") << QVariant(QDateTime(QDate(812, 3, 5), QTime(8, 9)));
}

// The row a table shows once a record is posted, with its rows read or not,
// is the row the file holds (a fresh reading), value for value and of the
// same kind, its key included.
void LocalTablesTest::postedRowIsTheStoredRow()
{
    QFETCH(QString, field);
    QFETCH(QVariant, input);
    LocalTable table;
    makeSample(table);
    for (const bool onDemand : {false, true}) {
        table.close();
        table.setRowsOnDemand(onDemand);
        table.open();
        table.append();
        if (field != QLatin1String("NOM"))
            table.field(QStringLiteral("NOM")).setAsString(QStringLiteral("x"));
        table.field(field).setValue(input);
        table.post();
        QList<QVariant> shown;
        for (int i = 0; i < table.fields().size(); ++i)
            shown << table.field(i).storedValue();
        const QVariant key = shown.first();
        QVERIFY(!key.isNull());

        LocalTable file;
        file.setDatabaseName(m_folder);
        file.setTableName(QStringLiteral("Sample.db"));
        file.open();
        QVERIFY(file.locate({QStringLiteral("Sample_ID")}, {key}));
        for (int i = 0; i < file.fields().size(); ++i) {
            const QVariant stored = file.field(i).storedValue();
            QVERIFY2(stored.typeId() == shown.at(i).typeId() && stored == shown.at(i),
                     qPrintable(file.fields().at(i).name + QStringLiteral(": ") + stored.toString()));
            QCOMPARE(table.field(i).asString(), file.field(i).asString());
        }
    }
}

QTEST_GUILESS_MAIN(LocalTablesTest)
#include "tst_localtables.moc"
