#include "platform/Clock.h"
#include "platform/DecimalSeparator.h"
#include "core/Globals.h"
#include "platform/ProgramFolder.h"
#include "reception/ReportDataLine.h"
#include "TestHome.h"
#include "platform/Windows1252.h"

#include <QDir>
#include <QFile>
#include <QtTest>

namespace {

// The record of a block, kept in memory.
class MemoryRecord : public ObservanceRecord
{
public:
    QVariant field(const QString &name) const override { return values.value(name); }
    bool setField(const QString &name, const QVariant &value, QString *error) override
    {
        if (name == refusedField) {
            *error = QStringLiteral("champ refusé");
            return false;
        }
        values.insert(name, value);
        ++writes;
        return true;
    }
    QVariantMap values;
    QString refusedField;
    int writes = 0;
};

class MemoryDocuments : public DocumentTable
{
public:
    struct Row {
        int id;
        int patientId;
        QDateTime date;
        QString descriptor;
        QString auxFileName;
    };
    std::optional<int> insertDocument(int patientId, const QDateTime &date, const QString &descriptor,
                                      QString *error) override
    {
        if (failInsert) {
            *error = QStringLiteral("table fermée");
            return std::nullopt;
        }
        rows.append({nextId, patientId, date, descriptor, QString()});
        return nextId++;
    }
    bool setAuxFileName(int id, const QString &name, QString *) override
    {
        for (Row &row : rows)
            if (row.id == id)
                row.auxFileName = name;
        return true;
    }
    bool removeDocument(int id, QString *) override { return rows.removeIf([id](const Row &r) { return r.id == id; }) == 1; }
    QList<Row> rows;
    int nextId = 57;
    bool failInsert = false;
};

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString logText()
{
    return Windows1252::decode(readFile(ProgramFolder::logFile()));
}

} // namespace

class ReportDataLineTest : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void split_data();
    void split();
    void keyTable_data();
    void keyTable();
    void conversions_data();
    void conversions();
    void datesReadInTheKeptZone_data();
    void datesReadInTheKeptZone();
    void laterLineWinsButBlankKeeps();
    void refusedWriteIsLoggedAndImportGoesOn();
    void recipient_data();
    void recipient();
    void documentIsRegisteredAndMoved();
    void documentIgnoredWhenAbsentOrLowerCaseKey();
    void documentFoundWhereItWaits_data();
    void documentFoundWhereItWaits();
    void documentNamesKeptWhole_data();
    void documentNamesKeptWhole();
    void pathLikeDocumentNamesTouchNothing_data();
    void pathLikeDocumentNamesTouchNothing();
    void symlinkedDocumentIsRefused();
    void documentCopyFailureKeepsTheSource();
    void documentRecordFailureKeepsTheSource();

private:
    std::unique_ptr<TestHome> m_home;
    QStringList m_shown;
    void importLines(MemoryRecord &record, MemoryDocuments &documents, const QStringList &lines);
};

void ReportDataLineTest::init()
{
    Globals::reset();
    m_home = std::make_unique<TestHome>();
    Globals::ImportFolder = m_home->file("ForImportation/");
    Globals::BaseFolder = m_home->file("Base/");
    QDir().mkpath(Globals::ImportFolder + "Attachments");
    QDir().mkpath(Globals::BaseFolder + "Docs");
    Clock::setSource([] { return QDateTime(QDate(2026, 3, 14), QTime(10, 0)); });
    DecimalSeparator::setOverride(u',');
    Globals::ForeignDecimalSeparator = QStringLiteral(".");
    m_shown.clear();
}

void ReportDataLineTest::cleanup()
{
    Clock::setSource({});
    DecimalSeparator::setOverride(QChar());
    m_home.reset();
    Globals::reset();
}

void ReportDataLineTest::importLines(MemoryRecord &record, MemoryDocuments &documents, const QStringList &lines)
{
    ReportLineImporter importer(record, documents);
    importer.setFileShower([this](const QString &file) { m_shown << file; });
    for (const QString &line : lines)
        importer.ImportReportLine(line);
}

