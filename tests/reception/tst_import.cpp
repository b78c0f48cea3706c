// Import of report files into real encrypted local tables; the provider
// reports' remote results go to the private MariaDB (skipped without it).

#include "platform/Clock.h"
#include "platform/LocalConnection.h"
#include "platform/Dialogs.h"
#include "core/Globals.h"
#include "core/Main.h"
#include "views/Patients.h"
#include "platform/ProgramFolder.h"
#include "core/RemoteDatabase.h"
#include "reception/ReportFile.h"
#include "reception/ReportImport.h"
#include "ScriptedDialogs.h"
#include "ServiceDatabase.h"
#include "TestHome.h"
#include "platform/Windows1252.h"

#define SQLITE_HAS_CODEC 1
#include <sqlcipher/sqlite3.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QThread>
#include <QTimer>
#include <QUuid>
#include <QtTest>

namespace {

const QDateTime kNow = QDateTime(QDate(2024, 3, 5), QTime(8, 9, 10));

// The main window with the service database of the test (or none).
class ImportMain : public TfMain
{
public:
    bool ConnectInternetDatabase(bool reconnect) override { return online || (service && service->connect(reconnect)); }
    ServiceDatabase *service = nullptr;
    bool online = false; // the service database counts as reached
};

// One report block: header lines 0 to 17, free text, data section.
QString block(const QString &nom, const QString &prenom, const QString &neLe, const QString &freeText,
              const QStringList &dataLines = {})
{
    QStringList lines{QStringLiteral("H|report"), nom, prenom, {}, {}, {}, neLe, {}, {},
                      QStringLiteral("05/03/2017"), QStringLiteral("PRESTATAIRE  Souffle Dom")};
    while (lines.size() < 18)
        lines << QStringLiteral("x");
    lines << freeText << QStringLiteral("****LAB****") << dataLines << QStringLiteral("****FIN****");
    return lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n");
}

} // namespace

class ImportTest : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void completeReportImported();
    void incompleteReportKeptAndShown();
    void sameReportNotImportedTwice();
    void failedFileLeavesNoResultRow_data();
    void earlierRunsCountInTheChecks();
    void duplicateOnlyWithTheSameValues_data();
    void duplicateOnlyWithTheSameValues();
    void failedFileLeavesNoResultRow();
    void failedGroupCommitKeepsItsFiles();
    void groupEndedByEngineKeepsItsFiles_data();
    void groupEndedByEngineKeepsItsFiles();
    void rowsStoredByOthersDuringTheRunCount();
    void unreadableReportKeptAndImportGoesOn_data();
    void unreadableReportKeptAndImportGoesOn();
    void tracesShownInDebugMode();
    void declinedPatient();
    void closingDuringIdentificationKeepsReports();
    void failedRecordWriteKeepsFile();
    void providerReportRecordedRemotely();
    void sameNamedDocumentsStayWithTheirReport();
    void contestedDocumentGivenToNoPatient();
    void documentsOnlyWithAStoredObservance_data();
    void documentsOnlyWithAStoredObservance();
    void sharedDocumentGoneOnceAnEarlierReportCommitted();
    void blockValuesNotCarriedOver();
    void badlyNamedReportSetAsideAndImportGoesOn();
    void unrecordedResultKeepsTheFileUntilRecorded();
    void serviceOutOfReachKeepsProviderReport();
    void killedDuringImport_data();
    void killedDuringImport();

private:
    void writeReport(const QString &name, const QString &content);
    QStringList writeReportsWithDocuments(const QStringList &names); // each its document: their paths
    ReportImport import(std::function<int(const QString &)> identify = {},
                        std::function<RemoteRecording::Outcome(const QString &, const QString &, const QString &)>
                            saveResult = {});
    int observanceCount();
    // The service database of the test, used by the window, with a provider
    // and the prest2facture row of a report sent on 2024-03-04 at 10:11:12 to
    // the mail account (recorded in TMail).
    struct Provider {
        ServiceDatabase service{RemoteDatabase::connectionName()};
        QString account;
        QStringList data; // the report's SENDER and RECIPIENT lines
    };
    std::unique_ptr<Provider> setUpProvider();
    static QString importResult(const Provider &fixture);

    std::unique_ptr<TestHome> m_home;
    std::unique_ptr<ScriptedDialogs> m_dialogs;
    std::unique_ptr<ImportMain> m_main;
    int m_patientId = -1;
    QList<QStringList> m_shownRows; // NomFic, Imported, Comment, NomPat
    QList<QStringList> m_shownDates; // NePat, Date, Sender
    QStringList m_shownFiles;
    std::function<void()> m_shownBefore; // called as the results are shown
};

void ImportTest::init()
{
    m_home = std::make_unique<TestHome>();
    m_dialogs = std::make_unique<ScriptedDialogs>();
    Globals::BaseFolder = m_home->path() + QStringLiteral("Base/");
    Globals::ImportFolder = m_home->path() + QStringLiteral("ForImportation/");
    Globals::ImportsFolder = Globals::BaseFolder + QStringLiteral("Imports/");
    QVERIFY(QDir().mkpath(Globals::BaseFolder));
    QVERIFY(QDir().mkpath(Globals::ImportFolder));
    Clock::setSource([] { return kNow; });
    m_main = std::make_unique<ImportMain>();
    Globals::fMain = m_main.get();
    m_main->database().createAndOpen(Globals::BaseFolder, ProgramFolder::configurationFile());
    LocalTable &patients = m_main->database().tPatients;
    patients.append();
    patients.field(QStringLiteral("NOM")).setAsString(QStringLiteral("DUPONT"));
    patients.field(QStringLiteral("PRENOM")).setAsString(QStringLiteral("José"));
    patients.field(QStringLiteral("NE_LE")).setAsString(QStringLiteral("12/05/1945"));
    patients.post();
    m_patientId = patients.field(QStringLiteral("PATIENTS_ID")).asInteger();
    m_shownRows.clear();
    m_shownDates.clear();
    m_shownFiles.clear();
    m_shownBefore = {};
}

void ImportTest::cleanup()
{
    m_main->service = nullptr;
    m_main->database().close();
    m_main.reset();
    Clock::setSource({});
    Dialogs::resetClosing();
    Globals::reset();
    m_dialogs.reset();
    m_home.reset();
}

void ImportTest::writeReport(const QString &name, const QString &content)
{
    QFile f(Globals::ImportFolder + name);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(Windows1252::encode(content));
}

QStringList ImportTest::writeReportsWithDocuments(const QStringList &names)
{
    QStringList documents;
    for (const QString &name : names) {
        const QString base = QFileInfo(name).completeBaseName();
        m_home->write(QStringLiteral("ForImportation/Attachments/%1/%1.pdf").arg(base), name.toUtf8());
        documents << Globals::ImportFolder + QStringLiteral("Attachments/%1/%1.pdf").arg(base);
        writeReport(name, block("DUPONT", "José", "12/05/1945", name, {QStringLiteral("KORVA|D|PJ||%1.pdf|").arg(base)})
                    + QStringLiteral("****FINFICHIER****\r\n"));
    }
    return documents;
}

ReportImport ImportTest::import(std::function<int(const QString &)> identify,
                                std::function<RemoteRecording::Outcome(const QString &, const QString &, const QString &)>
                                    saveResult)
{
    ReportImport::Needs env;
    env.identify = std::move(identify);
    env.saveResult = std::move(saveResult);
    env.showFile = [this](const QString &path) { m_shownFiles << path; };
    env.showResults = [this] {
        if (m_shownBefore)
            m_shownBefore();
        LocalTable &rows = m_main->database().tResultat;
        for (rows.first(); !rows.eof(); rows.next())
            m_shownRows << QStringList{rows.field(QStringLiteral("NomFic")).asString(),
                                       rows.field(QStringLiteral("Imported")).asString(),
                                       rows.field(QStringLiteral("Comment")).asString(),
                                       rows.field(QStringLiteral("NomPat")).asString()};
        for (rows.first(); !rows.eof(); rows.next())
            m_shownDates << QStringList{rows.field(QStringLiteral("NePat")).asString(),
                                        rows.field(QStringLiteral("Date")).asString(),
                                        rows.field(QStringLiteral("Sender")).asString()};
    };
    if (m_main->service)
        env.remoteConnectionName = m_main->service->name();
    return ReportImport(*m_main, std::move(env));
}

