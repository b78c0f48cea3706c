// The reception command against the private dovecot and MariaDB of the test
// services, with real 7z archives. Each test uses addresses of its own in the
// service database; the mailbox is shared (RESOURCE_LOCK pop3_mailbox).

#include "../core/ArchiveFixtures.h"

#include "Dialogs.h"
#include "Globals.h"
#include "LocalDatabase.h"
#include "MainWindow.h"
#include "MessageAction.h"
#include "Pop3TestMailbox.h"
#include "ProgramFolder.h"
#include "Reception.h"
#include "RemoteDatabase.h"
#include "ScriptedDialogs.h"
#include "ServiceDatabase.h"
#include "TestHome.h"

#include <QApplication>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QUuid>
#include <QtTest>

namespace {

const QString kSent = QStringLiteral("2024-03-05 08:09:10");
const QString kReport = QStringLiteral("KORVA_a_b_c_05-03-2024_08-09-10.txt");

// The main window with its service database replaced by the private one.
class TestWindow : public MainWindow
{
public:
    ServiceDatabase *service = nullptr;
    int connects = 0;
    // The answer to the n-th connection, when the test decides it.
    std::function<bool(int call)> answer;
    bool ConnectInternetDatabase(bool reconnect) override
    {
        ++connects;
        return answer ? answer(connects) : service->connect(reconnect);
    }
};

// Answers the per-message dialog once it is shown modally with the given result.
void answerDialog(int result, std::function<void()> before = {})
{
    auto *timer = new QTimer;
    timer->setInterval(20);
    QObject::connect(timer, &QTimer::timeout, [timer, result, before] {
        auto *dialog = qobject_cast<TFMessageAction *>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        timer->stop();
        timer->deleteLater();
        if (before)
            before();
        dialog->done(result);
    });
    timer->start();
}

} // namespace

class ReceptionTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void archiveWithReportGoesToImport();
    void messageKeptWhenNotSafe_data();
    void messageKeptWhenNotSafe();
    void refusalIsRecorded();
    void lostServiceDatabaseStopsAndKeepsEverything();
    void failedDeletionWithdrawsReport();
    void ordinaryMessage_data();
    void ordinaryMessage();
    void commandNeedsServiceAndRunsOnce();
    void statusShownBeforeConnecting();
    void closingWhileDialogOpenKeepsMessage();

private:
    QByteArray archive(const QString &password, const QString &recipient);
    void deliverReport(const QString &text, const QByteArray &pj);
    void addRow();
    QStringList row();
    QStringList importFiles(const QString &sub = {}) const;

    Pop3TestMailbox m_box;
    std::unique_ptr<TestHome> m_home;
    std::unique_ptr<ServiceDatabase> m_service;
    std::unique_ptr<TestWindow> m_window;
    std::unique_ptr<ScriptedDialogs> m_dialogs;
    QString m_account, m_provider, m_factEmail;
};

void ReceptionTest::initTestCase()
{
    if (!m_box.available() || !ServiceDatabase::available())
        QSKIP("test services not started (run ./test.sh)");
}

