// Recording of receipt and import results in the private MariaDB: each test
// uses addresses of its own, so parallel runs never touch the same rows.

#include "platform/Clock.h"
#include "core/Globals.h"
#include "platform/ProgramFolder.h"
#include "reception/RemoteRecording.h"
#include "ScriptedDialogs.h"
#include "ServiceDatabase.h"
#include "TestHome.h"
#include "platform/Windows1252.h"

#include <QDir>
#include <QFile>
#include <QUuid>
#include <QtTest>

namespace {

const QString kNow = QStringLiteral("2024-03-05 08:09:10");

QString logText()
{
    QFile f(ProgramFolder::logFile());
    return f.open(QIODevice::ReadOnly) ? Windows1252::decode(f.readAll()) : QString();
}

// "KORVA_..._dd-MM-yyyy_hh-mm-ss.txt" for a sending time "yyyy-MM-dd hh:mm:ss".
QString reportName(const QString &sent)
{
    const QDateTime t = QDateTime::fromString(sent, QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    return QStringLiteral("KORVA_a_b_c_") + t.toString(QStringLiteral("dd-MM-yyyy_HH-mm-ss")) + QStringLiteral(".txt");
}

} // namespace

class RemoteRecordingTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void receipt_data();
    void receipt();
    void receiptWithoutSendingTimeIsFatal();
    void importResult_data();
    void importResult();
    void importResultWithoutRowIsReported();
    void importResultSkipsWhatItCannotRecord();
    void lostConnectionQuestion_data();
    void lostConnectionQuestion();

private:
    RemoteRecording recording();
    void writeReport(const QString &name, const QString &sender, const QString &recipient);
    void addRow(const QString &sent, const QString &received = {});
    QStringList row(const QString &sent);

    std::unique_ptr<TestHome> m_home;
    std::unique_ptr<ServiceDatabase> m_service;
    QString m_emails;
    QString m_provider, m_factEmail, m_account;
    std::function<bool()> m_connected;
};

void RemoteRecordingTest::initTestCase()
{
    if (!ServiceDatabase::available())
        QSKIP("test services not started (run ./test.sh)");
}

void RemoteRecordingTest::init()
{
    m_home = std::make_unique<TestHome>();
    m_emails = m_home->path() + QStringLiteral("Emails/");
    QVERIFY(QDir().mkpath(m_emails));
    m_service = std::make_unique<ServiceDatabase>();
    const QString tag = QUuid::createUuid().toString(QUuid::Id128).left(12);
    m_provider = QStringLiteral("envoi-%1@souffle.fr").arg(tag);
    m_factEmail = QStringLiteral("facture-%1@souffle.fr").arg(tag);
    m_account = QStringLiteral("dr-%1@cabinet.fr").arg(tag);
    m_service->exec(QStringLiteral("insert into prestataires (Nom, Email, prest2factEmail) values ('Souffle', ?, ?)"),
                    {m_provider, m_factEmail});
    Clock::setSource([] { return QDateTime::fromString(kNow, QStringLiteral("yyyy-MM-dd HH:mm:ss")); });
    m_connected = nullptr;
}

void RemoteRecordingTest::cleanup()
{
    Clock::setSource({});
    m_service.reset();
    Globals::reset();
    m_home.reset();
}

RemoteRecording RemoteRecordingTest::recording()
{
    RemoteRecording::Needs env;
    env.connect = [this](bool reconnect) { return m_service->connect(reconnect); };
    env.connected = [this] { return m_connected ? m_connected() : m_service->connected(); };
    env.connectionName = m_service->name();
    env.accountAddress = [this] { return m_account; };
    env.emailsFolder = m_emails;
    return RemoteRecording(std::move(env));
}

void RemoteRecordingTest::writeReport(const QString &name, const QString &sender, const QString &recipient)
{
    QFile f(m_emails + name);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(QStringLiteral("DUPONT\r\nJean\r\n****LAB****\r\nKORVA|EXPEDITEUR|SENDER||%1||||\r\n"
                           "KORVA|DESTINATAIRE|RECIPIENT||%2||||\r\n****FIN****\r\n****FINFICHIER****\r\n")
                .arg(sender, recipient)
                .toLatin1());
}

void RemoteRecordingTest::addRow(const QString &sent, const QString &received)
{
    m_service->exec(QStringLiteral("insert into prest2facture (date_envoi, dest_email, prest_email, received) "
                                   "values (?, ?, ?, ?)"),
                    {sent, m_account, m_factEmail, received.isEmpty() ? QVariant() : QVariant(received)});
}

QStringList RemoteRecordingTest::row(const QString &sent)
{
    return m_service->row(QStringLiteral("select date_format(received, '%Y-%m-%d %H:%i:%s'), Importation, Bad_dest "
                                         "from prest2facture where date_envoi = ? and dest_email = ?"),
                          {sent, m_account});
}

