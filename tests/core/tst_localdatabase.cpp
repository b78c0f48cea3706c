#include "core/Globals.h"
#include "platform/IniFile.h"
#include "core/LocalDatabase.h"
#include "platform/ProgramFolder.h"
#include "TestHome.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QtTest>

namespace {

const QStringList kProtected = {QStringLiteral("Mail.db"), QStringLiteral("Patients.db"), QStringLiteral("Images.db"),
                                QStringLiteral("Observances.db")};

QString runSqliteTool(const QString &file, const QString &sql, int *code)
{
    QProcess tool;
    tool.start(QStringLiteral("/usr/bin/sqlite3"), {file, sql});
    tool.closeWriteChannel();
    tool.waitForFinished(30000);
    *code = tool.exitCode();
    return QString::fromUtf8(tool.readAllStandardOutput() + tool.readAllStandardError());
}

QByteArray fileHash(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256);
}

void addPatient(LocalTable &patients, const QString &name)
{
    patients.append();
    patients.field(QStringLiteral("NOM")).setAsString(name);
    patients.field(QStringLiteral("PRENOM")).setAsString(QStringLiteral("Jean"));
    patients.post();
}

} // namespace

class LocalDatabaseTest : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void emptyFolderCreatesFiveTables();
    void layoutsAsStored_data();
    void layoutsAsStored();
    void onlyMissingTableCreated();
    void resultsTableEmptiedAtStart();
    void observanceStringsCutTo97_data();
    void observanceStringsCutTo97();
    void observanceQueryByPatientNewestFirst();
    void closeDropsKeysAndReopenRestores();
    void existingLayoutNotAltered();
    void missingFolderIsAnEngineError();

private:
    std::unique_ptr<TestHome> m_home;
    QString m_base;
    QString m_ini;
};

void LocalDatabaseTest::init()
{
    m_home = std::make_unique<TestHome>();
    m_base = m_home->path() + QStringLiteral("Base/");
    QVERIFY(QDir().mkpath(m_base));
    m_ini = ProgramFolder::configurationFile();
    Globals::BaseFolder = m_base;
}

void LocalDatabaseTest::cleanup()
{
    LocalSession::removeAllPasswords();
    m_home.reset();
}

void LocalDatabaseTest::emptyFolderCreatesFiveTables()
{
    QVERIFY(!QFile::exists(m_ini));
    LocalDatabase db;
    db.createAndOpen();
    const auto others = QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ExeGroup
                        | QFileDevice::ReadOther | QFileDevice::WriteOther | QFileDevice::ExeOther;
    for (const QString &name : kProtected + QStringList{QStringLiteral("Temp.db")}) {
        QVERIFY2(QFile::exists(m_base + name), qPrintable(name));
        QVERIFY2(!(QFileInfo(m_base + name).permissions() & others), qPrintable(name));
    }
    QCOMPARE(IniFile(m_ini).readInteger(QStringLiteral("Main"), QStringLiteral("DBVersion"), 0), 1);
    for (LocalTable *table : {&db.TMail, &db.tPatients, &db.tImages, &db.tObservances})
        QVERIFY(table->isActive());
    QVERIFY(!db.tResultat.isActive());
    // Nothing shows the observances at start-up: their rows wait until needed.
    QVERIFY(db.tPatients.rowsRead() && !db.tObservances.rowsRead());
    QCOMPARE(db.qObservances.sql(), (QStringList{QStringLiteral("select * from Observances"),
                                                 QStringLiteral("where PATIENTS_ID=:patients_id"),
                                                 QStringLiteral("order by DATE_CONSULTATION DESC")}));
    db.close();

    // The protected files cannot be read without the master password.
    for (const QString &name : kProtected) {
        int code = 0;
        const QString output = runSqliteTool(m_base + name, QStringLiteral(".tables"), &code);
        QVERIFY2(code != 0 && output.contains(QStringLiteral("file is not a database")), qPrintable(name + output));
    }
    LocalSession::addPassword(QStringLiteral("vigne+craie "));
    LocalTable wrong;
    wrong.setDatabaseName(m_base);
    wrong.setTableName(QStringLiteral("Patients.db"));
    QVERIFY_THROWS_EXCEPTION(LocalTablesError, wrong.open());

    // The scratch table is plain, with its case-insensitive index.
    int code = 0;
    const QString indexes = runSqliteTool(m_base + QStringLiteral("Temp.db"),
                                          QStringLiteral("select sql from sqlite_master where type='index';"), &code);
    QCOMPARE(code, 0);
    QVERIFY2(indexes.contains(QStringLiteral("\"FicPat\"")) && indexes.contains(QStringLiteral("\"NomFic\" COLLATE NOCASE"))
                 && indexes.contains(QStringLiteral("\"PrenomPat\" COLLATE NOCASE")),
             qPrintable(indexes));
}