void ReceptionTest::init()
{
    m_box.clear();
    Globals::reset();
    m_home = std::make_unique<TestHome>();
    m_dialogs = std::make_unique<ScriptedDialogs>();
    Globals::BaseFolder = m_home->path() + "Base/";
    Globals::ImportFolder = m_home->path() + "ForImportation/";
    Globals::SevenZipFolder = QStringLiteral("/usr/bin/");
    QVERIFY(QDir().mkpath(Globals::BaseFolder));
    QVERIFY(QDir().mkpath(Globals::ImportFolder + "Attachments"));

    const QString tag = QUuid::createUuid().toString(QUuid::Id128).left(12);
    m_account = QStringLiteral("dr-%1@cabinet.fr").arg(tag);
    m_provider = QStringLiteral("envoi-%1@souffle.fr").arg(tag);
    m_factEmail = QStringLiteral("facture-%1@souffle.fr").arg(tag);
    m_service = std::make_unique<ServiceDatabase>(RemoteDatabase::connectionName());
    m_service->exec("insert into prestataires (Nom, Email, prest2factEmail) values ('Souffle', ?, ?)",
                    {m_provider, m_factEmail});

    m_window = std::make_unique<TestWindow>();
    m_window->service = m_service.get();
    Globals::fMain = m_window.get();
    LocalDatabase &db = m_window->database();
    db.createAndOpen(Globals::BaseFolder, ProgramFolder::configurationFile());
    const Pop3Account pop3 = m_box.account();
    db.TMail.append();
    db.TMail.field("COMPTE").setAsString("Cabinet");
    db.TMail.field("ADRESSE").setAsString(m_account);
    db.TMail.field("SERVEUR_POP3").setAsString(pop3.host);
    db.TMail.field("PORT_POP3").setAsInteger(pop3.port);
    db.TMail.field("Secured").setAsBoolean(false);
    db.TMail.field("LOGIN").setAsString(pop3.user);
    db.TMail.field("PASSWORD").setAsString(pop3.password);
    db.TMail.post();
    db.TMail.close();
}

void ReceptionTest::cleanup()
{
    if (m_window)
        m_window->database().close();
    m_window.reset();
    m_service.reset();
    m_dialogs.reset();
    m_home.reset();
    Globals::reset();
    Dialogs::resetClosing();
    m_box.clear();
}

// "PJ.7z" holding a report addressed to recipient and a document.
QByteArray ReceptionTest::archive(const QString &password, const QString &recipient)
{
    QTemporaryDir dir;
    writeFile(dir.filePath("content/" + kReport),
              QStringLiteral("DUPONT\r\nJean\r\n****LAB****\r\nKORVA|EXPEDITEUR|SENDER||%1||||\r\n"
                             "KORVA|DESTINATAIRE|RECIPIENT||%2||||\r\n****FIN****\r\n****FINFICHIER****\r\n")
                  .arg(m_provider, recipient)
                  .toLatin1());
    writeFile(dir.filePath("content/courbe.pdf"), "%PDF-1.4 courbe");
    makeArchive(dir.filePath("PJ.7z"), dir.filePath("content"), {"-p" + password});
    return readFile(dir.filePath("PJ.7z"));
}

void ReceptionTest::deliverReport(const QString &text, const QByteArray &pj)
{
    m_box.deliver(Pop3TestMailbox::message("Observances", m_provider, text, {{"PJ.7z", pj}}));
}

void ReceptionTest::addRow()
{
    m_service->exec("insert into prest2facture (date_envoi, dest_email, prest_email) values (?, ?, ?)",
                    {kSent, m_account, m_factEmail});
}

QStringList ReceptionTest::row()
{
    return m_service->row("select received is not null, Importation from prest2facture "
                          "where date_envoi = ? and dest_email = ?",
                          {kSent, m_account});
}

QStringList ReceptionTest::importFiles(const QString &sub) const
{
    return QDir(Globals::ImportFolder + sub).entryList(QDir::Files, QDir::Name);
}

void ReceptionTest::archiveWithReportGoesToImport()
{
    addRow();
    deliverReport(QString(), archive(Reception::kArchivePassword, m_account));
    QVERIFY(Reception(*m_window).ReceiveEmails());

    QVERIFY2(m_dialogs->shown.isEmpty(), qPrintable(m_dialogs->texts().join(" | ")));
    QCOMPARE(importFiles(), QStringList{kReport});
    QCOMPARE(importFiles("Attachments"), QStringList{"courbe.pdf"});
    QCOMPARE(m_box.storedMessages(), 0);
    QCOMPARE(row().value(0), QStringLiteral("1"));
    QVERIFY(QDir(Globals::EmailsFolder).isEmpty());
    QCOMPARE(Globals::ProcessedFiles, QStringList{kReport});
    QCOMPARE(m_window->statusText(0), QStringLiteral("Réception des emails terminée."));
}