int ImportTest::observanceCount()
{
    LocalTable &table = m_main->database().tObservances;
    table.close();
    table.open();
    return table.recordCount();
}

void ImportTest::completeReportImported()
{
    writeReport(QStringLiteral("rapport.txt"),
                block(QStringLiteral("DUPONT"), QStringLiteral("José"), QStringLiteral("12/05/1945"),
                      QStringLiteral("Texte libre été\u00A0à 100"), {QStringLiteral("KORVA|Poids|OBS_POIDS||72|")})
                    + QStringLiteral("****FINFICHIER****\r\n"));
    import().ImportObservances();

    LocalTable &obs = m_main->database().tObservances;
    QCOMPARE(observanceCount(), 1);
    obs.first();
    QCOMPARE(obs.field(QStringLiteral("PATIENTS_ID")).asInteger(), m_patientId);
    QCOMPARE(obs.field(QStringLiteral("DATE_CONSULTATION")).asDateTime(), QDateTime(kNow.date(), QTime(8, 9)));
    QCOMPARE(obs.field(QStringLiteral("MOTIF_DE_CONSULTATION")).asString(), QStringLiteral("Souffle Dom du 05/03/2017"));
    // The no-break space stays as received.
    QCOMPARE(obs.field(QStringLiteral("COMMENTAIRES")).asString(), QStringLiteral("Texte libre été\u00A0à 100"));
    QCOMPARE(m_shownRows, (QList<QStringList>{{QStringLiteral("rapport.txt"), QStringLiteral("Vrai"),
                                               QStringLiteral("document importé dans un champ mémo"),
                                               QStringLiteral("DUPONT")}}));
    QVERIFY(!QFile::exists(Globals::ImportFolder + QStringLiteral("rapport.txt")));
    // The results table is emptied once shown.
    m_main->database().tResultat.open();
    QVERIFY(m_main->database().tResultat.isEmpty());
}

void ImportTest::incompleteReportKeptAndShown()
{
    const QString name = QStringLiteral("incomplet.txt");
    writeReport(name, block(QStringLiteral("DUPONT"), QStringLiteral("José"), QStringLiteral("12/05/1945"),
                            QStringLiteral("sans fin de fichier")));
    import().ImportObservances();

    QCOMPARE(m_shownFiles, QStringList{Globals::ImportFolder + name});
    QCOMPARE(m_dialogs->lastText(), QStringLiteral("Le Fichier nommé \"") + Globals::ImportFolder + name
                                        + QStringLiteral("\" n'est pas conforme au standard HPrim. Il ne sera pas importé."));
    // Set aside, not lost, and not taken again by the next run.
    QVERIFY(!QFile::exists(Globals::ImportFolder + name));
    QVERIFY(QFile::exists(Globals::ImportFolder + name + QStringLiteral(".rejete")));
    QCOMPARE(observanceCount(), 0);
    QVERIFY(m_shownRows.isEmpty());
}

void ImportTest::sameReportNotImportedTwice()
{
    const QString first = block(QStringLiteral("DUPONT"), QStringLiteral("José"), QStringLiteral("12/05/1945"),
                                QStringLiteral("premier"));
    const QString second = block(QStringLiteral("DUPONT"), QStringLiteral("José"), QStringLiteral("12/05/1945"),
                                 QStringLiteral("second"));
    // Two reports in one file, then the first one again in a later file.
    writeReport(QStringLiteral("a.txt"), first + second + QStringLiteral("****FINFICHIER****\r\n"));
    writeReport(QStringLiteral("b.txt"), first + QStringLiteral("****FINFICHIER****\r\n"));
    import().ImportObservances();

    QCOMPARE(observanceCount(), 2);
    LocalTable &obs = m_main->database().tObservances;
    QStringList stored;
    for (obs.first(); !obs.eof(); obs.next())
        stored << obs.field(QStringLiteral("COMMENTAIRES")).asString() + u'@'
                      + obs.field(QStringLiteral("DATE_CONSULTATION")).asDateTime().toString(QStringLiteral("HH:mm"));
    stored.sort();
    QCOMPARE(stored, (QStringList{QStringLiteral("premier@08:09"), QStringLiteral("second@08:10")}));
    QCOMPARE(m_shownRows.size(), 3);
    QCOMPARE(m_shownRows.at(2).at(2), QStringLiteral("document déjà importé"));
    QVERIFY(!QFile::exists(Globals::ImportFolder + QStringLiteral("b.txt")));
}

// The checks of a run see what earlier runs stored: the same report is not
// stored again, and another one of the same minute takes the next minute.
void ImportTest::earlierRunsCountInTheChecks()
{
    const QString first = block(QStringLiteral("DUPONT"), QStringLiteral("José"), QStringLiteral("12/05/1945"),
                                QStringLiteral("premier"));
    writeReport(QStringLiteral("a.txt"), first + QStringLiteral("****FINFICHIER****\r\n"));
    import().ImportObservances();
    writeReport(QStringLiteral("b.txt"),
                first
                    + block(QStringLiteral("DUPONT"), QStringLiteral("José"), QStringLiteral("12/05/1945"),
                            QStringLiteral("second"))
                    + QStringLiteral("****FINFICHIER****\r\n"));
    import().ImportObservances();

    LocalTable &obs = m_main->database().tObservances;
    QCOMPARE(observanceCount(), 2);
    QStringList stored;
    for (obs.first(); !obs.eof(); obs.next())
        stored << obs.field(QStringLiteral("COMMENTAIRES")).asString() + u'@'
                      + obs.field(QStringLiteral("DATE_CONSULTATION")).asDateTime().toString(QStringLiteral("HH:mm"));
    QCOMPARE(stored, (QStringList{QStringLiteral("premier@08:09"), QStringLiteral("second@08:10")}));
    QCOMPARE(m_shownRows.at(1).at(2), QStringLiteral("document déjà importé"));
}

void ImportTest::duplicateOnlyWithTheSameValues_data()
{
    QTest::addColumn<QStringList>("first");
    QTest::addColumn<QStringList>("second");
    QTest::addColumn<bool>("duplicate");
    const QString weight = QStringLiteral("KORVA|Poids|OBS_POIDS||%1|");
    QTest::newRow("weight, then none") << QStringList{weight.arg(72)} << QStringList{} << false;
    QTest::newRow("none, then weight") << QStringList{} << QStringList{weight.arg(72)} << false;
    QTest::newRow("weight changed") << QStringList{weight.arg(72)} << QStringList{weight.arg(73)} << false;
    // A link of digits is stored by the engine as a number.
    const QStringList link{QStringLiteral("KORVA|Lien|OBS_URL||12|"), weight.arg(72)};
    QTest::newRow("same values") << link << link << true;
}

// Two reports of one patient in one file, the second again in a later file:
// a report is "already imported" only when every value matches, whatever the
// report checked before it held.
void ImportTest::duplicateOnlyWithTheSameValues()
{
    QFETCH(QStringList, first);
    QFETCH(QStringList, second);
    QFETCH(bool, duplicate);
    const auto report = [](const QStringList &lines) {
        return block(QStringLiteral("DUPONT"), QStringLiteral("José"), QStringLiteral("12/05/1945"),
                     QStringLiteral("suivi"), lines);
    };
    writeReport(QStringLiteral("a.txt"), report(first) + report(second) + QStringLiteral("****FINFICHIER****\r\n"));
    writeReport(QStringLiteral("b.txt"), report(second) + QStringLiteral("****FINFICHIER****\r\n"));
    import().ImportObservances();

    QCOMPARE(observanceCount(), duplicate ? 1 : 2);
    QStringList comments;
    for (const QStringList &row : std::as_const(m_shownRows))
        comments << row.at(2);
    const QString stored = QStringLiteral("document importé dans un champ mémo");
    const QString again = QStringLiteral("document déjà importé");
    QCOMPARE(comments, (QStringList{stored, duplicate ? again : stored, again}));
}

