// Identification of the patient of a received report, on real encrypted
// tables, with identity corrections sent to the private MariaDB.

#include "LocalTestTables.h"
#include "core/Globals.h"
#include "core/LocalDatabase.h"
#include "views/PatientCorrection.h"
#include "views/PatientIdentification.h"
#include "views/Patients.h"
#include "platform/ProgramFolder.h"
#include "ScriptedDialogs.h"
#include "ServiceDatabase.h"
#include "TestHome.h"

#include <QDir>
#include <QLineEdit>
#include <QRandomGenerator>
#include <QToolButton>
#include <QtTest>

class IdentificationTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void settledWithoutWindow_data();
    void settledWithoutWindow();
    void severalCandidatesOpenReportThenWindow();
    void reportsOfOneImportInTurn();
    void patientTableChangesReachTheNextReport();
    void oneCandidateDifferingIsConfirmed_data();
    void oneCandidateDifferingIsConfirmed();
    void noRowWindow_data();
    void noRowWindow();
    void choiceAmongAllPatientsAsksBeforeCorrection();
    void correctionSending_data();
    void correctionSending();
    void tracesBrokenIntoLines();

private:
    int addPatient(const QString &nom, const QString &prenom, const QString &neLe);
    PatientIdentification identification();
    int corrections() const;

    std::unique_ptr<TestHome> m_home;
    std::unique_ptr<LocalDatabase> m_db;
    std::unique_ptr<ServiceDatabase> m_service;
    QMap<QString, int> m_ids;
    QStringList m_resultLines;
    QStringList m_openedReports;
    QMap<int, QString> m_status;
    QWidget m_mainWindow;
    int m_shown = 0;
    std::function<int(TfPatients &)> m_user;
};

void IdentificationTest::initTestCase()
{
    if (!ServiceDatabase::available())
        QSKIP("test services not started (run ./test.sh)");
}

void IdentificationTest::init()
{
    m_home = std::make_unique<TestHome>();
    Globals::ImportFolder = m_home->path() + QStringLiteral("ForImportation/");
    m_db = std::make_unique<LocalDatabase>();
    openLocalTables(*m_db, *m_home);
    m_ids.insert("A", addPatient("Dupont", "Jean", "01/02/1950"));
    m_ids.insert("B", addPatient("Martin", "Paul", "03/04/1960"));
    m_ids.insert("E", addPatient("Lefevre", "Marie", "07/08/1945"));
    m_ids.insert("F", addPatient("Lefevre", "Marie", "09/10/1955"));
    m_ids.insert("G", addPatient("Lefevre", "Marie", ""));
    m_ids.insert("H", addPatient("Dupré", "Hélène", "05/06/1970"));
    m_ids.insert("M", addPatient("Martinez", "Jean", "01/01/1950"));
    m_service = std::make_unique<ServiceDatabase>();
    // A provider of this test alone: parallel runs never share correction rows.
    Globals::ProviderID = int(QRandomGenerator::global()->bounded(1000000, 2000000000));
    m_resultLines.clear();
    m_openedReports.clear();
    m_status.clear();
    m_shown = 0;
    m_user = nullptr;
}

void IdentificationTest::cleanup()
{
    m_service.reset();
    m_db->close();
    m_db.reset();
    LocalSession::removeAllPasswords();
    Globals::reset();
    m_home.reset();
}

int IdentificationTest::addPatient(const QString &nom, const QString &prenom, const QString &neLe)
{
    LocalTable &patients = m_db->tPatients;
    patients.append();
    patients.field(QStringLiteral("NOM")).setAsString(nom);
    patients.field(QStringLiteral("PRENOM")).setAsString(prenom);
    patients.field(QStringLiteral("NE_LE")).setAsString(neLe);
    patients.post();
    return patients.field(QStringLiteral("PATIENTS_ID")).asInteger();
}

PatientIdentification IdentificationTest::identification()
{
    PatientIdentification::Needs env;
    env.createWindow = [this] { return std::make_unique<TfPatients>(*m_db); };
    env.remote.connect = [this](bool reconnect) { return m_service->connect(reconnect); };
    env.remote.connectionName = m_service->name();
    env.remote.setStatus = [this](const QString &text) { m_status[0] = text; };
    env.addResultLine = [this](const QString &line) { m_resultLines << line; };
    env.setStatusText = [this](int panel, const QString &text) { m_status[panel] = text; };
    env.mainWindow = &m_mainWindow;
    env.openReport = [this](const QString &path) { m_openedReports << path; };
    env.showModal = [this](PatientChoiceWindow &window) {
        ++m_shown;
        if (!m_user)
            return int(TfPatients::ResultDoNotImport);
        return m_user(static_cast<TfPatients &>(window));
    };
    return PatientIdentification(std::move(env));
}

