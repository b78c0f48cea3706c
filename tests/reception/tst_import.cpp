// Import of report files into real encrypted local tables; the provider
// reports' remote results go to the private MariaDB (skipped without it).

#include "Clock.h"
#include "Globals.h"
#include "Main.h"
#include "Patients.h"
#include "ProgramFolder.h"
#include "RemoteDatabase.h"
#include "ReportImport.h"
#include "ScriptedDialogs.h"
#include "ServiceDatabase.h"
#include "TestHome.h"
#include "Windows1252.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTimer>
#include <QUuid>
#include <QtTest>

namespace {

const QDateTime kNow = QDateTime(QDate(2024, 3, 5), QTime(8, 9, 10));

// The main window with the service database of the test (or none).
class ImportMain : public TfMain
{
public:
    bool ConnectInternetDatabase(bool reconnect) override { return service && service->connect(reconnect); }
    ServiceDatabase *service = nullptr;
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
    void declinedPatient();
    void failedRecordWriteKeepsFile();
    void providerReportRecordedRemotely();

private:
    void writeReport(const QString &name, const QString &content);
    ReportImport import();
    int observanceCount();

    std::unique_ptr<TestHome> m_home;
    std::unique_ptr<ScriptedDialogs> m_dialogs;
    std::unique_ptr<ImportMain> m_main;
    int m_patientId = -1;
    QList<QStringList> m_shownRows; // NomFic, Imported, Comment, NomPat
    QStringList m_shownFiles;
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
    m_shownFiles.clear();
}

void ImportTest::cleanup()
{
    m_main->database().close();
    m_main.reset();
    Clock::setSource({});
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

ReportImport ImportTest::import()
{
    ReportImport::Environment env;
    env.showFile = [this](const QString &path) { m_shownFiles << path; };
    env.showResults = [this] {
        LocalTable &rows = m_main->database().tResultat;
        for (rows.first(); !rows.eof(); rows.next())
            m_shownRows << QStringList{rows.field(QStringLiteral("NomFic")).asString(),
                                       rows.field(QStringLiteral("Imported")).asString(),
                                       rows.field(QStringLiteral("Comment")).asString(),
                                       rows.field(QStringLiteral("NomPat")).asString()};
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
                      QStringLiteral("Texte libre été à 100"), {QStringLiteral("KORVA|Poids|OBS_POIDS||72|")})
                    + QStringLiteral("****FINFICHIER****\r\n"));
    import().ImportObservances();

    LocalTable &obs = m_main->database().tObservances;
    QCOMPARE(observanceCount(), 1);
    obs.first();
    QCOMPARE(obs.field(QStringLiteral("PATIENTS_ID")).asInteger(), m_patientId);
    QCOMPARE(obs.field(QStringLiteral("DATE_CONSULTATION")).asDateTime(), QDateTime(kNow.date(), QTime(8, 9)));
    QCOMPARE(obs.field(QStringLiteral("MOTIF_DE_CONSULTATION")).asString(), QStringLiteral("Souffle Dom du 05/03/2017"));
    QCOMPARE(obs.field(QStringLiteral("COMMENTAIRES")).asString(), QStringLiteral("Texte libre été à 100"));
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

void ImportTest::declinedPatient()
{
    writeReport(QStringLiteral("inconnu.txt"),
                block(QStringLiteral("MARTIN"), QStringLiteral("Paul"), QStringLiteral("01/01/1950"), QStringLiteral("x"))
                    + QStringLiteral("****FINFICHIER****\r\n"));
    // The patient chooser opens: the user answers "Ne pas importer".
    QTimer answer;
    int asked = 0;
    connect(&answer, &QTimer::timeout, this, [&] {
        if (auto *window = qobject_cast<TfPatients *>(QApplication::activeModalWidget())) {
            ++asked;
            window->done(TfPatients::ResultDoNotImport);
        }
    });
    answer.start(10);
    import().ImportObservances();

    QCOMPARE(asked, 1);
    QCOMPARE(observanceCount(), 0);
    QCOMPARE(m_shownRows, (QList<QStringList>{{QStringLiteral("inconnu.txt"), QStringLiteral("Faux"),
                                               QStringLiteral("refus d'importation du document concernant un patient "
                                                              "inconnu !"),
                                               QStringLiteral("MARTIN")}}));
    QVERIFY(!QFile::exists(Globals::ImportFolder + QStringLiteral("inconnu.txt")));
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

void ImportTest::providerReportRecordedRemotely()
{
    if (!ServiceDatabase::available())
        QSKIP("test services not started (run ./test.sh)");
    ServiceDatabase service(RemoteDatabase::connectionName());
    m_main->service = &service;
    const QString tag = QUuid::createUuid().toString(QUuid::Id128).left(12);
    const QString provider = QStringLiteral("envoi-%1@souffle.fr").arg(tag);
    const QString account = QStringLiteral("dr-%1@cabinet.fr").arg(tag);
    service.exec(QStringLiteral("insert into prestataires (Nom, Email, prest2factEmail) values ('Souffle', ?, ?)"),
                 {provider, provider});
    const int providerId = service.exec(QStringLiteral("select prestataires_ID from prestataires where Email = ?"),
                                        {provider})
                               .toInt();
    service.exec(QStringLiteral("insert into prest2facture (date_envoi, dest_email, prest_email) values "
                                "('2024-03-04 10:11:12', ?, ?)"),
                 {account, provider});
    LocalTable &mail = m_main->database().TMail;
    mail.append();
    mail.field(QStringLiteral("COMPTE")).setAsString(QStringLiteral("cabinet"));
    mail.field(QStringLiteral("ADRESSE")).setAsString(account);
    mail.field(QStringLiteral("LOGIN")).setAsString(QStringLiteral("cabinet"));
    mail.post();
    const QStringList data{QStringLiteral("KORVA|EXPEDITEUR|SENDER||%1||||").arg(provider),
                           QStringLiteral("KORVA|DESTINATAIRE|RECIPIENT||%1||||").arg(account)};
    const QString name = QStringLiteral("KORVA_a_b_c_04-03-2024_10-11-12.txt");
    writeReport(name, block(QStringLiteral("DUPONT"), QStringLiteral("José"), QStringLiteral("12/05/1945"),
                            QStringLiteral("x"), data)
                          + QStringLiteral("****FINFICHIER****\r\n"));
    import().ImportObservances();

    QCOMPARE(Globals::ProviderID, providerId);
    QCOMPARE(observanceCount(), 1);
    m_main->database().tObservances.first();
    QCOMPARE(m_main->database().tObservances.field(QStringLiteral("MOTIF_DE_CONSULTATION")).asString(),
             QStringLiteral("Envoi Souffle Dom du 05/03/2017"));
    const QString result = service.exec(QStringLiteral("select Importation from prest2facture where dest_email = ?"),
                                        {account})
                               .toString();
    QVERIFY2(result.startsWith(QStringLiteral("Patient_ID : ") + QString::number(m_patientId)), qPrintable(result));
    QVERIFY(!QFile::exists(Globals::ImportFolder + name));
    m_main->service = nullptr;
}

QTEST_MAIN(ImportTest)
#include "tst_import.moc"