void ImportTest::failedFileLeavesNoResultRow_data()
{
    QTest::addColumn<QString>("failing");
    QTest::newRow("first file") << QStringLiteral("a.txt");
    QTest::newRow("between two others") << QStringLiteral("b.txt");
}

// The second block of one file fails after its first block wrote its rows:
// that file alone is undone and stays; the files around it are stored and go.
void ImportTest::failedFileLeavesNoResultRow()
{
    QFETCH(QString, failing);
    const QStringList names{QStringLiteral("a.txt"), QStringLiteral("b.txt"), QStringLiteral("c.txt")};
    const auto part = [&](const QString &text) { // with its document
        m_home->write(QStringLiteral("ForImportation/Attachments/%1/%2.pdf").arg(text.left(1), text), "pdf");
        return block(QStringLiteral("DUPONT"), {}, {}, text, {QStringLiteral("KORVA|D|PJ||%1.pdf|").arg(text)});
    };
    for (const QString &name : names)
        writeReport(name, part(name + u'1') + part(name + u'2') + QStringLiteral("****FINFICHIER****\r\n"));
    int calls = 0;
    import([&](const QString &file) {
        if (file == failing && ++calls == 2)
            throw std::runtime_error("lecture impossible");
        return m_patientId;
    }).ImportObservances();

    QStringList expectedRows, expectedStored;
    for (const QString &name : names) {
        QCOMPARE(QFile::exists(Globals::ImportFolder + name), name == failing);
        if (name != failing) {
            expectedRows << name << name;
            expectedStored << name + u'1' << name + u'2';
        }
    }
    QStringList rows;
    for (const QStringList &row : std::as_const(m_shownRows))
        rows << row.at(0);
    QCOMPARE(rows, expectedRows);
    observanceCount();
    LocalTable &obs = m_main->database().tObservances;
    QStringList stored;
    for (obs.first(); !obs.eof(); obs.next())
        stored << obs.field(QStringLiteral("COMMENTAIRES")).asString();
    stored.sort();
    QCOMPARE(stored, expectedStored);
    QCOMPARE(QDir(Globals::BaseFolder + QStringLiteral("Docs")).entryList(QDir::Files).size(), expectedStored.size()); // no copy of the failed file
}

// The commit of the reports' rows fails: every report stays, nothing of them
// is stored, the user is told, and the next run imports them.
void ImportTest::failedGroupCommitKeepsItsFiles()
{
    const QStringList names{QStringLiteral("a.txt"), QStringLiteral("b.txt")};
    const QStringList documents = writeReportsWithDocuments(names);
    sqlite3 *db = LocalConnection::forFolder(Globals::BaseFolder)->handle();
    sqlite3_commit_hook(db, [](void *) { return 1; }, nullptr);
    import([&](const QString &) { return m_patientId; }).ImportObservances();
    sqlite3_commit_hook(db, nullptr, nullptr);

    const QString told = m_dialogs->texts().join(QStringLiteral(" | "));
    for (const QString &name : names) {
        QVERIFY(QFile::exists(Globals::ImportFolder + name));
        QVERIFY2(told.contains(QStringLiteral("Erreur lors de l'importation de [")) && told.contains(u'[' + name + u']'),
                 qPrintable(told));
    }
    QCOMPARE(observanceCount(), 0);
    QVERIFY(m_shownRows.isEmpty());
    const QDir docs(Globals::BaseFolder + QStringLiteral("Docs"));
    QCOMPARE(docs.entryList(QDir::Files), QStringList());
    for (const QString &document : documents)
        QVERIFY2(QFile::exists(document), qPrintable(document));

    import([&](const QString &) { return m_patientId; }).ImportObservances();
    QCOMPARE(observanceCount(), 2);
    QCOMPARE(docs.entryList(QDir::Files).size(), 2);
    for (const QString &name : names)
        QVERIFY(!QFile::exists(Globals::ImportFolder + name));
}

// The engine rolls the whole transaction back on some disk errors while a
// group runs: the reports before it in the group were stored in nothing.
// They stay with the one under way, the user is told, nothing written after
// it escapes into a transaction of its own, and the next run imports them.
void ImportTest::groupEndedByEngineKeepsItsFiles_data()
{
    QTest::addColumn<int>("answer"); // the identification's answer for c.txt (0: the patient)
    QTest::addColumn<bool>("sentBefore"); // c.txt stored by an earlier run, without its document
    QTest::newRow("identified") << 0 << false;
    QTest::newRow("declined, nothing to store") << -3 << false;
    QTest::newRow("sent again with the document it lacked") << 0 << true;
}

void ImportTest::groupEndedByEngineKeepsItsFiles()
{
    const QStringList names{QStringLiteral("a.txt"), QStringLiteral("b.txt"), QStringLiteral("c.txt"),
                            QStringLiteral("d.txt")};
    QFETCH(int, answer);
    QFETCH(bool, sentBefore);
    if (sentBefore) {
        QFile::remove(writeReportsWithDocuments({names.at(2)}).constFirst());
        import([&](const QString &) { return m_patientId; }).ImportObservances();
    }
    writeReportsWithDocuments(names);
    sqlite3 *db = LocalConnection::forFolder(Globals::BaseFolder)->handle();
    import([&](const QString &file) {
        if (file == QStringLiteral("c.txt"))
            sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        return file == QStringLiteral("c.txt") && answer ? answer : m_patientId;
    }).ImportObservances();

    const QString told = m_dialogs->texts().join(QStringLiteral(" | "));
    QVERIFY2(told.contains(QStringLiteral("de [a.txt], [b.txt] : ")) && told.contains(QStringLiteral("de [c.txt] : ")), qPrintable(told));
    for (const QString &name : names)
        QVERIFY2(QFile::exists(Globals::ImportFolder + name) == (name != QLatin1String("d.txt")), qPrintable(name));
    QCOMPARE(observanceCount(), 1 + sentBefore);

    import([&](const QString &) { return m_patientId; }).ImportObservances();
    QCOMPARE(observanceCount(), 4);
    QCOMPARE(m_shownRows.size(), 4 + sentBefore); // d.txt, then the three others: none twice
    LocalTable &images = m_main->database().tImages;
    images.close();
    images.open();
    QCOMPARE(images.recordCount(), 4); // each document registered once
    QCOMPARE(QDir(Globals::BaseFolder + QStringLiteral("Docs")).entryList(QDir::Files).size(), 4);
    for (const QString &name : names)
        QVERIFY(!QFile::exists(Globals::ImportFolder + name));
}

// The checks find the rows the import stored itself without asking the
// table: one stored otherwise while the run goes on must count all the same.
void ImportTest::rowsStoredByOthersDuringTheRunCount()
{
    for (const QString &text : {QStringLiteral("x"), QStringLiteral("y")})
        writeReport(text + QStringLiteral(".txt"),
                    block(QStringLiteral("DUPONT"), QStringLiteral("José"), QStringLiteral("12/05/1945"), text)
                        + QStringLiteral("****FINFICHIER****\r\n"));
    sqlite3 *db = LocalConnection::forFolder(Globals::BaseFolder)->handle();
    int rc = -1;
    import([&](const QString &file) {
        // The content y.txt brings, stored before it under another key.
        if (file == QStringLiteral("y.txt"))
            rc = sqlite3_exec(db,
                              "CREATE TEMP TABLE other_row AS SELECT * FROM Observances;"
                              "UPDATE other_row SET OBSERVANCES_ID = NULL, COMMENTAIRES = 'y';"
                              "INSERT INTO Observances SELECT * FROM other_row; DROP TABLE other_row",
                              nullptr, nullptr, nullptr);
        return m_patientId;
    }).ImportObservances();

    QCOMPARE(rc, SQLITE_OK);
    QCOMPARE(observanceCount(), 2);
    QCOMPARE(m_shownRows.at(1).at(2), QStringLiteral("document déjà importé"));
}