void LocalDatabaseTest::layoutsAsStored_data()
{
    // Each field as "NAME:type[size][!]" ("!" for a required field), in the
    // order of the file: written out here, not taken from the program.
    QTest::addColumn<QString>("table");
    QTest::addColumn<QString>("layout");
    QTest::newRow("mail") << "Mail.db"
                          << "COMPTE:S150! ADRESSE:S150! SERVEUR_POP3:S150 PORT_POP3:I Secured:B LOGIN:S150! PASSWORD:S20";
    QTest::newRow("patients") << "Patients.db" << "PATIENTS_ID:+! NOM:S50! PRENOM:S50! NE_LE:S10";
    QTest::newRow("images") << "Images.db"
                            << "Images_ID:+! Patients_ID:I! Date_Consultation:T! Descriptor:S100! AuxFileName:M";
    QTest::newRow("observances")
        << "Observances.db"
        << "OBSERVANCES_ID:+! PATIENTS_ID:I! DATE_CONSULTATION:T! MOTIF_DE_CONSULTATION:M PRESTATAIRE:S97 "
           "TECHNICIEN:S97 DATE_DE_VISITE:T TYPE_DE_VISITE:S97 APPAREIL:S97 MASQUE:S97 HU:S97 PEP_MINI:F PEP_MAXI:F "
           "PIP_MAXI:F FR_MINI:F RAMPE:B ALARME:B DEBIT:F TEMPS_24H:F OBSERVANCES_NUIT:F NOMBRE_DE_JOURS_OBS:F "
           "NB_NUITS_AVEC_VENTIL:F IAH_RESIDUEL:F P_MOYENNE:F P95:F CEPHALEES:B SECHERESSE_BUCCALE:B "
           "RHINORRHEE_CLAIRE:B RHINORRHEE_PURULENTE:B NEZ_BOUCHE:B BRUIT_APPAREIL:B BRUIT_MASQUE:B FUITES:B "
           "MONTE_EN_PRESSION_EVEILLA:B DOULEURS_MASQUE:B OUVERTURE_DE_LA_BOUCHE:B AEROPHAGIE:B REVEILS_NOCTURNE:B "
           "NYCTURIE:B POIDS:I POULS:F SATURATION:F E_EPWORTH:F ATTITUDE_PRATIQUE:M COMMENTAIRES:M ALERTE:B "
           "ALERTE_VUE:B URL:M URL_VA:M URL_ORKYN:M";
    QTest::newRow("results") << "Temp.db"
                             << "Numero:+! NomFic:S250! NomPat:S100 PrenomPat:S100 NePat:S10 Date:D Imported:B "
                                "Sender:S150 Comment:S250";
}

void LocalDatabaseTest::layoutsAsStored()
{
    QFETCH(QString, table);
    QFETCH(QString, layout);
    LocalDatabase db;
    db.createAndOpen(m_base, m_ini);
    // What the created file holds, read back by a table of its own.
    LocalTable stored;
    stored.setDatabaseName(m_base);
    stored.setTableName(table);
    stored.open();
    static const QMap<FieldType, QString> kTypes = {
        {FieldType::String, "S"}, {FieldType::Integer, "I"}, {FieldType::Boolean, "B"}, {FieldType::Float, "F"},
        {FieldType::Date, "D"},   {FieldType::DateTime, "T"}, {FieldType::AutoInc, "+"}, {FieldType::Memo, "M"}};
    QStringList have;
    for (const FieldDef &field : stored.fields())
        have << field.name + u':' + kTypes.value(field.type) + (field.size > 0 ? QString::number(field.size) : QString())
                    + (field.required ? QStringLiteral("!") : QString());
    QCOMPARE(have, layout.split(u' '));
}