void ReportDataLineTest::split_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QStringList>("fields"); // label, key, type, value
    QTest::newRow("usual") << "KORVA|Poids|OBS_POIDS|NM|72|" << QStringList{"Poids", "OBS_POIDS", "NM", "72"};
    QTest::newRow("further fields") << "KORVA|l|k|t|v|x|y|" << QStringList{"l", "k", "t", "v"};
    QTest::newRow("value not closed") << "KORVA|l|k|t|v" << QStringList{"l", "k", "t", ""};
    QTest::newRow("value trimmed, key not") << "KORVA|l| k |t|\t v \r|" << QStringList{"l", " k ", "t", "v"};
    QTest::newRow("key not closed") << "KORVA|l|k" << QStringList{"l", "", "", ""};
    QTest::newRow("no bar") << "KORVA" << QStringList{"", "", "", ""};
    QTest::newRow("empty") << "" << QStringList{"", "", "", ""};
    QTest::newRow("accents kept") << QString::fromUtf8("KORVA|Débit|OBS_DEBIT||é|")
                                  << QStringList{QString::fromUtf8("Débit"), "OBS_DEBIT", "", QString::fromUtf8("é")};
}

void ReportDataLineTest::split()
{
    QFETCH(QString, line);
    QFETCH(QStringList, fields);
    const DataLineFields f = SplitDataLine(line);
    QCOMPARE((QStringList{f.label, f.key, f.type, f.value}), fields);
}

// Every key of a report, with the field it fills and a value of its kind.
void ReportDataLineTest::keyTable_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QVariant>("expected");
    const QVariant yes(true);
    const auto text = [](const char *key, const char *field) {
        QTest::newRow(key) << key << field << "Martin" << QVariant(QStringLiteral("Martin"));
    };
    const auto number = [](const char *key, const char *field) {
        QTest::newRow(key) << key << field << "12.25" << QVariant(12.25);
    };
    const auto yesNo = [&](const char *key, const char *field) {
        QTest::newRow(key) << key << field << "True" << yes;
    };
    const auto link = [](const char *key, const char *field) {
        QTest::newRow(key) << key << field << "https://x.fr/a?b=1" << QVariant(QStringLiteral("https://x.fr/a?b=1"));
    };
    text("OBS_TECHNICIEN", "TECHNICIEN");
    text("OBS_TYPE_VISITE", "TYPE_DE_VISITE");
    text("OBS_APPAREIL", "APPAREIL");
    text("OBS_MASQUE", "MASQUE");
    text("OBS_HU", "HU");
    QTest::newRow("OBS_DATE_VISITE") << "OBS_DATE_VISITE" << "DATE_DE_VISITE" << "05/03/2017"
                                     << QVariant(QDateTime(QDate(2017, 3, 5), QTime(0, 0)));
    QTest::newRow("OBS_POIDS") << "OBS_POIDS" << "POIDS" << "72" << QVariant(72);
    number("OBS_PEP_MINI", "PEP_MINI");
    number("OBS_PEP_MAXI", "PEP_MAXI");
    number("OBS_PIP_MAXI", "PIP_MAXI");
    number("OBS_FR_MINI", "FR_MINI");
    number("OBS_OBS_PAR_NUIT", "OBSERVANCES_NUIT");
    number("OBS_NB_JOUR_OBS", "NOMBRE_DE_JOURS_OBS");
    number("OBS_DEBIT", "DEBIT");
    number("OBS_NB_NUITS_VENTIL", "NB_NUITS_AVEC_VENTIL");
    number("OBS_IAH_RES", "IAH_RESIDUEL");
    number("OBS_TEMPS_24_H", "TEMPS_24H");
    number("OBS_P_MOY", "P_MOYENNE");
    number("OBS_P95", "P95");
    number("OBS_POULS", "POULS");
    number("OBS_SAO2", "SATURATION");
    number("OBS_EPWORTH", "E_EPWORTH");
    yesNo("OBS_RAMPE", "RAMPE");
    yesNo("OBS_ALARME", "ALARME");
    yesNo("OBS_SECHERESSE_BUCCALE", "SECHERESSE_BUCCALE");
    yesNo("OBS_BRUIT_APPAREIL", "BRUIT_APPAREIL");
    yesNo("OBS_NEZ_BOUCHE", "NEZ_BOUCHE");
    yesNo("OBS_MONTEE_PRESSION_EVEILLANTE", "MONTE_EN_PRESSION_EVEILLA");
    yesNo("OBS_RHINORHEE_CLAIRE", "RHINORRHEE_CLAIRE");
    yesNo("OBS_BRUIT_MASQUE", "BRUIT_MASQUE");
    yesNo("OBS_OUVERTURE_BOUCHE", "OUVERTURE_DE_LA_BOUCHE");
    yesNo("OBS_DOULEURS_MASQUE", "DOULEURS_MASQUE");
    yesNo("OBS_RHINORHEE_PURULENTE", "RHINORRHEE_PURULENTE");
    yesNo("OBS_FUITES", "FUITES");
    yesNo("OBS_AEROPHAGIE", "AEROPHAGIE");
    yesNo("OBS_REVEILS_NOCTURNES", "REVEILS_NOCTURNE");
    yesNo("OBS_ALERTE", "ALERTE");
    link("OBS_URL", "URL");
    link("OBS_URL_VA", "URL_VA");
    link("OBS_URL_ORKYN", "URL_ORKYN");
    // Upper-cased comparison for the measurements, exact for the links.
    QTest::newRow("lower-case measurement key") << "obs_pep_mini" << "PEP_MINI" << "8.5" << QVariant(8.5);
    QTest::newRow("mixed-case yes/no key") << "Obs_Rampe" << "RAMPE" << "True" << yes;
    QTest::newRow("lower-case link key") << "obs_url" << "" << "https://x.fr" << QVariant();
    QTest::newRow("link key with a suffix") << "OBS_URL_X" << "" << "https://x.fr" << QVariant();
    QTest::newRow("field name as key") << "RAMPE" << "" << "True" << QVariant();
    QTest::newRow("spelled like the field") << "OBS_RHINORRHEE_CLAIRE" << "" << "True" << QVariant();
    QTest::newRow("key with a blank") << " OBS_HU" << "" << "x" << QVariant();
    QTest::newRow("accented key not folded") << QString::fromUtf8("OBS_DÉBIT") << "" << "1" << QVariant();
    QTest::newRow("sender changes nothing") << "SENDER" << "" << "a@b.fr" << QVariant();
}