void ImportTest::unreadableReportKeptAndImportGoesOn_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("reason");
    const QByteArray good = Windows1252::encode(block(QStringLiteral("DUPONT"), QStringLiteral("José"),
                                                      QStringLiteral("12/05/1945"), QStringLiteral("x")));
    const QByteArray end = "****FINFICHIER****\r\n";
    const QByteArray longLine(ReportLineReader::kMaxLineLength + 1, 'x');
    QTest::newRow("line too long after the blocks")
        << good + longLine + "\r\n" + end << QStringLiteral("contient une ligne trop longue pour être un compte rendu.");
    QTest::newRow("line too long in the header")
        << "H|report\r\n" + longLine + "\r\n" + good + end
        << QStringLiteral("contient une ligne trop longue pour être un compte rendu.");
    QTest::newRow("too large") << good + end + QByteArray(ReportLineReader::kMaxFileSize, '\n')
                               << QStringLiteral("est trop volumineux pour être un compte rendu.");
}

// A report that cannot be read stays where it is with its reason; the next
// one is imported.
void ImportTest::unreadableReportKeptAndImportGoesOn()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, reason);
    {
        QFile f(Globals::ImportFolder + QStringLiteral("a.txt"));
        QVERIFY(f.open(QIODevice::WriteOnly));
        QCOMPARE(f.write(content), content.size());
    }
    writeReport(QStringLiteral("b.txt"), block(QStringLiteral("DUPONT"), QStringLiteral("José"),
                                               QStringLiteral("12/05/1945"), QStringLiteral("y"))
                                             + QStringLiteral("****FINFICHIER****\r\n"));
    import().ImportObservances();

    const QString path = Globals::ImportFolder + QStringLiteral("a.txt");
    QVERIFY(m_dialogs->texts().contains(QStringLiteral("Erreur lors de l'importation de [a.txt] : Le fichier [") + path
                                        + QStringLiteral("] ") + reason + QChar(13)
                                        + QStringLiteral("Le fichier est conservé dans ") + Globals::ImportFolder));
    QVERIFY(QFile::exists(path));
    QCOMPARE(observanceCount(), 1);
    QCOMPARE(m_shownRows.size(), 1);
    QCOMPARE(m_shownRows.at(0).at(0), QStringLiteral("b.txt"));
}

void ImportTest::tracesShownInDebugMode()
{
    Globals::DebugMode = true;
    writeReport(QStringLiteral("a.txt"), block(QStringLiteral("DUPONT"), QStringLiteral("José"),
                                               QStringLiteral("12/05/1945"), QStringLiteral("x"))
                                             + QStringLiteral("****FINFICHIER****\r\n"));
    import([this](const QString &) { return m_patientId; }).ImportObservances();

    const QStringList texts = m_dialogs->texts();
    QVERIFY(texts.contains(QStringLiteral("Gestion de ") + Globals::ImportFolder + QStringLiteral("a.txt")));
    QVERIFY(texts.contains(QStringLiteral("Données trouvées : \r  - nom : DUPONT\r  - prénom : José\r  - né le : "
                                          "12-05-1945\r  - fait le : 05-03-2017\r  - labo : Souffle Dom")));
    QCOMPARE(observanceCount(), 1);
}

void ImportTest::declinedPatient()
{
    writeReport(QStringLiteral("inconnu.txt"),
                block(QStringLiteral("DUPONT"), QStringLiteral("José"), QStringLiteral("12/05/1945"), QStringLiteral("x"))
                    + block(QStringLiteral("MARTIN"), QStringLiteral("Paul"), QStringLiteral("01/01/1950"), QStringLiteral("y"))
                    + QStringLiteral("****FINFICHIER****\r\n"));
    // The chooser of the second block: closed (Escape), then "Ne pas importer".
    QTimer answer;
    int asked = 0;
    connect(&answer, &QTimer::timeout, this, [&] {
        if (auto *window = qobject_cast<TfPatients *>(QApplication::activeModalWidget())) {
            ++asked;
            window->done(asked == 1 ? TfPatients::ResultCancelled : TfPatients::ResultDoNotImport);
        }
    });
    answer.start(10);
    import().ImportObservances();
    QCOMPARE(asked, 1);
    // The whole file waits, nothing of it stored or noted.
    QVERIFY(QFile::exists(Globals::ImportFolder + QStringLiteral("inconnu.txt")));
    QCOMPARE(observanceCount(), 0);
    QVERIFY(m_shownRows.isEmpty());
    import().ImportObservances();

    QCOMPARE(asked, 2);
    QCOMPARE(observanceCount(), 1);
    QCOMPARE(m_shownRows.last(), (QStringList{QStringLiteral("inconnu.txt"), QStringLiteral("Faux"),
                                               QStringLiteral("refus d'importation du document concernant un patient "
                                                              "inconnu !"),
                                               QStringLiteral("MARTIN")}));
    QVERIFY(!QFile::exists(Globals::ImportFolder + QStringLiteral("inconnu.txt")));
    QVERIFY(QFile::exists(Globals::ImportFolder + QStringLiteral("inconnu.txt.rejete")));
}

// The session ends while the patient chooser is open: the chooser did not
// answer, so nothing is stored or noted and every report waits for the next run.
void ImportTest::closingDuringIdentificationKeepsReports()
{
    const QString end = QStringLiteral("****FINFICHIER****\r\n");
    writeReport(QStringLiteral("a.txt"), block(QStringLiteral("MARTIN"), QStringLiteral("Paul"),
                                               QStringLiteral("01/01/1950"), QStringLiteral("x")) + end);
    writeReport(QStringLiteral("b.txt"), block(QStringLiteral("DUPONT"), QStringLiteral("José"),
                                               QStringLiteral("12/05/1945"), QStringLiteral("y")) + end);
    QTimer closer;
    connect(&closer, &QTimer::timeout, this, [&] {
        if (qobject_cast<TfPatients *>(QApplication::activeModalWidget())) {
            closer.stop();
            m_main->requestClose();
        }
    });
    closer.start(10);
    import().ImportObservances();

    QVERIFY(!closer.isActive());
    QCOMPARE(QDir(Globals::ImportFolder).entryList(QDir::Files, QDir::Name),
             (QStringList{QStringLiteral("a.txt"), QStringLiteral("b.txt")}));
    QCOMPARE(observanceCount(), 0);
    QVERIFY(m_shownRows.isEmpty());
    m_main->database().tResultat.open();
    QVERIFY(m_main->database().tResultat.isEmpty());
    m_main->tmrClose->stop();
}

void ImportTest::failedRecordWriteKeepsFile()
{
    LocalQuery &query = m_main->database().Query1;
    query.setSqlText(QStringLiteral("create temp trigger refuse before insert on Observances "
                                    "begin select raise(abort, 'disque plein'); end"));
    query.execSql();
    const QString report = block(QStringLiteral("DUPONT"), QStringLiteral("José"), QStringLiteral("12/05/1945"),
                                 QStringLiteral("x"))
                         + QStringLiteral("****FINFICHIER****\r\n");
    writeReport(QStringLiteral("a.txt"), report);
    writeReport(QStringLiteral("b.txt"), report);
    import().ImportObservances();

    // The run stops at the failure, both files stay, the program closes.
    QVERIFY(QFile::exists(Globals::ImportFolder + QStringLiteral("a.txt")));
    QVERIFY(QFile::exists(Globals::ImportFolder + QStringLiteral("b.txt")));
    QVERIFY(m_main->tmrClose->isActive());
    m_main->tmrClose->stop();
    QVERIFY(m_shownRows.isEmpty());
    m_main->database().tResultat.open();
    QCOMPARE(m_main->database().tResultat.recordCount(), 1);
    QVERIFY(!m_main->database().tResultat.field(QStringLiteral("Imported")).asBoolean());
}