void LocalDatabaseTest::onlyMissingTableCreated()
{
    {
        LocalDatabase db;
        db.createAndOpen(m_base, m_ini);
        addPatient(db.tPatients, QStringLiteral("DUPONT"));
        db.close();
    }
    QVERIFY(QFile::remove(m_base + QStringLiteral("Observances.db")));
    QVERIFY(QFile::remove(m_ini));
    QMap<QString, QByteArray> before;
    for (const QString &name : {QStringLiteral("Mail.db"), QStringLiteral("Patients.db"), QStringLiteral("Images.db")})
        before.insert(name, fileHash(m_base + name));

    LocalDatabase db;
    db.createAndOpen(m_base, m_ini);
    QVERIFY(QFile::exists(m_base + QStringLiteral("Observances.db")));
    QCOMPARE(IniFile(m_ini).readInteger(QStringLiteral("Main"), QStringLiteral("DBVersion"), 0), 1);
    QCOMPARE(db.tPatients.recordCount(), 1);
    QCOMPARE(db.tPatients.field(QStringLiteral("NOM")).asString(), QStringLiteral("DUPONT"));
    db.close();
    for (auto it = before.cbegin(); it != before.cend(); ++it)
        QVERIFY2(fileHash(m_base + it.key()) == it.value(), qPrintable(it.key()));
    int code = 0;
    QVERIFY(runSqliteTool(m_base + QStringLiteral("Observances.db"), QStringLiteral(".tables"), &code)
                .contains(QStringLiteral("file is not a database")));
}

void LocalDatabaseTest::resultsTableEmptiedAtStart()
{
    {
        LocalDatabase db;
        db.createAndOpen(m_base, m_ini);
        db.tResultat.open();
        db.tResultat.append();
        db.tResultat.field(QStringLiteral("NomFic")).setAsString(QStringLiteral("KORVA_A.txt"));
        db.tResultat.field(QStringLiteral("Imported")).setAsBoolean(true);
        db.tResultat.field(QStringLiteral("Date")).setAsDate(QDate(2024, 3, 1));
        db.tResultat.post();
        QCOMPARE(db.tResultat.recordCount(), 1);
        QCOMPARE(db.tResultat.field(QStringLiteral("Imported")).asString(), QStringLiteral("Vrai"));
        db.close();
    }
    LocalDatabase db;
    db.createAndOpen(m_base, m_ini);
    db.tResultat.open();
    QCOMPARE(db.tResultat.recordCount(), 0);
    // Numbering starts again with the new table.
    db.tResultat.append();
    db.tResultat.field(QStringLiteral("NomFic")).setAsString(QStringLiteral("KORVA_B.txt"));
    db.tResultat.post();
    QCOMPARE(db.tResultat.field(QStringLiteral("Numero")).asInteger(), 1);
}

void LocalDatabaseTest::observanceStringsCutTo97_data()
{
    QTest::addColumn<int>("length");
    QTest::newRow("97") << 97;
    QTest::newRow("98") << 98;
    QTest::newRow("99") << 99;
    QTest::newRow("100") << 100;
}

void LocalDatabaseTest::observanceStringsCutTo97()
{
    QFETCH(int, length);
    QString value;
    for (int i = 0; i < length; ++i)
        value += QChar(u'A' + i % 26);
    LocalDatabase db;
    db.createAndOpen(m_base, m_ini);
    db.tObservances.append();
    db.tObservances.field(QStringLiteral("PATIENTS_ID")).setAsInteger(1);
    db.tObservances.field(QStringLiteral("DATE_CONSULTATION")).setAsDateTime(QDateTime(QDate(2024, 5, 2), QTime(10, 30)));
    db.tObservances.field(QStringLiteral("PRESTATAIRE")).setAsString(value);
    db.tObservances.field(QStringLiteral("COMMENTAIRES")).setAsString(value);
    db.tObservances.post();
    db.close();
    db.reopen();
    db.tObservances.first();
    QCOMPARE(db.tObservances.field(QStringLiteral("PRESTATAIRE")).asString(), value.left(97));
    QCOMPARE(db.tObservances.field(QStringLiteral("COMMENTAIRES")).asString(), value);
}