void ReportDataLineTest::keyTable()
{
    QFETCH(QString, key);
    QFETCH(QString, field);
    QFETCH(QString, value);
    QFETCH(QVariant, expected);
    MemoryRecord record;
    MemoryDocuments documents;
    importLines(record, documents, {QStringLiteral("KORVA|Libellé|%1||%2|").arg(key, value)});
    if (field.isEmpty()) {
        QVERIFY2(record.values.isEmpty(), qPrintable(record.values.keys().join(',')));
        QCOMPARE(Globals::ReportRecipient, QString());
        return;
    }
    QCOMPARE(record.values.keys(), QStringList{field});
    QCOMPARE(record.values.value(field), expected);
    QCOMPARE(record.values.value(field).typeId(), expected.typeId());
}

void ReportDataLineTest::conversions_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");
    QTest::addColumn<bool>("set");
    QTest::addColumn<QVariant>("expected");
    QTest::addColumn<bool>("logged");
    // Whole numbers: halves go to the even neighbour.
    QTest::newRow("weight 72,5") << "OBS_POIDS" << "72,5" << true << QVariant(72) << false;
    QTest::newRow("weight 73.5") << "OBS_POIDS" << "73.5" << true << QVariant(74) << false;
    QTest::newRow("weight 72") << "OBS_POIDS" << "72" << true << QVariant(72) << false;
    QTest::newRow("weight -0,5") << "OBS_POIDS" << "-0,5" << true << QVariant(0) << false;
    QTest::newRow("weight exponent") << "OBS_POIDS" << "7E1" << false << QVariant() << true;
    QTest::newRow("weight beyond integers") << "OBS_POIDS" << "99999999999" << false << QVariant() << true;
    QTest::newRow("weight beyond integers, decimal") << "OBS_POIDS" << "3e12,5" << false << QVariant() << true;
    QTest::newRow("weight letters") << "OBS_POIDS" << "soixante" << false << QVariant() << true;
    QTest::newRow("weight blank") << "OBS_POIDS" << "  " << false << QVariant() << false;
    // Numbers.
    QTest::newRow("number foreign separator") << "OBS_DEBIT" << "8.5" << true << QVariant(8.5) << false;
    QTest::newRow("number exponent") << "OBS_DEBIT" << "1,5E2" << true << QVariant(150.0) << false;
    QTest::newRow("number nan") << "OBS_DEBIT" << "nan" << false << QVariant() << true;
    QTest::newRow("number inf") << "OBS_DEBIT" << "inf" << false << QVariant() << true;
    QTest::newRow("number hexadecimal") << "OBS_DEBIT" << "0x10" << false << QVariant() << true;
    QTest::newRow("number grouped") << "OBS_DEBIT" << "1 000" << false << QVariant() << true;
    QTest::newRow("number two separators") << "OBS_DEBIT" << "1,5.3" << false << QVariant() << true;
    // Yes/no: only "True" is true.
    QTest::newRow("True") << "OBS_RAMPE" << "True" << true << QVariant(true) << false;
    QTest::newRow("true") << "OBS_RAMPE" << "true" << true << QVariant(false) << false;
    QTest::newRow("TRUE") << "OBS_RAMPE" << "TRUE" << true << QVariant(false) << false;
    QTest::newRow("Vrai") << "OBS_RAMPE" << "Vrai" << true << QVariant(false) << false;
    QTest::newRow("1") << "OBS_RAMPE" << "1" << true << QVariant(false) << false;
    QTest::newRow("yes/no blank") << "OBS_RAMPE" << "" << false << QVariant() << false;
    // Dates.
    QTest::newRow("date and time") << "OBS_DATE_VISITE" << "5/3/2017 14:30" << true
                                   << QVariant(QDateTime(QDate(2017, 3, 5), QTime(14, 30))) << false;
    QTest::newRow("date two-digit year") << "OBS_DATE_VISITE" << "05/03/17" << true
                                         << QVariant(QDateTime(QDate(2017, 3, 5), QTime(0, 0))) << false;
    QTest::newRow("no such day") << "OBS_DATE_VISITE" << "31/02/2017" << false << QVariant() << true;
    QTest::newRow("dashes") << "OBS_DATE_VISITE" << "05-03-2017" << false << QVariant() << true;
    QTest::newRow("date blank") << "OBS_DATE_VISITE" << "" << false << QVariant() << false;
    QTest::newRow("date seconds, spaces") << "OBS_DATE_VISITE" << "5/3/2017   7:05:09" << true
                                          << QVariant(QDateTime(QDate(2017, 3, 5), QTime(7, 5, 9))) << false;
    QTest::newRow("date one-digit year") << "OBS_DATE_VISITE" << "5/3/9" << true
                                         << QVariant(QDateTime(QDate(2009, 3, 5), QTime(0, 0))) << false;
    QTest::newRow("date three-digit year") << "OBS_DATE_VISITE" << "5/3/017" << false << QVariant() << true;
    QTest::newRow("date five-digit year") << "OBS_DATE_VISITE" << "5/3/20170" << false << QVariant() << true;
    QTest::newRow("date three-digit day") << "OBS_DATE_VISITE" << "005/3/2017" << false << QVariant() << true;
    QTest::newRow("date tab before time") << "OBS_DATE_VISITE" << "5/3/2017\t14:30" << false << QVariant() << true;
    QTest::newRow("date colon without seconds") << "OBS_DATE_VISITE" << "5/3/2017 14:30:" << false << QVariant()
                                                << true;
    QTest::newRow("date minutes too long") << "OBS_DATE_VISITE" << "5/3/2017 14:305" << false << QVariant() << true;
    QTest::newRow("date hour only") << "OBS_DATE_VISITE" << "5/3/2017 14" << false << QVariant() << true;
    QTest::newRow("date no such hour") << "OBS_DATE_VISITE" << "5/3/2017 24:00" << false << QVariant() << true;
    // Texts and links.
    QTest::newRow("text trimmed") << "OBS_TECHNICIEN" << "  Jean Martin \t" << true << QVariant("Jean Martin") << false;
    QTest::newRow("text blank") << "OBS_TECHNICIEN" << "   " << false << QVariant() << false;
    QTest::newRow("link blank empties") << "OBS_URL" << "" << true << QVariant(QString()) << false;
}