std::unique_ptr<ImportTest::Provider> ImportTest::setUpProvider()
{
    auto fixture = std::make_unique<Provider>();
    m_main->service = &fixture->service;
    const QString tag = QUuid::createUuid().toString(QUuid::Id128).left(12);
    const QString provider = QStringLiteral("envoi-%1@souffle.fr").arg(tag);
    fixture->account = QStringLiteral("dr-%1@cabinet.fr").arg(tag);
    fixture->service.exec(
        QStringLiteral("insert into prestataires (Nom, Email, prest2factEmail) values ('Souffle', ?, ?)"),
        {provider, provider});
    fixture->service.exec(QStringLiteral("insert into prest2facture (date_envoi, dest_email, prest_email) values "
                                         "('2024-03-04 10:11:12', ?, ?)"),
                          {fixture->account, provider});
    LocalTable &mail = m_main->database().TMail;
    mail.append();
    mail.field(QStringLiteral("COMPTE")).setAsString(QStringLiteral("cabinet"));
    mail.field(QStringLiteral("ADRESSE")).setAsString(fixture->account);
    mail.field(QStringLiteral("LOGIN")).setAsString(QStringLiteral("cabinet"));
    mail.post();
    fixture->data = QStringList{QStringLiteral("KORVA|EXPEDITEUR|SENDER||%1||||").arg(provider),
                                QStringLiteral("KORVA|DESTINATAIRE|RECIPIENT||%1||||").arg(fixture->account)};
    return fixture;
}

QString ImportTest::importResult(const Provider &fixture)
{
    return fixture.service
        .exec(QStringLiteral("select Importation from prest2facture where dest_email = ?"), {fixture.account})
        .toString();
}

void ImportTest::providerReportRecordedRemotely()
{
    if (!ServiceDatabase::available())
        QSKIP("test services not started (run ./test.sh)");
    const auto fixture = setUpProvider();
    const int providerId = fixture->service
                               .exec(QStringLiteral("select prestataires_ID from prestataires where Email = ?"),
                                     {fixture->data.at(0).section(u'|', 4, 4)})
                               .toInt();
    // A second block ends before its birth date; the report's name carries a
    // no-break space, which must reach the service as received.
    const QString name = QStringLiteral("KORVA_Souffle\u00A0Dom_b_c_04-03-2024_10-11-12.txt");
    writeReport(name, block(QStringLiteral("DUPONT"), QStringLiteral("José"), QStringLiteral("12/05/1945"),
                            QStringLiteral("x"), fixture->data)
                          + QStringLiteral("H\r\nMARTIN\r\n****FIN****\r\n****FINFICHIER****\r\n"));
    import().ImportObservances();

    QCOMPARE(Globals::ProviderID, providerId);
    QCOMPARE(observanceCount(), 1);
    m_main->database().tObservances.first();
    QCOMPARE(m_main->database().tObservances.field(QStringLiteral("MOTIF_DE_CONSULTATION")).asString(),
             QStringLiteral("Envoi Souffle Dom du 05/03/2017"));
    const QString result = importResult(*fixture);
    QVERIFY2(result.startsWith(QStringLiteral("Patient_ID : ") + QString::number(m_patientId) + QStringLiteral(" - ")),
             qPrintable(result));
    QVERIFY2(result.contains(QStringLiteral("\r\nPatients_ID = -1 - IDENTIFICATION DU PATIENT IMPOSSIBLE DANS [") + name
                             + QStringLiteral("] - ")),
             qPrintable(result));
    QVERIFY(!QFile::exists(Globals::ImportFolder + name));
}

void ImportTest::sameNamedDocumentsStayWithTheirReport()
{
    LocalTable &patients = m_main->database().tPatients;
    patients.append();
    patients.field(QStringLiteral("NOM")).setAsString(QStringLiteral("MARTIN"));
    patients.field(QStringLiteral("PRENOM")).setAsString(QStringLiteral("Paul"));
    patients.post();
    const int martin = patients.field(QStringLiteral("PATIENTS_ID")).asInteger();
    const QStringList pj{QStringLiteral("KORVA|Document|PJ||cr.pdf|")};
    writeReport(QStringLiteral("a.txt"), block(QStringLiteral("DUPONT"), QStringLiteral("José"), QStringLiteral("12/05/1945"),
                                               QStringLiteral("a"), pj)
                                             + QStringLiteral("****FINFICHIER****\r\n"));
    writeReport(QStringLiteral("b.txt"), block(QStringLiteral("MARTIN"), QStringLiteral("Paul"), QStringLiteral("01/01/1950"),
                                               QStringLiteral("b"), pj)
                                             + QStringLiteral("****FINFICHIER****\r\n"));
    m_home->write(QStringLiteral("ForImportation/Attachments/a/cr.pdf"), "compte rendu de DUPONT");
    m_home->write(QStringLiteral("ForImportation/Attachments/b/cr.pdf"), "compte rendu de MARTIN");
    // A report whose own folder lacks its document takes the one waiting in
    // Attachments, where a message without report left it.
    writeReport(QStringLiteral("c.txt"), block(QStringLiteral("DUPONT"), QStringLiteral("José"), QStringLiteral("12/05/1945"),
                                               QStringLiteral("c"), pj)
                                             + QStringLiteral("****FINFICHIER****\r\n"));
    m_home->write(QStringLiteral("ForImportation/Attachments/c/courbe.pdf"), "courbe");
    m_home->write(QStringLiteral("ForImportation/Attachments/cr.pdf"), "lettre d'un confrère");
    // Folders of a report left waiting, of one gone (killed after its commit).
    writeReport(QStringLiteral("w.txt"), block(QStringLiteral("DUPONT"), QStringLiteral("José"), QStringLiteral("12/05/1945"),
                                               QStringLiteral("w"), pj)
                                             + QStringLiteral("****FINFICHIER****\r\n"));
    for (const QString &file : {QStringLiteral("w/cr.pdf"), QStringLiteral("parti/doc.pdf"), QStringLiteral("vide/")})
        m_home->write(QStringLiteral("ForImportation/Attachments/") + file, "x");
    for (const QString &name : {QStringLiteral("d.txt"), QStringLiteral("e.txt")})
        writeReport(name, block(name, {}, {}, name, {QStringLiteral("KORVA|D|PJ||courrier.pdf|")}) + QStringLiteral("****FINFICHIER****\r\n"));
    m_home->write(QStringLiteral("ForImportation/Attachments/courrier.pdf"), "courrier"); // d's and e's: d alone takes it
    import([&](const QString &file) {
        return file == QLatin1String("b.txt") ? martin
             : file == QLatin1String("d.txt") ? martin + 1
             : file == QLatin1String("c.txt") ? martin + 2
             : file == QLatin1String("w.txt") ? PatientIdentification::kLeftWaiting : m_patientId;
    }).ImportObservances();

    LocalTable &images = m_main->database().tImages;
    images.close();
    images.open();
    QMap<int, QByteArray> documentOf;
    for (images.first(); !images.eof(); images.next()) {
        QFile stored(Globals::BaseFolder + QStringLiteral("Docs/")
                     + images.field(QStringLiteral("AuxFileName")).asString());
        QVERIFY(stored.open(QIODevice::ReadOnly));
        documentOf.insert(images.field(QStringLiteral("Patients_ID")).asInteger(), stored.readAll());
    }
    QCOMPARE(documentOf, (QMap<int, QByteArray>{{m_patientId, "compte rendu de DUPONT"},
                                                {martin, "compte rendu de MARTIN"}, {martin + 1, "courrier"},
                                                {martin + 2, "lettre d'un confrère"}}));
    // The emptied folders of the reports go with them, the rest aside.
    QCOMPARE(QDir(Globals::ImportFolder + QStringLiteral("Attachments")).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
             (QStringList{"c.rejete", "parti.rejete", "w"}));
    QVERIFY(m_dialogs->lastText().endsWith(Globals::ImportFolder + QStringLiteral("Attachments/parti.rejete")));
}