void RemoteRecordingTest::receipt_data()
{
    QTest::addColumn<QStringList>("sent");       // one report per sending time, walked in this order
    QTest::addColumn<QStringList>("addressedTo"); // "account" or another address
    QTest::addColumn<QString>("sender");          // as the caller passes it
    QTest::addColumn<bool>("stamped");
    QTest::addColumn<QList<bool>>("rowsStamped");

    const QStringList two{"2024-03-01 10:00:00", "2024-03-02 10:00:00"};
    QTest::newRow("two files, sender in angle brackets")
        << two << QStringList{"account", "account"} << "<provider>" << true << QList<bool>{true, true};
    QTest::newRow("blank sender read from the report") << two << QStringList{"account", "account"} << " " << true
                                                       << QList<bool>{true, true};
    QTest::newRow("unknown provider: the file's own addresses")
        << two << QStringList{"account", "account"} << "inconnu@ailleurs.fr" << true << QList<bool>{true, true};
    QTest::newRow("a file for someone else stops the walk")
        << two << QStringList{"autre@cabinet.fr", "account"} << "provider" << false << QList<bool>{false, false};
    QTest::newRow("no report file") << QStringList{} << QStringList{} << "provider" << false << QList<bool>{};
}

void RemoteRecordingTest::receipt()
{
    QFETCH(QStringList, sent);
    QFETCH(QStringList, addressedTo);
    QFETCH(QString, sender);
    QFETCH(bool, stamped);
    QFETCH(QList<bool>, rowsStamped);
    ScriptedDialogs dialogs;
    // The file's own sender line names the provider's billing address.
    for (int i = 0; i < sent.size(); ++i) {
        addRow(sent[i], QStringLiteral("2020-01-01 00:00:00"));
        writeReport(reportName(sent[i]), m_factEmail, addressedTo[i] == "account" ? m_account : addressedTo[i]);
    }
    writeReport(QStringLiteral("notes.txt"), m_factEmail, m_account);
    sender.replace(QStringLiteral("provider"), m_provider);
    const QString first = sent.isEmpty() ? m_emails + QStringLiteral("notes.txt") : m_emails + reportName(sent[0]);

    const RemoteRecording::Receipt result = recording().SaveReceivedDateOnFTP(sender, QString(), first);
    QCOMPARE(result.stamped, stamped);
    QVERIFY(!result.fatal);
    for (int i = 0; i < sent.size(); ++i)
        QCOMPARE(row(sent[i]).value(0), rowsStamped[i] ? kNow : QStringLiteral("2020-01-01 00:00:00"));
    QCOMPARE(dialogs.shown.size(), 0);
}

void RemoteRecordingTest::receiptWithoutSendingTimeIsFatal()
{
    ScriptedDialogs dialogs;
    writeReport(QStringLiteral("KORVA_sans_heure.txt"), m_factEmail, m_account);
    const auto result = recording().SaveReceivedDateOnFTP(m_provider, m_account, m_emails + "KORVA_sans_heure.txt");
    QVERIFY(result.fatal);
    QVERIFY(!result.stamped);
    const QString text = QStringLiteral("Impossible de déterminer l'heure d'envoi de l'observance pour [KORVA_sans_heure.txt] "
                                        "provenant de [") + m_provider + u']';
    QCOMPARE(dialogs.texts(), QStringList{text + QStringLiteral(". Veuillez contacter Tolvarenix.\rFermeture de Tolvarenix Light.")});
    QVERIFY(logText().contains(text));
}

void RemoteRecordingTest::importResult_data()
{
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<int>("patientId");
    QTest::addColumn<QString>("received"); // before
    QTest::addColumn<QString>("importation");
    QTest::addColumn<QString>("badDest");
    QTest::addColumn<QString>("receivedAfter");

    const QString stamp = QStringLiteral(" - 05/03/2024 08:09:10\r\n");
    QTest::newRow("declined, reception time missing")
        << QStringList{"Patient inconnu", "Patients_ID = -3 - PATIENT INCONNU DANS [x]"} << -3 << QString()
        << "Patient inconnu\r\nPatients_ID = -3 - PATIENT INCONNU DANS [x]" + stamp << "1" << kNow;
    QTest::newRow("empty result, reception time kept")
        << QStringList{} << 12 << "2024-03-04 07:00:00" << "Patient inconnu" + stamp << "0" << "2024-03-04 07:00:00";
    QTest::newRow("imported") << QStringList{"Patient_ID : 12 - correction du patient"} << 12 << "2024-03-04 07:00:00"
                              << "Patient_ID : 12 - correction du patient" + stamp << "0" << "2024-03-04 07:00:00";
}