void ReportDataLineTest::conversions()
{
    QFETCH(QString, key);
    QFETCH(QString, value);
    QFETCH(bool, set);
    QFETCH(QVariant, expected);
    QFETCH(bool, logged);
    MemoryRecord record;
    MemoryDocuments documents;
    importLines(record, documents, {QStringLiteral("KORVA|l|%1||%2|").arg(key, value)});
    QCOMPARE(record.writes, set ? 1 : 0);
    if (set)
        QCOMPARE(record.values.first(), expected);
    QCOMPARE(logText().contains(QStringLiteral("[%1]").arg(key)), logged);
}

void ReportDataLineTest::laterLineWinsButBlankKeeps()
{
    MemoryRecord record;
    MemoryDocuments documents;
    importLines(record, documents,
                {"KORVA|l|OBS_POIDS||70|", "KORVA|l|OBS_POIDS||71|", "KORVA|l|OBS_POIDS|| |",
                 "KORVA|l|OBS_POIDS||72", // unclosed value: empty
                 "KORVA|l|OBS_POIDS||abc|", // unreadable: unchanged
                 "KORVA|l|OBS_URL||https://a.fr|", "KORVA|l|OBS_URL|||"});
    QCOMPARE(record.values.value("POIDS"), QVariant(71));
    QCOMPARE(record.values.value("URL"), QVariant(QString()));
}