// Two different files received under one name are both kept: whichever
// came last, no report naming it gets either, and the physician is told.
void ImportTest::contestedDocumentGivenToNoPatient()
{
    const QString root = Globals::ImportFolder + QStringLiteral("Attachments/");
    m_home->write(QStringLiteral("ForImportation/Attachments/cr.pdf"), "compte rendu de MARTIN");
    m_home->write(QStringLiteral("ForImportation/Attachments/remplaces/CR.pdf"), "compte rendu de DUPONT");
    const QStringList pj{QStringLiteral("KORVA|Document|PJ||cr.pdf|")};
    writeReport(QStringLiteral("a.txt"), block(QStringLiteral("DUPONT"), QStringLiteral("José"), QStringLiteral("12/05/1945"),
                                               QStringLiteral("a"), pj) + QStringLiteral("****FINFICHIER****\r\n"));
    writeReport(QStringLiteral("b.txt"), block(QStringLiteral("MARTIN"), QStringLiteral("Paul"), QStringLiteral("01/01/1950"),
                                               QStringLiteral("b"), pj) + QStringLiteral("****FINFICHIER****\r\n"));
    import([&](const QString &) { return m_patientId; }).ImportObservances();

    QCOMPARE(observanceCount(), 2);
    m_main->database().tImages.close();
    m_main->database().tImages.open();
    QCOMPARE(m_main->database().tImages.recordCount(), 0);
    const QString comment = QStringLiteral("observance importée ; pièce jointe non enregistrée, plusieurs fichiers reçus sous son nom : cr.pdf");
    QCOMPARE(m_shownRows.value(0).value(2), comment);
    QCOMPARE(m_shownRows.value(1).value(2), comment);
    const QString named = QStringLiteral("], nom sous lequel plusieurs fichiers différents ont été reçus :\r") + root
                        + QStringLiteral("cr.pdf\r") + root + QStringLiteral("remplaces.rejete/CR.pdf");
    QCOMPARE(m_dialogs->lastText(), QStringLiteral("Des documents reçus n'ont été enregistrés pour aucun patient.\r"
                                                   "Le rapport [a.txt] de DUPONT José nomme [cr.pdf")
                                        + named + QStringLiteral("\rLe rapport [b.txt] de MARTIN Paul nomme [cr.pdf") + named
                                        + QStringLiteral("\rDocuments mis de côté dans :\r") + root
                                        + QStringLiteral("remplaces.rejete"));
}

void ImportTest::documentsOnlyWithAStoredObservance_data()
{
    QTest::addColumn<int>("identified"); // what the identification answers
    QTest::addColumn<QString>("before");  // the document sent before (null: not sent; empty: sent without it)
    QTest::addColumn<int>("registered");  // documents registered in the end
    QTest::addColumn<QString>("comment"); // of the last results row, when given
    QTest::newRow("declined") << -3 << QString() << 0 << QString();
    QTest::newRow("not identified") << -1 << QString() << 0 << QString();
    QTest::newRow("sent again, the same document") << 0 << QStringLiteral("contenu") << 1 << QStringLiteral("document déjà importé");
    QTest::newRow("sent again with the document it lacked") << 0 << QStringLiteral("") << 1 << QStringLiteral("document déjà importé ; pièce jointe ajoutée : cr.pdf");
    QTest::newRow("sent again, another document of that name") << 0 << QStringLiteral("premier envoi") << 2 << QStringLiteral("document déjà importé ; pièce jointe ajoutée : cr.pdf");
}

void ImportTest::documentsOnlyWithAStoredObservance()
{
    QFETCH(int, identified);
    QFETCH(QString, before);
    QFETCH(int, registered);
    QFETCH(QString, comment);
    const int answer = identified == 0 ? m_patientId : identified;
    const QString report = block(QStringLiteral("DUPONT"), QStringLiteral("José"), QStringLiteral("12/05/1945"),
                                 QStringLiteral("x"), {QStringLiteral("KORVA|Document|PJ||cr.pdf|")})
                         + QStringLiteral("****FINFICHIER****\r\n");
    // Where older versions left the documents: still read.
    const QString document = QStringLiteral("ForImportation/Attachments/cr.pdf");
    if (!before.isNull()) {
        writeReport(QStringLiteral("r.txt"), report);
        if (!before.isEmpty())
            m_home->write(document, before.toUtf8());
        import([&](const QString &) { return answer; }).ImportObservances();
        QVERIFY(!QFile::exists(m_home->file(document)));
    }
    writeReport(QStringLiteral("r.txt"), report);
    m_home->write(document, "contenu");
    import([&](const QString &) { return answer; }).ImportObservances();

    QFile left(m_home->file(document));
    QCOMPARE(left.open(QIODevice::ReadOnly) ? left.readAll() : QByteArray(), registered ? QByteArray() : QByteArray("contenu"));
    LocalTable &images = m_main->database().tImages;
    images.close();
    images.open();
    QCOMPARE(images.recordCount(), registered);
    QVERIFY(comment.isEmpty() || m_shownRows.last().at(2) == comment);
    QVERIFY(!QFile::exists(Globals::ImportFolder + QStringLiteral("r.txt")));
}

// Two reports of one run without their own folders name the same document
// of the shared folder. The first one's group is committed before the second
// is read (it took longer than a group waits): the second finds the document
// gone, as the first one's deletions left it, however many they were. The
// last report's documents are all gone when the results are shown.
void ImportTest::sharedDocumentGoneOnceAnEarlierReportCommitted()
{
    constexpr int kDocuments = 200;
    QStringList first, last;
    for (int i = 0; i < kDocuments; ++i) {
        const QString name = QStringLiteral("d%1.pdf").arg(i, 3, 10, QLatin1Char('0'));
        first << QStringLiteral("KORVA|Document|PJ||%1|").arg(name);
        m_home->write(QStringLiteral("ForImportation/Attachments/") + name, name.toUtf8());
        last << QStringLiteral("KORVA|Document|PJ||%1|").arg(name);
        m_home->write(QStringLiteral("ForImportation/Attachments/c/") + name, name.toUtf8());
    }
    first << QStringLiteral("KORVA|Document|PJ||cr.pdf|");
    m_home->write(QStringLiteral("ForImportation/Attachments/cr.pdf"), "compte rendu");
    writeReport(QStringLiteral("a.txt"), block(QStringLiteral("DUPONT"), QStringLiteral("José"), QStringLiteral("12/05/1945"),
                                               QStringLiteral("a"), first)
                                             + QStringLiteral("****FINFICHIER****\r\n"));
    writeReport(QStringLiteral("b.txt"), block(QStringLiteral("DUPONT"), QStringLiteral("José"), QStringLiteral("12/05/1945"),
                                               QStringLiteral("b"), {QStringLiteral("KORVA|Document|PJ||cr.pdf|")})
                                             + QStringLiteral("****FINFICHIER****\r\n"));
    writeReport(QStringLiteral("c.txt"), block(QStringLiteral("DUPONT"), QStringLiteral("José"), QStringLiteral("12/05/1945"),
                                               QStringLiteral("c"), last)
                                             + QStringLiteral("****FINFICHIER****\r\n"));
    ReportImport run = import([&](const QString &file) {
        if (file == QLatin1String("a.txt"))
            QThread::msleep(300);
        return m_patientId;
    });
    QStringList leftWhenShown{QStringLiteral("<not shown>")};
    m_shownBefore = [&] {
        leftWhenShown = QDir(Globals::ImportFolder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot)
                      + QDir(Globals::ImportFolder + QStringLiteral("Attachments")).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
    };
    run.ImportObservances();

    QCOMPARE(leftWhenShown, QStringList{QStringLiteral("Attachments")});
    QCOMPARE(observanceCount(), 3);
    LocalTable &images = m_main->database().tImages;
    images.close();
    images.open();
    QCOMPARE(images.recordCount(), 2 * kDocuments + 1);
}