int IdentificationTest::corrections() const
{
    return m_service->exec(QStringLiteral("select count(*) from client2prestCorrections where Prest_id = ?"),
                           {Globals::ProviderID})
        .toInt();
}

void IdentificationTest::settledWithoutWindow_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<bool>("reachable");
    QTest::addColumn<QStringList>("report");   // nom, prenom, ne le
    QTest::addColumn<QString>("patient");
    QTest::addColumn<QStringList>("identity"); // afterwards
    QTest::addColumn<int>("corrections");

    const QString korva = QStringLiteral("KORVA_a_b_c_01-02-2024_10-00-00.txt");
    QTest::newRow("exact, plain file") << "rapport.txt" << true << QStringList{"Dupont", "Jean", "01/02/1950"} << "A"
                                       << QStringList{"Dupont", "Jean", "01/02/1950"} << 0;
    QTest::newRow("provider, first name case only")
        << korva << true << QStringList{"DUPONT", "JEAN", "01/02/1950"} << "A"
        << QStringList{"DUPONT", "JEAN", "01/02/1950"} << 0;
    QTest::newRow("no accents in the report") << "rapport.txt" << true << QStringList{"DUPRE", "HELENE", "05/06/1970"}
                                              << "H" << QStringList{"DUPRE", "HELENE", "05/06/1970"} << 0;
    QTest::newRow("provider, accents in the report only")
        << korva << true << QStringList{"LEFÈVRE", "MARIÉ", "07/08/1945"} << "E"
        << QStringList{"LEFÈVRE", "Marie", "07/08/1945"} << 0;
    QTest::newRow("two-digit year tells namesakes apart")
        << korva << true << QStringList{"Lefevre", "Marie", "07/08/45"} << "E"
        << QStringList{"Lefevre", "Marie", "07/08/1945"} << 0;
}

void IdentificationTest::settledWithoutWindow()
{
    QFETCH(QString, file);
    QFETCH(bool, reachable);
    QFETCH(QStringList, report);
    QFETCH(QString, patient);
    QFETCH(QStringList, identity);
    QFETCH(int, corrections);
    ScriptedDialogs dialogs;
    Globals::ProviderReachable = reachable;
    Globals::PatientNom = report[0];
    Globals::PatientPrenom = report[1];
    Globals::PatientNeLe = report[2];

    QCOMPARE(identification().identify(file), m_ids.value(patient));
    QCOMPARE(m_shown, 0);
    QCOMPARE((QStringList{Globals::PatientNom, Globals::PatientPrenom, Globals::PatientNeLe}), identity);
    QCOMPARE(this->corrections(), corrections);
    QCOMPARE(Globals::PatientCorrectionSent, corrections > 0);
    QVERIFY(m_resultLines.isEmpty());
    // Several namesakes: the report is shown to the user before the tie-break.
    QCOMPARE(m_openedReports.size(), QString(QTest::currentDataTag()).startsWith("two-digit") ? 1 : 0);
    QCOMPARE(dialogs.shown.size(), 0);
    QVERIFY(Globals::fPatients == nullptr);
}

void IdentificationTest::severalCandidatesOpenReportThenWindow()
{
    ScriptedDialogs dialogs;
    const QString file = QStringLiteral("KORVA_a_b_c_01-02-2024_10-00-00.txt");
    Globals::ProviderReachable = true;
    Globals::PatientNom = QStringLiteral("Lefevre");
    Globals::PatientPrenom = QStringLiteral("Marie");
    Globals::PatientNeLe = QStringLiteral("01/01/1990");
    dialogs.answer({true}); // the question before choosing a row that differs
    m_user = [this](TfPatients &window) {
        // The grid stands on the last candidate; both buttons are offered.
        if (!window.bDoNotImport()->isVisibleTo(&window) || !window.bAjouter()->isVisibleTo(&window)
            || window.shownPatient()->id != m_ids.value("F"))
            return int(TfPatients::ResultDoNotImport);
        window.bValiderClick();
        return window.result();
    };

    QCOMPARE(identification().identify(file), m_ids.value("F"));
    QCOMPARE(m_openedReports, QStringList{Globals::ImportFolder + file});
    QCOMPARE(m_shown, 1);
    QCOMPARE(dialogs.shown.size(), 1);
    QVERIFY(dialogs.shown[0].text.endsWith("Attention, cette correction d'identification sera intégrée chez le prestataire !"));
    QCOMPARE((QStringList{Globals::PatientNom, Globals::PatientPrenom, Globals::PatientNeLe}),
             (QStringList{"Lefevre", "Marie", "09/10/1955"}));
    QCOMPARE(corrections(), 1);
    QCOMPARE(m_service->row(QStringLiteral("select Nom, Prenom, Ne_le, NewNom, NewPrenom, NewNe_le, "
                                           "length(concat(Nom, Prenom, Ne_le, NewNom, NewPrenom, NewNe_le)) from client2prestCorrections where Prest_id = ?"),
                            {Globals::ProviderID}),
             (QStringList{"Lefevre", "Marie", "01/01/1990", "Lefevre", "Marie", "09/10/1955", "44"}));
    QVERIFY(Globals::PatientCorrectionSent);
}