void ReportDataLineTest::refusedWriteIsLoggedAndImportGoesOn()
{
    MemoryRecord record;
    record.refusedField = QStringLiteral("HU");
    MemoryDocuments documents;
    importLines(record, documents, {"KORVA|l|OBS_HU||humide|", "KORVA|l|OBS_MASQUE||facial|"});
    QCOMPARE(record.values.value("MASQUE"), QVariant("facial"));
    QVERIFY(!record.values.contains("HU"));
    QVERIFY(logText().contains("[humide]"));
    QVERIFY(logText().contains(QString::fromUtf8("champ refusé")));
}

void ReportDataLineTest::recipient_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("expected");
    QTest::newRow("address") << "KORVA|Destinataire|RECIPIENT|| dr@cabinet.fr |" << "dr@cabinet.fr";
    QTest::newRow("blank empties") << "KORVA|Destinataire|RECIPIENT|||" << "";
    QTest::newRow("lower-case key ignored") << "KORVA|Destinataire|recipient||x@y.fr|" << "avant";
    QTest::newRow("unclosed value empties") << "KORVA|Destinataire|RECIPIENT||x@y.fr" << "";
}

void ReportDataLineTest::recipient()
{
    QFETCH(QString, line);
    QFETCH(QString, expected);
    Globals::ReportRecipient = QStringLiteral("avant");
    MemoryRecord record;
    MemoryDocuments documents;
    importLines(record, documents, {line});
    QCOMPARE(Globals::ReportRecipient, expected);
    QVERIFY(record.values.isEmpty());
}