void ImportTest::blockValuesNotCarriedOver()
{
    // The second block ends before its birth date and carries no date or
    // provider label: nothing of the first block may reach its row.
    writeReport(QStringLiteral("deux.txt"),
                block(QStringLiteral("DUPONT"), QStringLiteral("José"), QStringLiteral("12/05/1945"), QStringLiteral("x"))
                    + QStringLiteral("H\r\nMARTIN\r\nPaul\r\n****FIN****\r\n****FINFICHIER****\r\n"));
    import([&](const QString &) { return m_patientId; }).ImportObservances();

    QCOMPARE(m_shownRows.size(), 2);
    QCOMPARE(m_shownRows.at(1).at(0), Globals::ImportsFolder + QStringLiteral("MARTIN_Paul__.txt"));
    QCOMPARE(m_shownDates,
             (QList<QStringList>{{QStringLiteral("12/05/1945"), QStringLiteral("05/03/2017"), QStringLiteral("Souffle Dom")},
                                 {QString(), QString(), QString()}}));
}

void ImportTest::badlyNamedReportSetAsideAndImportGoesOn()
{
    if (!ServiceDatabase::available())
        QSKIP("test services not started (run ./test.sh)");
    const auto fixture = setUpProvider();
    // No such day: the name holds no sending time.
    const QString bad = QStringLiteral("KORVA_a_b_c_31-02-2024_10-11-12.txt");
    const QString good = QStringLiteral("KORVA_a_b_c_04-03-2024_10-11-12.txt");
    for (const QString &name : {bad, good})
        writeReport(name, block(QStringLiteral("DUPONT"), QStringLiteral("José"), QStringLiteral("12/05/1945"), name,
                                fixture->data)
                              + QStringLiteral("****FINFICHIER****\r\n"));
    import([&](const QString &) { return m_patientId; }).ImportObservances();

    QVERIFY(!m_main->tmrClose->isActive());
    QVERIFY(QFile::exists(Globals::ImportFolder + bad + QStringLiteral(".rejete")));
    QVERIFY(!QFile::exists(Globals::ImportFolder + bad));
    QVERIFY(!QFile::exists(Globals::ImportFolder + good));
    QCOMPARE(observanceCount(), 1);
    QVERIFY(m_dialogs->texts().contains(QStringLiteral("Le nom du fichier \"") + Globals::ImportFolder + bad
                                        + QStringLiteral("\" ne permet pas de lire son heure d'envoi. Il ne sera pas "
                                                         "importé.\rIl est conservé sous le nom \"")
                                        + Globals::ImportFolder + bad + QStringLiteral(".rejete\".")));
}

void ImportTest::unrecordedResultKeepsTheFileUntilRecorded()
{
    if (!ServiceDatabase::available())
        QSKIP("test services not started (run ./test.sh)");
    const auto fixture = setUpProvider();
    const QString name = QStringLiteral("KORVA_a_b_c_04-03-2024_10-11-12.txt");
    writeReport(name, block(QStringLiteral("DUPONT"), QStringLiteral("José"), QStringLiteral("12/05/1945"),
                            QStringLiteral("x"), fixture->data)
                          + QStringLiteral("****FINFICHIER****\r\n"));
    const auto identify = [&](const QString &) { return m_patientId; };
    // The service database goes out of reach just before the result.
    import(identify, [](const QString &, const QString &, const QString &) {
        return RemoteRecording::Outcome::Unreachable;
    }).ImportObservances();

    QVERIFY(QFile::exists(Globals::ImportFolder + name));
    QCOMPARE(observanceCount(), 1);
    QVERIFY2(m_dialogs->lastText().contains(name) && m_dialogs->lastText().contains(QStringLiteral("prochaine importation")),
             qPrintable(m_dialogs->lastText()));

    // The next import stores nothing twice and records the result once.
    int recordings = 0;
    import(identify, [&](const QString &sender, const QString &recipient, const QString &path) {
        ++recordings;
        return RemoteRecording::SaveImportationResultOnFTP(*m_main, sender, recipient, path);
    }).ImportObservances();
    QCOMPARE(recordings, 1);
    QCOMPARE(observanceCount(), 1);
    QVERIFY(!QFile::exists(Globals::ImportFolder + name));
    const QString result = importResult(*fixture);
    QVERIFY2(result.startsWith(QStringLiteral("Patient_ID : ") + QString::number(m_patientId) + QStringLiteral(" - ")),
             qPrintable(result));
}

// The service database cannot be reached at the end of a provider's report:
// nothing is stored, the file waits for the next import, and the user is told.
void ImportTest::serviceOutOfReachKeepsProviderReport()
{
    const QString name = QStringLiteral("KORVA_a_b_c_04-03-2024_10-11-12.txt");
    writeReport(name, block(QStringLiteral("DUPONT"), QStringLiteral("José"), QStringLiteral("12/05/1945"),
                            QStringLiteral("x"))
                          + QStringLiteral("****FINFICHIER****\r\n"));
    import([&](const QString &) { return m_patientId; }).ImportObservances();

    QVERIFY(QFile::exists(Globals::ImportFolder + name));
    QCOMPARE(observanceCount(), 0);
    QVERIFY2(m_dialogs->lastText().contains(name) && m_dialogs->lastText().contains(QStringLiteral("prochaine importation")),
             qPrintable(m_dialogs->texts().join(QStringLiteral(" | "))));
}

void ImportTest::killedDuringImport_data()
{
    QTest::addColumn<int>("filesDone"); // reports gone from the folder before the kill
    QTest::addColumn<int>("delayMs");   // then this long
    QTest::addColumn<QString>("stop");  // or where the child stops to be killed
    QTest::newRow("at the first report") << 0 << 0 << QString();
    QTest::newRow("after one") << 1 << 3 << QString();
    QTest::newRow("mid-way") << 5 << 7 << QString();
    QTest::newRow("further on") << 9 << 11 << QString();
    // Three files read and a fourth begun, nothing committed yet.
    QTest::newRow("group pending") << 0 << 0 << QStringLiteral("identify:7");
    // The group's commit, before and after the deletion of its master
    // journal, which makes it durable.
    QTest::newRow("commit running") << 0 << 0 << QStringLiteral("unlink:-mj");
    QTest::newRow("commit made") << 0 << 0 << QStringLiteral("unlink:-journal");
    QTest::newRow("result recorded") << 0 << 0 << QStringLiteral("recorded:3"); // provider reports; the second one begun
    // The documents waiting in Attachments, each report's own folder empty.
    QTest::newRow("documents from Attachments, group pending") << 0 << 0 << QStringLiteral("shared:identify:7");
    QTest::newRow("documents from Attachments, commit made") << 0 << 0 << QStringLiteral("shared:unlink:-journal");
}