void ReceptionTest::messageKeptWhenNotSafe_data()
{
    QTest::addColumn<bool>("row");
    QTest::addColumn<QString>("recipient");
    QTest::addColumn<QString>("password");
    QTest::addColumn<int>("cut"); // bytes cut off the end of the archive
    QTest::addColumn<QString>("why");
    const QString pw = Reception::kArchivePassword;
    const QString notRecorded = "[" + kReport + "] n'a pas pu être enregistrée";
    QTest::newRow("no row for the report") << false << QString() << pw << 0 << notRecorded;
    QTest::newRow("report for another physician") << true << "autre@cabinet.fr" << pw << 0 << notRecorded;
    QTest::newRow("truncated archive") << true << QString() << pw << 40 << "Impossible de décompresser l'archive";
    QTest::newRow("other password") << true << QString() << "autre" << 0 << "Impossible de décompresser l'archive";
}

void ReceptionTest::messageKeptWhenNotSafe()
{
    QFETCH(bool, row);
    QFETCH(QString, recipient);
    QFETCH(QString, password);
    QFETCH(int, cut);
    QFETCH(QString, why);
    if (row)
        addRow();
    QByteArray pj = archive(password, recipient.isEmpty() ? m_account : recipient);
    pj.chop(cut);
    deliverReport("Bonjour", pj);
    QVERIFY(Reception(*m_window).ReceiveEmails());

    QCOMPARE(m_box.storedMessages(), 1);
    QVERIFY(importFiles().isEmpty());
    QVERIFY(importFiles("Attachments").isEmpty());
    QVERIFY(Globals::ProcessedFiles.isEmpty());
    QVERIFY(QDir(Globals::EmailsFolder).isEmpty());
    QCOMPARE(m_dialogs->shown.size(), 1);
    QVERIFY2(m_dialogs->lastText().contains(why), qPrintable(m_dialogs->lastText()));
    QVERIFY(m_dialogs->lastText().contains("conservé sur le serveur de messagerie"));
}

void ReceptionTest::refusalIsRecorded()
{
    addRow();
    deliverReport("Voici le relevé", archive(Reception::kArchivePassword, m_account));
    answerDialog(TFMessageAction::kResultDelete);
    QVERIFY(Reception(*m_window).ReceiveEmails());

    QCOMPARE(m_box.storedMessages(), 0);
    QVERIFY(importFiles().isEmpty());
    const QStringList recorded = row();
    QCOMPARE(recorded.value(0), QStringLiteral("1"));
    QVERIFY2(recorded.value(1).startsWith("Suppression du mail par l'utilisateur - "), qPrintable(recorded.value(1)));
}

void ReceptionTest::lostServiceDatabaseStopsAndKeepsEverything()
{
    addRow();
    deliverReport(QString(), archive(Reception::kArchivePassword, m_account));
    deliverReport(QString(), archive(Reception::kArchivePassword, m_account));
    // Reached at the start, lost before the receipt, and the physician gives up.
    m_window->answer = [this](int call) {
        if (call == 1)
            return m_service->connect(true);
        m_service->database().close();
        return call == 2;
    };
    QVERIFY(!Reception(*m_window).ReceiveEmails());

    QVERIFY(m_window->tmrClose->isActive());
    m_window->tmrClose->stop();
    QCOMPARE(m_dialogs->unscriptedQuestions, 1);
    QCOMPARE(m_box.storedMessages(), 2);
    QVERIFY(importFiles().isEmpty());
    QVERIFY(QDir(Globals::EmailsFolder).isEmpty());
}

void ReceptionTest::failedDeletionWithdrawsReport()
{
    addRow();
    deliverReport("Voici le relevé", archive(Reception::kArchivePassword, m_account));
    // Another program takes the message away while the physician reads it.
    const QByteArray other = Pop3TestMailbox::message("Autre", "a@example.org", "x");
    answerDialog(TFMessageAction::kResultImport, [this, other] {
        m_box.clear();
        m_box.deliver(other);
    });
    QVERIFY(Reception(*m_window).ReceiveEmails());

    QVERIFY(importFiles().isEmpty());
    QVERIFY(Globals::ProcessedFiles.isEmpty());
    QCOMPARE(m_box.storedMessages(), 1);
    QVERIFY(m_dialogs->lastText().contains("n'a pas pu être supprimé du serveur de messagerie"));
}