void ReportDataLineTest::documentIsRegisteredAndMoved()
{
    const QString source = Globals::ImportFolder + "Attachments/rapport.pdf";
    const QByteArray content("%PDF-1.4 contenu\r\n\x00\xff", 21);
    m_home->write("ForImportation/Attachments/rapport.pdf", content);
    m_home->write("Base/Docs/57_rapport.pdf", "ancien");
    MemoryRecord record;
    record.values.insert("PATIENTS_ID", 12);
    const QDateTime consultation(QDate(2026, 3, 14), QTime(10, 1));
    record.values.insert("DATE_CONSULTATION", consultation);
    MemoryDocuments documents;
    importLines(record, documents, {"KORVA|Document|PJ||  rapport.pdf |"});

    QCOMPARE(documents.rows.size(), 1);
    QCOMPARE(documents.rows[0].patientId, 12);
    QCOMPARE(documents.rows[0].date, consultation);
    QCOMPARE(documents.rows[0].descriptor, QStringLiteral("rapport.pdf"));
    QCOMPARE(documents.rows[0].auxFileName, QStringLiteral("57_rapport.pdf"));
    QCOMPARE(readFile(Globals::BaseFolder + "Docs/57_rapport.pdf"), content);
    QVERIFY(!QFile::exists(source));
    QVERIFY(m_shown.isEmpty());
}

void ReportDataLineTest::documentIgnoredWhenAbsentOrLowerCaseKey()
{
    m_home->write("ForImportation/Attachments/rapport.pdf", "x");
    MemoryRecord record;
    MemoryDocuments documents;
    importLines(record, documents, {"KORVA|Document|PJ||absent.pdf|", "KORVA|Document|pj||rapport.pdf|",
                                    "KORVA|Document|PJ|||", "KORVA|Document|PJ||rapport.pdf"});
    QVERIFY(documents.rows.isEmpty());
    QVERIFY(QFile::exists(Globals::ImportFolder + "Attachments/rapport.pdf"));
    QVERIFY(QDir(Globals::BaseFolder + "Docs").isEmpty());
}

void ReportDataLineTest::documentFoundWhereItWaits_data()
{
    QTest::addColumn<QStringList>("files"); // below the import folder's "Attachments/", name=content, "*" taken already
    QTest::addColumn<QString>("pj");
    QTest::addColumn<QByteArray>("registered"); // null: none
    QTest::newRow("its own folder first") << QStringList{"own/cr.pdf=own", "cr.pdf=shared"} << "cr.pdf" << QByteArray("own");
    QTest::newRow("then Attachments") << QStringList{"own/autre.pdf=x", "ordo.pdf=shared"} << "ordo.pdf" << QByteArray("shared");
    QTest::newRow("whatever its case") << QStringList{"own/cr.pdf=own"} << "CR.PDF" << QByteArray("own");
    QTest::newRow("an exact match first") << QStringList{"own/CR.pdf=upper", "own/cr.pdf=exact"} << "cr.pdf" << QByteArray("exact");
    QTest::newRow("taken by an earlier block: none") << QStringList{"own/cr.pdf*=own", "cr.pdf=shared"} << "cr.pdf" << QByteArray();
    QTest::newRow("an older one of its name set aside") << QStringList{"cr.pdf=B", "remplaces.rejete/CR.PDF=A"} << "cr.pdf" << QByteArray();
    QTest::newRow("two waiting, whatever their case") << QStringList{"cr.pdf=A", "CR.PDF=B"} << "Cr.pdf" << QByteArray();
    QTest::newRow("set aside with the same bytes") << QStringList{"cr.pdf=A", "non_nommes2/cr.pdf=A", "autre/cr.pdf=B"} << "cr.pdf" << QByteArray("A");
    QTest::newRow("its own one, whatever waits") << QStringList{"own/cr.pdf=own", "cr.pdf=B", "remplaces/cr.pdf=A"} << "cr.pdf" << QByteArray("own");
}

void ReportDataLineTest::documentFoundWhereItWaits()
{
    QFETCH(QStringList, files);
    QFETCH(QString, pj);
    QFETCH(QByteArray, registered);
    const QString root = Globals::ImportFolder + "Attachments/";
    QSet<QString> claimed;
    for (const QString &file : files) {
        QString name = file.section(u'=', 0, 0);
        if (name.endsWith(u'*'))
            claimed.insert(root + name.chopped(1));
        m_home->write("ForImportation/Attachments/" + name.remove(u'*'), file.section(u'=', 1).toUtf8());
    }
    MemoryRecord record;
    MemoryDocuments documents;
    ReportLineImporter importer(record, documents);
    importer.setAttachmentFolders({root + "own/", root});
    importer.setClaimedSources(&claimed);
    importer.ImportReportLine("KORVA|Document|PJ||" + pj + "|");
    QCOMPARE(documents.rows.size(), registered.isNull() ? 0 : 1);
    QVERIFY(registered.isNull() || readFile(Globals::BaseFolder + "Docs/" + documents.rows[0].auxFileName) == registered);
}