// The import run by a child process killed with SIGKILL, then run again here:
// every block stored once with its document, or its report still waiting.
void ImportTest::killedDuringImport()
{
    QFETCH(int, filesDone);
    QFETCH(int, delayMs);
    QFETCH(QString, stop);
    const bool shared = stop.startsWith(QLatin1String("shared:"));
    if (shared)
        stop = stop.mid(7);
    constexpr int kReports = 20;
    const bool provider = stop.startsWith(QLatin1String("recorded:"));
    const auto text = [](int report, int part) { return QStringLiteral("rapport %1 bloc %2").arg(report).arg(part); };
    const QString prefix = QString::fromLatin1(provider ? "KORVA_a_b_c_04-03-2024_10-11-" : "r");
    const auto fileName = [prefix](int report) { return prefix + QStringLiteral("%1.txt").arg(report, 2, 10, QLatin1Char('0')); };
    // Each block's free text names its document and is its content; block 2 is MARTIN's.
    for (int r = 0; r < kReports; ++r) {
        QString report;
        for (int part = 1; part <= 2; ++part) {
            report += block(QString::fromLatin1(part == 1 ? "DUPONT" : "MARTIN"), {}, {}, text(r, part),
                            {QStringLiteral("KORVA|Document|PJ||%1.pdf|").arg(text(r, part)), QStringLiteral("KORVA|EXPEDITEUR|SENDER||a@b.fr||||")});
            m_home->write(QStringLiteral("ForImportation/Attachments/%1%2.pdf").arg(shared ? QString() : fileName(r).chopped(4) + u'/', text(r, part)),
                          text(r, part).toUtf8());
            QDir().mkpath(Globals::ImportFolder + QStringLiteral("Attachments/") + fileName(r).chopped(4));
        }
        writeReport(fileName(r), report + QStringLiteral("****FINFICHIER****\r\n"));
    }
    const auto waiting = [] { return QDir(Globals::ImportFolder).entryList({QStringLiteral("*.txt")}, QDir::Files).size(); };

    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("TOLVARENIX_IMPORT_CHILD"), QString::number(m_patientId));
    env.insert(QStringLiteral("TOLVARENIX_IMPORT_STOP"), stop);
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(), {});
    QVERIFY(child.waitForStarted());
    QElapsedTimer clock;
    clock.start();
    const QString stopped = m_home->file(QStringLiteral("stopped"));
    const auto goOn = [&] { return stop.isEmpty() ? waiting() > kReports - filesDone : !QFile::exists(stopped); };
    while (goOn() && child.state() == QProcess::Running && clock.elapsed() < 120000)
        QThread::usleep(200);
    QThread::msleep(delayMs);
    QVERIFY2(child.state() == QProcess::Running && waiting() > 0, "the import ended before it could be killed");
    child.kill();
    // Nothing uncommitted is deleted, and the deletions follow the commit.
    if (!stop.isEmpty() && !provider)
        QCOMPARE(waiting(), kReports);
    QVERIFY(child.waitForFinished());
    // As the program started again: the child made its own results table.
    m_main->database().close();
    m_main->database().createAndOpen(Globals::BaseFolder, ProgramFolder::configurationFile());

    const auto check = [&](bool allImported) {
        LocalTable &obs = m_main->database().tObservances;
        LocalTable &images = m_main->database().tImages;
        for (LocalTable *table : {&obs, &images}) {
            table->close();
            table->open();
        }
        QMap<QString, QString> stored; // free text -> patient and consultation time
        for (obs.first(); !obs.eof(); obs.next()) {
            const QString comment = obs.field(QStringLiteral("COMMENTAIRES")).asString();
            QVERIFY2(!stored.contains(comment), qPrintable(comment + QStringLiteral(" stored twice")));
            stored.insert(comment, obs.field(QStringLiteral("PATIENTS_ID")).asString() + obs.field(QStringLiteral("DATE_CONSULTATION")).asString());
        }
        QMap<QString, QString> documents; // descriptor -> patient and consultation time
        for (images.first(); !images.eof(); images.next()) {
            const QString descriptor = images.field(QStringLiteral("Descriptor")).asString();
            QVERIFY2(!documents.contains(descriptor), qPrintable(descriptor + QStringLiteral(" registered twice")));
            documents.insert(descriptor, images.field(QStringLiteral("Patients_ID")).asString()
                                             + images.field(QStringLiteral("Date_Consultation")).asString());
            QFile copy(Globals::BaseFolder + QStringLiteral("Docs/") + images.field(QStringLiteral("AuxFileName")).asString());
            QVERIFY(copy.open(QIODevice::ReadOnly));
            QCOMPARE(copy.readAll(), descriptor.chopped(4).toUtf8());
        }
        QVERIFY2(!provider || stored.contains(text(0, 2)), "the first report's result recorded remotely, the report not committed");
        // Imported again, every document is registered (none left) and only registered copies are kept.
        QVERIFY(!allImported || (QDir(Globals::BaseFolder + QStringLiteral("Docs")).entryList(QDir::Files).size() == documents.size()
                                 && QDir(Globals::ImportFolder + QStringLiteral("Attachments")).isEmpty()));
        for (int r = 0; r < kReports; ++r) {
            const bool waits = QFile::exists(Globals::ImportFolder + fileName(r));
            QVERIFY2(!(allImported && waits), qPrintable(fileName(r) + QStringLiteral(" still waiting: ")
                                                         + m_dialogs->texts().join(QStringLiteral(" | "))));
            for (int part = 1; part <= 2; ++part) {
                const QString written = text(r, part);
                QVERIFY2(waits || stored.contains(written), qPrintable(written + QStringLiteral(" lost")));
                QVERIFY2(documents.value(written + QStringLiteral(".pdf")) == stored.value(written),
                         qPrintable(written + QStringLiteral(": document not with its observance")));
            }
        }
    };
    check(false);
    if (QTest::currentTestFailed())
        return;
    m_main->online = provider;
    import([&](const QString &) { return Globals::PatientNom == QLatin1String("MARTIN") ? m_patientId + 1 : m_patientId; },
           [](auto &, auto &, auto &) { return RemoteRecording::Outcome::Recorded; }).ImportObservances();
    check(true);
}

namespace {

// Where the child of killedDuringImport stops: it says so through a file of
// its program folder, then waits to be killed.
QString stoppedMarker;
QByteArray stopAtUnlinkOf; // part of the path of a file the engine deletes
sqlite3_syscall_ptr engineUnlink = nullptr;

[[noreturn]] void stopForKill()
{
    QFile(stoppedMarker).open(QIODevice::WriteOnly);
    for (;;)
        QThread::sleep(1);
}

int stoppingUnlink(const char *path)
{
    if (!stopAtUnlinkOf.isEmpty() && QByteArray(path).contains(stopAtUnlinkOf))
        stopForKill();
    return reinterpret_cast<int (*)(const char *)>(engineUnlink)(path);
}

// The child process of killedDuringImport: imports the reports of the test's
// program folder for the given patient, until it is killed. Without a stop,
// each identification takes a while, so that the run makes several groups.
int runImportChild(int patientId)
{
    ScriptedDialogs dialogs;
    const QString home = QDir(qEnvironmentVariable("TOLVARENIX_HOME")).absolutePath() + u'/';
    Globals::BaseFolder = home + QStringLiteral("Base/");
    Globals::ImportFolder = home + QStringLiteral("ForImportation/");
    Globals::ImportsFolder = Globals::BaseFolder + QStringLiteral("Imports/");
    ImportMain main;
    Globals::fMain = &main;
    main.database().createAndOpen(Globals::BaseFolder, ProgramFolder::configurationFile());
    stoppedMarker = home + QStringLiteral("stopped");
    const QString stop = qEnvironmentVariable("TOLVARENIX_IMPORT_STOP");
    const int stopAtIdentification = stop.section(u':', 1).toInt(); // "identify:" or "recorded:"
    main.online = stop.startsWith(QLatin1String("recorded:"));
    sqlite3_vfs *vfs = sqlite3_vfs_find(nullptr);
    engineUnlink = vfs->xGetSystemCall(vfs, "unlink");
    vfs->xSetSystemCall(vfs, "unlink", reinterpret_cast<sqlite3_syscall_ptr>(&stoppingUnlink));
    ReportImport::Needs env;
    env.identify = [patientId, stop, stopAtIdentification, calls = 0](const QString &) mutable {
        if (++calls == stopAtIdentification)
            stopForKill();
        if (stop.isEmpty())
            QThread::msleep(10);
        return Globals::PatientNom == QLatin1String("MARTIN") ? patientId + 1 : patientId;
    };
    env.saveResult = [](auto &, auto &, auto &) { return RemoteRecording::Outcome::Recorded; };
    env.showFile = [](const QString &) {};
    env.showResults = [] {};
    if (stop.startsWith(QLatin1String("unlink:")))
        stopAtUnlinkOf = stop.mid(7).toUtf8();
    ReportImport(main, std::move(env)).ImportObservances();
    main.database().close();
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    if (qEnvironmentVariableIsSet("TOLVARENIX_IMPORT_CHILD"))
        return runImportChild(qEnvironmentVariableIntValue("TOLVARENIX_IMPORT_CHILD"));
    ImportTest test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}
#include "tst_import.moc"