void ReceptionTest::ordinaryMessage_data()
{
    QTest::addColumn<int>("answer");
    QTest::addColumn<QStringList>("imported");
    QTest::addColumn<QStringList>("attachments");
    QTest::newRow("import") << int(TFMessageAction::kResultImport) << QStringList{"KORVA_x.txt"}
                            << QStringList{"lettre.txt"};
    QTest::newRow("delete") << int(TFMessageAction::kResultDelete) << QStringList{} << QStringList{};
}

void ReceptionTest::ordinaryMessage()
{
    QFETCH(int, answer);
    QFETCH(QStringList, imported);
    QFETCH(QStringList, attachments);
    m_box.deliver(Pop3TestMailbox::message("Courrier", "a@example.org", "Bonjour",
                                           {{"lettre.txt", "Cher confrère"}, {"KORVA_x.txt", "rapport"}}));
    answerDialog(answer);
    QVERIFY(Reception(*m_window).ReceiveEmails());

    QCOMPARE(m_box.storedMessages(), 0);
    QCOMPARE(importFiles(), imported);
    QCOMPARE(importFiles("Attachments"), attachments);
    QVERIFY(QDir(Globals::EmailsFolder).isEmpty());
}

void ReceptionTest::commandNeedsServiceAndRunsOnce()
{
    m_box.deliver(Pop3TestMailbox::message("Courrier", "a@example.org", "Bonjour", {{"lettre.txt", "x"}}));
    m_window->answer = [](int) { return false; };
    m_window->bEmailClick();
    QCOMPARE(m_dialogs->lastText(), QStringLiteral("Impossible de se connecter à internet. Veuillez vérifier votre "
                                                   "connexion et le paramétrage de votre pare-feu."));
    QCOMPARE(m_box.storedMessages(), 1);

    // A second click while the dialog of the first reception is open does nothing.
    m_window->answer = nullptr;
    int connectsDuringDialog = -1;
    answerDialog(TFMessageAction::kResultDelete, [this, &connectsDuringDialog] {
        const int before = m_window->connects;
        QVERIFY(Reception::running());
        m_window->bEmailClick();
        connectsDuringDialog = m_window->connects - before;
    });
    int imports = 0;
    Reception::bEmailClick(*m_window, [&imports] { ++imports; });
    QCOMPARE(connectsDuringDialog, 0);
    QCOMPARE(imports, 1);
    QVERIFY(!Reception::running());
    QCOMPARE(m_box.storedMessages(), 0);
}

void ReceptionTest::statusShownBeforeConnecting()
{
    QString shownWhileConnecting;
    m_window->answer = [this, &shownWhileConnecting](int) {
        shownWhileConnecting = m_window->statusText(0);
        return false;
    };
    m_window->bEmailClick();
    QCOMPARE(shownWhileConnecting, QStringLiteral("Réception en cours. Veuillez patienter..."));
}

// The session ends while the physician reads a report's message: the dialog
// ends without an answer, nothing is recorded, the message stays on the
// server and no import starts.
void ReceptionTest::closingWhileDialogOpenKeepsMessage()
{
    addRow();
    deliverReport("Voici le relevé", archive(Reception::kArchivePassword, m_account));
    QTimer closer;
    closer.setInterval(20);
    connect(&closer, &QTimer::timeout, this, [&] {
        if (qobject_cast<TFMessageAction *>(QApplication::activeModalWidget())) {
            closer.stop();
            m_window->requestClose();
        }
    });
    closer.start();
    m_window->bEmailClick();

    QVERIFY(!closer.isActive());
    QCOMPARE(m_box.storedMessages(), 1);
    QCOMPARE(row().value(1), QStringLiteral("<null>"));
    QVERIFY(importFiles().isEmpty());
    QVERIFY(Globals::ProcessedFiles.isEmpty());
    QVERIFY(m_window->tmrClose->isActive());
    m_window->tmrClose->stop();
}

QTEST_MAIN(ReceptionTest)
#include "tst_reception.moc"