// One identification for several reports, as in an import: nothing of a
// report's search (birth-date toggle, edits, shown list) reaches the next.
void IdentificationTest::reportsOfOneImportInTurn()
{
    ScriptedDialogs dialogs;
    m_ids.insert("S", addPatient("Sansdate", "Luc", ""));
    const struct {
        QString nom, prenom, neLe, patient;
        int shown;
    } reports[] = {
        {"Dupont", "Jean", "01/02/1950", "A", 0},
        {"Sansdate", "", "", "", 1}, // its one namesake offered, not every patient
        {"Inconnu", "Zoé", "02/02/1902", "", 2},
        {"Lefevre", "Marie", "07/08/45", "E", 2},
        {"Dupré", "Hélène", "05/06/1970", "H", 2},
    };
    QList<int> listed;
    m_user = [&listed](TfPatients &window) {
        listed << window.shownQuery()->recordCount();
        return int(TfPatients::ResultDoNotImport);
    };
    PatientIdentification identification = this->identification();
    for (const auto &report : reports) {
        Globals::PatientNom = report.nom;
        Globals::PatientPrenom = report.prenom;
        Globals::PatientNeLe = report.neLe;
        const int id = identification.identify(QStringLiteral("rapport.txt"));
        QCOMPARE(id, report.patient.isEmpty() ? PatientIdentification::kDeclined : m_ids.value(report.patient));
        QCOMPARE(m_shown, report.shown);
        QVERIFY(Globals::fPatients == nullptr);
    }
    QCOMPARE(listed, (QList<int>{1, 8}));
}

// The reports of an import find the patient table as it is at each report:
// a namesake recorded meanwhile is offered, a patient rolled back is not.
void IdentificationTest::patientTableChangesReachTheNextReport()
{
    ScriptedDialogs dialogs;
    PatientIdentification identification = this->identification();
    const auto identify = [&identification](const QString &nom, const QString &prenom, const QString &neLe) {
        Globals::PatientNom = nom;
        Globals::PatientPrenom = prenom;
        Globals::PatientNeLe = neLe;
        return identification.identify(QStringLiteral("rapport.txt"));
    };
    QCOMPARE(identify("Dupont", "Jean", "01/02/1950"), m_ids.value("A"));

    addPatient("Dupont", "Jeanne", "01/02/1950");
    QCOMPARE(identify("Dupont", "Jean", "01/02/1950"), PatientIdentification::kDeclined);
    QCOMPARE(m_shown, 1);

    {
        LocalTransaction transaction(m_db->tPatients.databaseName());
        const int passing = addPatient("Passager", "Luc", "12/12/1912");
        QCOMPARE(identify("Passager", "Luc", "12/12/1912"), passing);
        transaction.rollback();
    }
    // As the import does after a file's rollback.
    m_db->tPatients.close();
    m_db->tPatients.open();
    QCOMPARE(identify("Passager", "Luc", "12/12/1912"), PatientIdentification::kDeclined);
    QCOMPARE(m_shown, 2);
}

void IdentificationTest::oneCandidateDifferingIsConfirmed_data()
{
    QTest::addColumn<QStringList>("report"); // nom, prenom, ne le
    QTest::addColumn<QString>("patient");
    QTest::addColumn<int>("provider");       // -1: the sender's provider is unknown
    QTest::addColumn<bool>("confirm");       // else the window is closed
    QTest::addColumn<int>("corrections");

    QTest::newRow("name differs") << QStringList{"MARTIN", "JEAN", "01/01/1950"} << "M" << 0 << true << 1;
    QTest::newRow("birth date differs") << QStringList{"Dupont", "Jean", "02/02/1950"} << "A" << 0 << true << 1;
    QTest::newRow("report without birth date") << QStringList{"Martin", "Paul", ""} << "B" << 0 << true << 1;
    QTest::newRow("unknown provider") << QStringList{"Dupont", "Jean", "02/02/1950"} << "A" << -1 << true << 0;
    QTest::newRow("window closed") << QStringList{"Dupont", "Jean", "02/02/1950"} << "" << 0 << false << 0;
}