void ReportDataLineTest::documentNamesKeptWhole_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("stored"); // the name in the documents folder
    QTest::newRow("two dots") << "Compte rendu..pdf" << "57_Compte rendu..pdf";
    QTest::newRow("hidden file") << ".notes.pdf" << "57_.notes.pdf";
    // Names the file system holds, too long once numbered.
    QTest::newRow("too long") << QString(251, u'a') + ".pdf" << "57_" + QString(248, u'a') + ".pdf";
    QTest::newRow("too long, accented") << QString(125, u'é') + ".pdf" << "57_" + QString(124, u'é') + ".pdf";
}

void ReportDataLineTest::documentNamesKeptWhole()
{
    QFETCH(QString, name);
    QFETCH(QString, stored);
    const QString folder = Globals::ImportFolder + "Attachments/";
    m_home->write("ForImportation/Attachments/" + name, "contenu");
    MemoryRecord record;
    MemoryDocuments documents;
    importLines(record, documents, {QStringLiteral("KORVA|Document|PJ||%1|").arg(name)});
    QVERIFY2(documents.rows.size() == 1, qPrintable(logText()));
    QCOMPARE(documents.rows[0].auxFileName, stored);
    QCOMPARE(readFile(Globals::BaseFolder + "Docs/" + stored), QByteArray("contenu"));
    QVERIFY(!QFile::exists(folder + name));
}

void ReportDataLineTest::pathLikeDocumentNamesTouchNothing_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("parent folder") << "../secret.txt";
    QTest::newRow("two levels up") << "../../Base/Patients.db";
    QTest::newRow("absolute") << "/etc/hostname";
    QTest::newRow("sub-folder") << "sub/doc.pdf";
    QTest::newRow("backslash") << "..\\secret.txt";
    QTest::newRow("dots only") << "..";
    QTest::newRow("one dot") << ".";
    QTest::newRow("control character") << "doc\x01.pdf";
}

void ReportDataLineTest::pathLikeDocumentNamesTouchNothing()
{
    QFETCH(QString, name);
    m_home->write("ForImportation/secret.txt", "secret");
    m_home->write("ForImportation/Attachments/sub/doc.pdf", "doc");
    m_home->write("ForImportation/Attachments/doc\x01.pdf", "ctl");
    m_home->write("Base/Patients.db", "table");
    MemoryRecord record;
    MemoryDocuments documents;
    importLines(record, documents, {QStringLiteral("KORVA|Document|PJ||%1|").arg(name)});
    QVERIFY(documents.rows.isEmpty());
    QVERIFY(QDir(Globals::BaseFolder + "Docs").isEmpty());
    QCOMPARE(readFile(Globals::ImportFolder + "secret.txt"), QByteArray("secret"));
    QCOMPARE(readFile(Globals::ImportFolder + "Attachments/sub/doc.pdf"), QByteArray("doc"));
    QCOMPARE(readFile(Globals::ImportFolder + "Attachments/doc\x01.pdf"), QByteArray("ctl"));
    QCOMPARE(readFile(Globals::BaseFolder + "Patients.db"), QByteArray("table"));
    QVERIFY(QFile::exists("/etc/hostname"));
    QVERIFY(m_shown.isEmpty());
    if (name != "." && name != "..")
        QVERIFY(logText().contains(QString::fromUtf8("Pièce jointe refusée")));
}

void ReportDataLineTest::symlinkedDocumentIsRefused()
{
    m_home->write("outside.txt", "dehors");
    QVERIFY(QFile::link(m_home->file("outside.txt"), Globals::ImportFolder + "Attachments/lien.pdf"));
    MemoryRecord record;
    MemoryDocuments documents;
    importLines(record, documents, {"KORVA|Document|PJ||lien.pdf|"});
    QVERIFY(documents.rows.isEmpty());
    QVERIFY(QDir(Globals::BaseFolder + "Docs").isEmpty());
    QCOMPARE(readFile(m_home->file("outside.txt")), QByteArray("dehors"));
    QVERIFY(QFileInfo(Globals::ImportFolder + "Attachments/lien.pdf").isSymLink());
}