void RemoteRecordingTest::importResult()
{
    QFETCH(QStringList, lines);
    QFETCH(int, patientId);
    QFETCH(QString, received);
    QFETCH(QString, importation);
    QFETCH(QString, badDest);
    QFETCH(QString, receivedAfter);
    ScriptedDialogs dialogs;
    const QString sent = QStringLiteral("2024-03-03 09:30:00");
    addRow(sent, received);
    writeReport(reportName(sent), m_factEmail, m_account);

    const auto outcome =
        recording().SaveImportationResultOnFTP(m_provider, QString(), m_emails + reportName(sent), lines, patientId);
    QCOMPARE(outcome, RemoteRecording::Outcome::Recorded);
    QCOMPARE(row(sent), (QStringList{receivedAfter, importation, badDest}));
    QCOMPARE(lines.join(u'\n') + QStringLiteral("\r\n"), QString(importation).replace("\r\n", "\n").chopped(1) + "\r\n");
    QCOMPARE(dialogs.shown.size(), 0);
}

void RemoteRecordingTest::importResultWithoutRowIsReported()
{
    ScriptedDialogs dialogs;
    const QString name = reportName(QStringLiteral("2024-03-03 11:00:00"));
    writeReport(name, m_factEmail, m_account);
    QStringList lines{"Patient_ID : 4"};
    QCOMPARE(recording().SaveImportationResultOnFTP(m_provider, m_account, m_emails + name, lines, 4),
             RemoteRecording::Outcome::NoRow);
    QVERIFY(logText().contains(QStringLiteral("résultat de l'importation non enregistré : Patient_ID : 4 - 05/03/2024 08:09:10")));
}

void RemoteRecordingTest::importResultSkipsWhatItCannotRecord()
{
    ScriptedDialogs dialogs;
    writeReport(QStringLiteral("rapport.txt"), m_factEmail, m_account);
    QStringList lines{"x"};
    QCOMPARE(recording().SaveImportationResultOnFTP(m_provider, m_account, m_emails + "rapport.txt", lines, 1),
             RemoteRecording::Outcome::NotApplicable);
    QCOMPARE(recording().SaveImportationResultOnFTP(m_provider, m_account, m_emails + "absent.txt", lines, 1),
             RemoteRecording::Outcome::NotApplicable);
    QVERIFY(logText().contains(QStringLiteral("Impossible de trouver le fichier [") + m_emails + "absent.txt]"));
    QCOMPARE(lines, QStringList{"x"});

    RemoteRecording::Needs offline;
    offline.connect = [](bool) { return false; };
    QCOMPARE(RemoteRecording(offline).SaveImportationResultOnFTP(m_provider, m_account, m_emails + "rapport.txt", lines, 1),
             RemoteRecording::Outcome::Unreachable);
    QVERIFY(!RemoteRecording(offline).SaveReceivedDateOnFTP(m_provider, m_account, QString()).stamped);
    QCOMPARE(dialogs.shown.size(), 0);
}

void RemoteRecordingTest::lostConnectionQuestion_data()
{
    QTest::addColumn<bool>("retry");
    QTest::newRow("given up") << false;
    QTest::newRow("tried again") << true;
}

void RemoteRecordingTest::lostConnectionQuestion()
{
    QFETCH(bool, retry);
    ScriptedDialogs dialogs;
    const QString sent = QStringLiteral("2024-03-03 12:00:00");
    addRow(sent);
    writeReport(reportName(sent), m_factEmail, m_account);
    // Reached at the start, then lost until the user asks again.
    int calls = 0;
    RemoteRecording::Needs env;
    env.connect = [&](bool reconnect) { return ++calls != 2 && m_service->connect(reconnect); };
    env.connected = [&] { return calls >= 3 && m_service->connected(); };
    env.connectionName = m_service->name();
    env.accountAddress = [this] { return m_account; };
    dialogs.answer({retry});
    QStringList lines{"Patient_ID : 7"};

    const auto outcome =
        RemoteRecording(env).SaveImportationResultOnFTP(m_provider, QString(), m_emails + reportName(sent), lines, 7);
    QCOMPARE(outcome, retry ? RemoteRecording::Outcome::Recorded : RemoteRecording::Outcome::Fatal);
    QVERIFY(dialogs.lastText().startsWith(QStringLiteral("Votre connexion à la base de données MySQL de Tolvarenix a été "
                                                         "interrompue")));
    QVERIFY(logText().contains(retry ? QStringLiteral("SaveImportationResultOnFTP : la reconnexion")
                                     : QStringLiteral("Abandon de l'utilisateur.")));
    QCOMPARE(row(sent).value(1), retry ? QStringLiteral("Patient_ID : 7 - 05/03/2024 08:09:10\r\n")
                                       : QStringLiteral("<null>"));
}

QTEST_MAIN(RemoteRecordingTest)
#include "tst_remoterecording.moc"