void IdentificationTest::oneCandidateDifferingIsConfirmed()
{
    QFETCH(QStringList, report);
    QFETCH(QString, patient);
    QFETCH(int, provider);
    QFETCH(bool, confirm);
    QFETCH(int, corrections);
    ScriptedDialogs dialogs;
    if (provider < 0)
        Globals::ProviderID = -1;
    Globals::ProviderReachable = true;
    Globals::PatientNom = report[0];
    Globals::PatientPrenom = report[1];
    Globals::PatientNeLe = report[2];
    dialogs.answer({true}); // "Attention, cette correction ..."
    const int before = this->corrections();
    int candidate = 0;
    m_user = [&](TfPatients &window) {
        candidate = window.shownPatient() ? window.shownPatient()->id : 0;
        if (!confirm) {
            window.reject();
            return window.result();
        }
        window.bValiderClick();
        return window.result();
    };

    const int id = identification().identify(QStringLiteral("KORVA_a_b_c_01-02-2024_10-00-00.txt"));
    QCOMPARE(m_shown, 1);
    QCOMPARE(candidate, m_ids.value(report[0] == "MARTIN" ? "M" : report[0] == "Martin" ? "B" : "A"));
    QCOMPARE(id, confirm ? m_ids.value(patient) : PatientIdentification::kLeftWaiting);
    QVERIFY(m_resultLines.isEmpty());
    QCOMPARE(dialogs.shown.size(), confirm ? 1 : 0);
    QCOMPARE(this->corrections() - before, corrections);
    QCOMPARE(Globals::PatientCorrectionSent, corrections > 0);
}

void IdentificationTest::noRowWindow_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("action"); // "button", "close" or "create"
    QTest::addColumn<QStringList>("lines");

    const QString korva = QStringLiteral("KORVA_a_b_c_01-02-2024_10-00-00.txt");
    QTest::newRow("provider report declined") << korva << "button" << QStringList{"Patient inconnu"};
    QTest::newRow("provider report closed") << korva << "close" << QStringList{};
    QTest::newRow("plain file closed") << "rapport.txt" << "close" << QStringList{};
    QTest::newRow("provider report, patient created") << korva << "create" << QStringList{"Nouveau patient"};
    QTest::newRow("plain file, patient created") << "rapport.txt" << "create" << QStringList{};
}

void IdentificationTest::noRowWindow()
{
    QFETCH(QString, file);
    QFETCH(QString, action);
    QFETCH(QStringList, lines);
    ScriptedDialogs dialogs;
    Globals::ProviderReachable = true;
    Globals::PatientNom = QStringLiteral("Nouveau");
    Globals::PatientPrenom = QStringLiteral("Venu");
    Globals::PatientNeLe = QStringLiteral("11/11/1911");
    bool disabledMeanwhile = false;
    bool offered = false;
    int created = 0;
    m_user = [&](TfPatients &window) {
        disabledMeanwhile = !m_mainWindow.isEnabled()
                         && m_status.value(2) == QStringLiteral("Affectation du patient de ") + file;
        offered = window.bDoNotImport()->isVisibleTo(&window);
        if (action == "close")
            window.reject(); // the system button or Esc
        else if (action == "button")
            window.bDoNotImportClick();
        else {
            created = addPatient(Globals::PatientNom, Globals::PatientPrenom, Globals::PatientNeLe);
            window.NomPatientChange(&window);
            window.bValiderClick();
        }
        return window.result();
    };

    const int id = identification().identify(file);
    QCOMPARE(m_shown, 1);
    QVERIFY(disabledMeanwhile);
    QVERIFY(m_mainWindow.isEnabled());
    QCOMPARE(m_status.value(2), QString());
    QVERIFY(offered);
    const int unanswered = action == "button" ? PatientIdentification::kDeclined : PatientIdentification::kLeftWaiting;
    QCOMPARE(id, action == "create" ? created : unanswered);
    QCOMPARE(m_resultLines, lines);
    QCOMPARE(corrections(), 0);
    QCOMPARE(dialogs.unscriptedQuestions, 0);
}