void LocalDatabaseTest::observanceQueryByPatientNewestFirst()
{
    LocalDatabase db;
    db.createAndOpen(m_base, m_ini);
    const QList<QPair<int, QDateTime>> rows = {
        {1, QDateTime(QDate(2024, 1, 5), QTime(9, 0))},
        {2, QDateTime(QDate(2024, 2, 5), QTime(9, 0))},
        {1, QDateTime(QDate(2024, 3, 5), QTime(9, 0))},
        {1, QDateTime(QDate(2023, 12, 25), QTime(18, 45))}};
    for (const auto &[patient, moment] : rows) {
        db.tObservances.append();
        db.tObservances.field(QStringLiteral("PATIENTS_ID")).setAsInteger(patient);
        db.tObservances.field(QStringLiteral("DATE_CONSULTATION")).setAsDateTime(moment);
        db.tObservances.post();
    }
    db.qObservances.setParam(QStringLiteral("patients_id"), 1);
    db.qObservances.open();
    QCOMPARE(db.qObservances.recordCount(), 3);
    QCOMPARE(db.qObservances.field(QStringLiteral("DATE_CONSULTATION")).asDateTime(), rows.at(2).second);
    db.qObservances.last();
    QCOMPARE(db.qObservances.field(QStringLiteral("DATE_CONSULTATION")).asDateTime(), rows.at(3).second);

    // The duplicate check of the import.
    db.Query1.setSqlText(QStringLiteral("Select count(*) from Observances where Patients_ID = :patients_id and "
                                        "DATE_CONSULTATION = :date_consultation"));
    db.Query1.setParam(QStringLiteral("patients_id"), 2);
    db.Query1.setParam(QStringLiteral("date_consultation"), rows.at(1).second);
    db.Query1.open();
    QCOMPARE(db.Query1.field(0).asInteger(), 1);
}

void LocalDatabaseTest::closeDropsKeysAndReopenRestores()
{
    LocalDatabase db;
    db.createAndOpen(m_base, m_ini);
    addPatient(db.tPatients, QStringLiteral("MARTIN"));
    db.close();
    QVERIFY(!db.tPatients.isActive());
    QVERIFY(LocalSession::passwords().isEmpty());
    QVERIFY_THROWS_EXCEPTION(LocalTablesError, db.tPatients.open());
    db.reopen();
    QVERIFY(db.tPatients.isActive());
    QCOMPARE(db.tPatients.field(QStringLiteral("nom")).asString(), QStringLiteral("MARTIN"));
}

void LocalDatabaseTest::existingLayoutNotAltered()
{
    LocalSession::addPassword(QString::fromLatin1(Globals::kDatabasePassword));
    LocalTable old;
    old.setDatabaseName(m_base);
    old.setTableName(QStringLiteral("Mail.db"));
    old.fieldDefs() = {{QStringLiteral("COMPTE"), FieldType::String, 150, true}};
    old.createTable(QString::fromLatin1(Globals::kDatabasePassword));
    LocalDatabase db;
    db.createAndOpen(m_base, m_ini);
    QCOMPARE(db.TMail.fieldNames(), QStringList{QStringLiteral("COMPTE")});
}

void LocalDatabaseTest::missingFolderIsAnEngineError()
{
    // A database folder below a regular file cannot exist.
    m_home->write(QStringLiteral("plain"), "x");
    LocalDatabase db;
    try {
        db.createAndOpen(m_home->path() + QStringLiteral("plain/Base/"), m_ini);
        QFAIL("tables created in a folder that cannot exist");
    } catch (const LocalTablesError &e) {
        QVERIFY(e.message().contains(QStringLiteral("plain/Base/")));
    }
    QVERIFY(!IniFile(m_ini).hasKey(QStringLiteral("Main"), QStringLiteral("DBVersion")));
}

QTEST_GUILESS_MAIN(LocalDatabaseTest)
#include "tst_localdatabase.moc"