void ReportDataLineTest::documentCopyFailureKeepsTheSource()
{
    // The documents folder cannot exist: a regular file holds its name.
    QDir(Globals::BaseFolder).rmdir("Docs");
    m_home->write("Base/Docs", "pas un dossier");
    m_home->write("ForImportation/Attachments/rapport.pdf", "contenu");
    MemoryRecord record;
    MemoryDocuments documents;
    importLines(record, documents, {"KORVA|Document|PJ||rapport.pdf|"});
    const QString source = Globals::ImportFolder + "Attachments/rapport.pdf";
    QCOMPARE(readFile(source), QByteArray("contenu"));
    QVERIFY(documents.rows.isEmpty()); // no record over a file its copy did not write
    QCOMPARE(m_shown, QStringList{source});
    QVERIFY(logText().contains(QStringLiteral("Impossible de copier le fichier [") + source + "] vers ["
                               + Globals::BaseFolder + "Docs/57_rapport.pdf].\r"
                               + QString::fromUtf8("Veuillez effectuer cette copie manuellement puis effacer le fichier d'origine.")));
}

void ReportDataLineTest::documentRecordFailureKeepsTheSource()
{
    m_home->write("ForImportation/Attachments/rapport.pdf", "contenu");
    MemoryRecord record;
    MemoryDocuments documents;
    documents.failInsert = true;
    importLines(record, documents, {"KORVA|Document|PJ||rapport.pdf|", "KORVA|l|OBS_HU||sec|"});
    const QString source = Globals::ImportFolder + "Attachments/rapport.pdf";
    QCOMPARE(readFile(source), QByteArray("contenu"));
    QVERIFY(QDir(Globals::BaseFolder + "Docs").isEmpty());
    QCOMPARE(m_shown, QStringList{source});
    QVERIFY(logText().contains(QString::fromUtf8(
        "Erreur survenue lors de l'enregistrement de la pièce jointe nommée [rapport.pdf] :table fermée")));
    QCOMPARE(record.values.value("HU"), QVariant("sec")); // the next lines still apply
}

void ReportDataLineTest::datesReadInTheKeptZone_data()
{
    QTest::addColumn<QByteArray>("zone");
    QTest::addColumn<QString>("text");
    QTest::newRow("skipped hour") << QByteArray("Europe/Paris") << QStringLiteral("29/03/2026 02:30");
    QTest::newRow("repeated hour") << QByteArray("Europe/Paris") << QStringLiteral("25/10/2026 02:30");
    QTest::newRow("winter") << QByteArray("Europe/Paris") << QStringLiteral("1/2/2026");
    QTest::newRow("skipped midnight") << QByteArray("America/Sao_Paulo") << QStringLiteral("04/11/2018");
}

// A date read through the zone kept for a run stores as the system's local
// time of the same text does (date and time), invalid in a skipped hour.
void ReportDataLineTest::datesReadInTheKeptZone()
{
    QFETCH(QByteArray, zone);
    QFETCH(QString, text);
    const QByteArray saved = qgetenv("TZ");
    qputenv("TZ", zone);
    const auto restore = qScopeGuard([&] { saved.isNull() ? qunsetenv("TZ") : qputenv("TZ", saved); });
    const std::optional<QDateTime> kept = ReadShortDateTime(text, Clock::systemZone());
    const std::optional<QDateTime> local = ReadShortDateTime(text);
    QVERIFY(kept && local);
    QCOMPARE(kept->timeSpec(), Qt::TimeZone);
    QCOMPARE(kept->isValid(), local->isValid());
    QCOMPARE(kept->date(), local->date());
    QCOMPARE(kept->time(), local->time());
}

QTEST_GUILESS_MAIN(ReportDataLineTest)
#include "tst_ReportDataLine.moc"