void IdentificationTest::choiceAmongAllPatientsAsksBeforeCorrection()
{
    ScriptedDialogs dialogs;
    Globals::ProviderReachable = true;
    Globals::PatientNom = QStringLiteral("Dupond");
    Globals::PatientPrenom = QStringLiteral("Jean");
    Globals::PatientNeLe = QStringLiteral("01/02/1950");
    dialogs.answer({false, true});
    m_user = [this](TfPatients &window) {
        LocalQuery *all = window.shownQuery();
        if (all != &window.QAllPatients)
            return int(TfPatients::ResultDoNotImport);
        all->first();
        while (all->field(QStringLiteral("PATIENTS_ID")).asInteger() != m_ids.value("A") && !all->eof())
            all->next();
        window.bValiderClick(); // No: the window stays open
        if (window.result() != 0)
            return window.result();
        window.bValiderClick();
        return window.result();
    };

    QCOMPARE(identification().identify(QStringLiteral("KORVA_a_b_c_01-02-2024_10-00-00.txt")), m_ids.value("A"));
    QCOMPARE(dialogs.shown.size(), 2);
    QVERIFY(dialogs.lastText().endsWith(QStringLiteral("Attention, cette correction d'identification sera intégrée "
                                                       "chez le prestataire !")));
    QCOMPARE(corrections(), 1);
}

void IdentificationTest::correctionSending_data()
{
    QTest::addColumn<QStringList>("chosen");
    QTest::addColumn<bool>("sent");
    QTest::newRow("equal but for case") << QStringList{"DUPONT", "jean", "01/02/1950"} << false;
    QTest::newRow("birth date differs") << QStringList{"Dupont", "Jean", "01/02/1951"} << true;
}

void IdentificationTest::correctionSending()
{
    QFETCH(QStringList, chosen);
    QFETCH(bool, sent);
    const PatientCorrection::Needs link{[this](bool reconnect) { return m_service->connect(reconnect); },
                                       m_service->name(), [this](const QString &text) { m_status[0] = text; }};
    QCOMPARE(PatientCorrection::send(link, Globals::ProviderID, "Dupont", "Jean", "01/02/1950", chosen[0], chosen[1],
                                     chosen[2]),
             sent);
    QCOMPARE(m_status.value(0), QStringLiteral("Envoi de la correction du patient..."));
    QCOMPARE(corrections(), sent ? 1 : 0);

    // Out of reach: nothing, not even the status text.
    m_status.clear();
    const PatientCorrection::Needs offline{[](bool) { return false; }, m_service->name(), link.setStatus};
    QVERIFY(!PatientCorrection::send(offline, Globals::ProviderID, "Dupont", "Jean", "01/02/1950", "X", "Y", "Z"));
    QVERIFY(m_status.isEmpty());

    // An insert that fails is no correction sent.
    const PatientCorrection::Needs broken{link.connect, QStringLiteral("no-such-connection"), link.setStatus};
    QVERIFY(!PatientCorrection::send(broken, Globals::ProviderID, "Dupont", "Jean", "01/02/1950", "X", "Y", "Z"));
}

void IdentificationTest::tracesBrokenIntoLines()
{
    ScriptedDialogs dialogs;
    Globals::DebugMode = true;
    Globals::ProviderReachable = true;
    Globals::PatientNom = QStringLiteral("DUPONT");
    Globals::PatientPrenom = QStringLiteral("JEAN");
    Globals::PatientNeLe = QStringLiteral("01/02/1950");
    const QString file = QStringLiteral("KORVA_a_b_c_01-02-2024_10-00-00.txt");

    QCOMPARE(identification().identify(file), m_ids.value("A"));
    QCOMPARE(corrections(), 0);
    const QStringList traces = dialogs.texts();
    QVERIFY(traces.contains(QStringLiteral("Gestion du fichier ") + Globals::ImportFolder + file
                            + QStringLiteral("\nPatient trouvé : ") + QString::number(m_ids.value("A"))));
    QVERIFY(traces.filter(QChar(13)).isEmpty());
    QVERIFY(traces.filter(QStringLiteral("Envoi")).isEmpty());

    // One candidate whose birth date differs, confirmed: the correction is announced.
    Globals::PatientNeLe = QStringLiteral("02/02/1950");
    dialogs.answer({true});
    m_user = [](TfPatients &window) { window.bValiderClick(); return window.result(); };
    QCOMPARE(identification().identify(file), m_ids.value("A"));
    QCOMPARE(corrections(), 1);
    QVERIFY(dialogs.texts().contains(QStringLiteral("Gestion du ") + Globals::ImportFolder + file
                                     + QStringLiteral("\nEnvoi de modifications d'identification au prestataire...")));
}

QTEST_MAIN(IdentificationTest)
#include "tst_identification.moc"
