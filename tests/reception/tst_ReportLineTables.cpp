#include "platform/Clock.h"
#include "platform/DecimalSeparator.h"
#include "core/Globals.h"
#include "core/LocalDatabase.h"
#include "reception/ReportLineTables.h"
#include "TestHome.h"

#include <QDir>
#include <QFile>
#include <QtTest>

// Data lines applied to the real encrypted tables of a fresh database folder.
class ReportLineTablesTest : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void linesFillTheStoredObservance();
    void documentsGetTheirOwnNumbers();

private:
    std::unique_ptr<TestHome> m_home;
    std::unique_ptr<LocalDatabase> m_db;
    QDateTime m_consultation;
    void beginRecord(int patientId);
};

void ReportLineTablesTest::init()
{
    Globals::reset();
    m_home = std::make_unique<TestHome>();
    Globals::BaseFolder = m_home->file("Base/");
    Globals::ImportFolder = m_home->file("ForImportation/");
    QDir().mkpath(Globals::BaseFolder + "Docs");
    QDir().mkpath(Globals::ImportFolder + "Attachments");
    DecimalSeparator::setOverride(u',');
    Globals::ForeignDecimalSeparator = QStringLiteral(".");
    Clock::setSource([] { return QDateTime(QDate(2026, 3, 14), QTime(10, 0)); });
    m_db = std::make_unique<LocalDatabase>();
    m_db->createAndOpen(Globals::BaseFolder, m_home->file("Obsidra.ini"));
    m_consultation = QDateTime(QDate(2026, 3, 14), QTime(10, 0));
}

void ReportLineTablesTest::cleanup()
{
    m_db.reset();
    Clock::setSource({});
    DecimalSeparator::setOverride(QChar());
    m_home.reset();
    Globals::reset();
}

void ReportLineTablesTest::beginRecord(int patientId)
{
    m_db->tObservances.append();
    m_db->tObservances.field("DATE_CONSULTATION").setAsDateTime(m_consultation);
    if (patientId > 0)
        m_db->tObservances.field("PATIENTS_ID").setAsInteger(patientId);
}

void ReportLineTablesTest::linesFillTheStoredObservance()
{
    beginRecord(12);
    const QString technician = QString::fromUtf8("é").repeated(50) + QString(50, u'x'); // 100 characters
    const QStringList lines = {
        "KORVA|Technicien|OBS_TECHNICIEN||" + technician + "|",
        "KORVA|Poids|OBS_POIDS||73.5|",
        "KORVA|PEP|obs_pep_mini||8.5|",
        "KORVA|Rampe|OBS_RAMPE||True|",
        "KORVA|Alarme|OBS_ALARME||true|",
        "KORVA|Visite|OBS_DATE_VISITE||05/03/2017 14:30|",
        "KORVA|Lien|OBS_URL||https://exemple.fr/courbe|",
        "KORVA|Lien|obs_url_va||https://exemple.fr/autre|",
        "KORVA|Poids|OBS_POIDS||7E1|",
    };
    for (const QString &line : lines)
        ImportReportLine(m_db->tObservances, m_db->tImages, line);
    m_db->tObservances.post();

    LocalTable check;
    check.setDatabaseName(Globals::BaseFolder);
    check.setTableName("Observances.db");
    check.open();
    QCOMPARE(check.recordCount(), 1);
    QCOMPARE(check.field("TECHNICIEN").asString(), technician.left(97));
    QCOMPARE(check.field("POIDS").asInteger(), 74);
    QCOMPARE(check.field("PEP_MINI").asFloat(), 8.5);
    QCOMPARE(check.field("RAMPE").asBoolean(), true);
    QVERIFY(!check.field("ALARME").isNull());
    QCOMPARE(check.field("ALARME").asBoolean(), false);
    QCOMPARE(check.field("DATE_DE_VISITE").asDateTime(), QDateTime(QDate(2017, 3, 5), QTime(14, 30)));
    QCOMPARE(check.field("URL").asString(), QStringLiteral("https://exemple.fr/courbe"));
    QVERIFY(check.field("URL_VA").isNull());
    QCOMPARE(check.field("PATIENTS_ID").asInteger(), 12);
}

void ReportLineTablesTest::documentsGetTheirOwnNumbers()
{
    beginRecord(12);
    m_home->write("ForImportation/Attachments/rapport.pdf", "premier");
    m_home->write("ForImportation/Attachments/courbe.png", "second");
    ImportReportLine(m_db->tObservances, m_db->tImages, "KORVA|Doc|PJ||rapport.pdf|");
    ImportReportLine(m_db->tObservances, m_db->tImages, "KORVA|Doc|PJ||courbe.png|");

    LocalTable images;
    images.setDatabaseName(Globals::BaseFolder);
    images.setTableName("Images.db");
    images.open();
    QCOMPARE(images.recordCount(), 2);
    QSet<int> ids;
    for (images.first(); !images.eof(); images.next()) {
        const int id = images.field("Images_ID").asInteger();
        ids.insert(id);
        const QString descriptor = images.field("Descriptor").asString();
        QCOMPARE(images.field("AuxFileName").asString(), QString::number(id) + "_" + descriptor);
        QCOMPARE(images.field("Patients_ID").asInteger(), 12);
        QCOMPARE(images.field("Date_Consultation").asDateTime(), m_consultation);
        QFile copy(Globals::BaseFolder + "Docs/" + QString::number(id) + "_" + descriptor);
        QVERIFY(copy.open(QIODevice::ReadOnly));
        QCOMPARE(copy.readAll(), QByteArray(descriptor == "rapport.pdf" ? "premier" : "second"));
        QVERIFY(!QFile::exists(Globals::ImportFolder + "Attachments/" + descriptor));
    }
    QCOMPARE(ids.size(), 2);
}

QTEST_GUILESS_MAIN(ReportLineTablesTest)
#include "tst_ReportLineTables.moc"
