// The reception command against the private dovecot and MariaDB of the test
// services, with real 7z archives. Each test uses addresses of its own in the
// service database; the mailbox is shared (RESOURCE_LOCK pop3_mailbox).

#include "ArchiveFixtures.h"
#include "views/Patients.h"
#include "reception/ReportImport.h"
#include "platform/Windows1252.h"

#include "platform/Dialogs.h"
#include "core/Globals.h"
#include "core/LocalDatabase.h"
#include "reception/MailboxOperations.h"
#include "app/MainWindow.h"
#include "reception/MessageAction.h"
#include "Pop3TestMailbox.h"
#include "platform/ProgramFolder.h"
#include "reception/Reception.h"
#include "core/RemoteDatabase.h"
#include "ScriptedDialogs.h"
#include "ServiceDatabase.h"
#include "TestHome.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <QUuid>
#include <QtTest>

#include <openssl/ssl.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <mutex>
#include <set>
#include <thread>

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

// Answers every per-message dialog with Importer and records its counter
// and subject.
struct DialogAnswerer {
    QStringList numbers;
    QStringList subjects;
    QTimer timer;
    DialogAnswerer()
    {
        QObject::connect(&timer, &QTimer::timeout, [this] {
            if (auto *dialog = qobject_cast<TFMessageAction *>(QApplication::activeModalWidget())) {
                numbers << dialog->LMessageNumber()->text();
                subjects << dialog->LObjet()->text();
                dialog->done(TFMessageAction::kResultImport);
            }
        });
        timer.start(20);
    }
};

// A report name sent at 05/03/2024 08:<minute>:10, and its date_envoi.
QString reportName(int minute)
{
    return QStringLiteral("KORVA_a_b_c_05-03-2024_08-%1-10.txt").arg(minute, 2, 10, QLatin1Char('0'));
}
QString sentAt(int minute)
{
    return QStringLiteral("2024-03-05 08:%1:10").arg(minute, 2, 10, QLatin1Char('0'));
}

using Files = QList<QPair<QString, QByteArray>>;

// An archive uuencoded in a message's text, as older mailers send it.
QString uuencoded(const QByteArray &data)
{
    QString out = "begin 644 PJ.7z\r\n";
    const auto put = [&out](uint v) { out += QChar(v ? 32 + v : '`'); };
    for (qsizetype at = 0; at < data.size(); at += 45, out += "\r\n") {
        const QByteArray line = data.mid(at, 45), padded = line + QByteArray(2, '\0');
        put(uint(line.size()));
        for (qsizetype i = 0; i < line.size(); i += 3)
            for (int shift : {18, 12, 6, 0})
                put((uchar(padded[i]) << 16 | uchar(padded[i + 1]) << 8 | uchar(padded[i + 2])) >> shift & 63);
    }
    return out + "`\r\nend\r\n";
}

// A loopback POP3 server holding messages (two plain ones unless given) that
// answers every command until the first one beginning with stallAt, then
// stays silent on that connection, or sends that answer a byte every 50 ms,
// or cuts the connection before it, or half-way through it, or just before
// its terminating line, or answers -ERR (later connections are answered
// again). QUIT carries the session's deletions out first. LIST gives sizes
// as they are, or counting each line end as one octet, or too large, or all
// but the last line end (what arrives when the terminating line is lost).
// Options: cuts reset; TLS; no UIDL; Shifted: after a retrieval, another
// mail program takes message 1 away and a new one arrives.
class StallingPop3Server
{
public:
    enum Mode { Silent, Trickle, Cut, Half, Unterminated, Refused };
    enum Listing { Exact, LineEndsAsOne, Overcounted, LastLineEndUncounted };
    enum Option { Reset = 1, Tls = 2, Shifted = 4, NoUidl = 8 };
    explicit StallingPop3Server(const QByteArray &stallAt, Mode mode = Silent, const QList<QByteArray> &mails = {},
                                Listing listing = Exact, int options = 0)
        : m_stallAt(stallAt), m_mode(mode), m_listing(listing), m_options(options), m_mails(mails)
    {
        if (options & Tls) {
            m_tls = SSL_CTX_new(TLS_server_method());
            SSL_CTX_use_certificate_chain_file(m_tls, qPrintable(Pop3TestMailbox().caFile()));
            SSL_CTX_use_PrivateKey_file(m_tls, qPrintable(Pop3TestMailbox().keyFile()), SSL_FILETYPE_PEM);
        }
        if (m_mails.isEmpty())
            for (const char *n : {"1", "2"})
                m_mails << Pop3TestMailbox::message("Courrier " + QString::fromLatin1(n), "a@example.org", "Bonjour");
        m_listener = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        ::bind(m_listener, reinterpret_cast<sockaddr *>(&address), length);
        ::listen(m_listener, 4);
        ::getsockname(m_listener, reinterpret_cast<sockaddr *>(&address), &length);
        m_port = ntohs(address.sin_port);
        m_thread = std::thread([this] {
            for (int client; (client = ::accept(m_listener, nullptr, nullptr)) >= 0;) {
                m_client = client;
                serve(client);
                ::close(client);
            }
        });
    }
    ~StallingPop3Server()
    {
        ::shutdown(m_listener, SHUT_RDWR);
        ::shutdown(m_client, SHUT_RDWR);
        m_thread.join();
        ::close(m_listener);
        SSL_CTX_free(m_tls);
    }
    int port() const { return m_port; }
    qsizetype stored() const
    {
        std::lock_guard lock(m_mutex);
        return m_mails.size();
    }
    int count(const QByteArray &verb) const
    {
        std::lock_guard lock(m_mutex);
        return int(std::count_if(m_commands.cbegin(), m_commands.cend(),
                                 [&](const QString &c) { return c.startsWith(QLatin1String(verb)); }));
    }

private:
    void serve(int client)
    {
        SSL *tls = m_tls ? SSL_new(m_tls) : nullptr;
        bool retrieved = false;
        const auto ended = qScopeGuard([&] {
            SSL_free(tls);
            std::lock_guard lock(m_mutex);
            if (retrieved && (m_options & Shifted)) {
                m_options &= ~Shifted;
                m_mails.removeFirst();
                m_mails << Pop3TestMailbox::message("Courrier 3", "a@example.org", "Nouveau");
            }
        });
        if (tls && (SSL_set_fd(tls, client) != 1 || SSL_accept(tls) != 1))
            return;
        bool stalled = false; // an answer to it, if sent, then goes a byte every 50 ms
        const auto send = [&](const QByteArray &bytes) {
            const bool trickle = stalled && m_mode == Trickle;
            const qsizetype step = trickle ? 1 : bytes.size();
            for (qsizetype i = 0; i < bytes.size()
                                  && (tls ? SSL_write(tls, bytes.data() + i, int(step))
                                          : ::send(client, bytes.data() + i, step, MSG_NOSIGNAL)) > 0;
                 i += step)
                std::this_thread::sleep_for(std::chrono::milliseconds(trickle ? 50 : 0));
        };
        const auto cut = [&] { // closing the connection then resets it, when asked
            const linger reset{1, 0};
            if (m_options & Reset)
                ::setsockopt(client, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
        };
        const auto mail = [this](const QByteArray &n) { return m_mails.value(n.toInt() - 1); };
        const auto listed = [this](const QByteArray &mail) {
            return mail.size() - (m_listing == LineEndsAsOne ? mail.count("\r\n")
                                  : m_listing == Overcounted ? -100 : m_listing == LastLineEndUncounted ? 2 : 0);
        };
        std::set<int> marked; // deleted at QUIT
        send("+OK pret\r\n");
        QByteArray pending;
        bool silent = false;
        char buffer[512];
        for (ssize_t n; (n = tls ? SSL_read(tls, buffer, sizeof buffer) : ::recv(client, buffer, sizeof buffer, 0)) > 0;) {
            pending.append(buffer, n);
            for (qsizetype end; (end = pending.indexOf("\r\n")) >= 0;) {
                const QByteArray line = pending.left(end);
                pending.remove(0, end + 2);
                const QList<QByteArray> words = line.split(' ');
                const QByteArray arg = words.value(1);
                if (silent)
                    continue; // what the client sends after it goes unrecorded
                {
                    std::lock_guard lock(m_mutex);
                    m_commands << QString::fromLatin1(line);
                    if (words[0] == "DELE")
                        marked.insert(arg.toInt());
                    for (auto n = marked.rbegin(); words[0] == "QUIT" && n != marked.rend(); ++n)
                        m_mails.removeAt(*n - 1);
                }
                stalled = line.startsWith(m_stallAt);
                retrieved = retrieved || words[0] == "RETR";
                if (stalled && m_mode == Cut)
                    return cut();
                silent = stalled && m_mode == Silent;
                if (silent)
                    continue;
                QByteArray answer = "+OK\r\n";
                if (words[0] == "CAPA" || (stalled && m_mode == Refused) || (words[0] == "UIDL" && (m_options & NoUidl)))
                    answer = "-ERR\r\n";
                else if (words[0] == "STAT")
                    answer = "+OK " + QByteArray::number(m_mails.size()) + " 1000\r\n";
                else if (words[0] == "UIDL" && arg.isEmpty())
                    answer = "+OK\r\n" + QByteArray("1 u1\r\n2 u2\r\n").left(6 * m_mails.size()) + ".\r\n"; // two at most
                else if (words[0] == "LIST" && !arg.isEmpty())
                    answer = "+OK " + arg + ' ' + QByteArray::number(listed(mail(arg))) + "\r\n";
                else if (words[0] == "LIST") {
                    for (qsizetype i = 0; i < m_mails.size(); ++i)
                        answer += QByteArray::number(i + 1) + ' ' + QByteArray::number(listed(m_mails[i])) + "\r\n";
                    answer += ".\r\n";
                }
                else if (words[0] == "TOP" || words[0] == "RETR")
                    answer = "+OK\r\n" + mail(arg) + ".\r\n";
                if (stalled && (m_mode == Half || m_mode == Unterminated)) {
                    send(m_mode == Half ? answer.left(answer.size() / 2) : answer.chopped(3));
                    return cut();
                }
                send(answer);
            }
        }
    }

    QByteArray m_stallAt;
    Mode m_mode;
    Listing m_listing;
    int m_options;
    QList<QByteArray> m_mails;
    SSL_CTX *m_tls = nullptr;
    int m_listener = -1;
    std::atomic_int m_client = -1;
    int m_port = 0;
    std::thread m_thread;
    mutable std::mutex m_mutex;
    QStringList m_commands;
};

} // namespace

class ReceptionTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void archiveWithReportGoesToImport_data();
    void archiveWithReportGoesToImport();
    void messageKeptWhenNotSafe_data();
    void messageKeptWhenNotSafe();
    void refusalIsRecorded();
    void lostServiceDatabaseStopsAndKeepsEverything();
    void failedDeletionWithdrawsReport();
    void ordinaryMessage_data();
    void ordinaryMessage();
    void commandNeedsServiceAndRunsOnce();
    void sameNamedDocumentsKeptApart();
    void messageKeptWhenFileCannotBePlaced_data();
    void messageKeptWhenFileCannotBePlaced();
    void messageFilesFollowTheirReports_data();
    void messageFilesFollowTheirReports();
    void unreadableReportNameSetAside();
    void unreadableReportSentAgainSetAsideAgain();
    void unrecordedRefusalKeepsMessage();
    void mailboxChangedMeanwhile();
    void archiveRefused_data();
    void archiveRefused();
    void receptionAndImportEndToEnd();
    void statusShownBeforeConnecting();
    void closingWhileDialogOpenKeepsMessage();
    void stalledServerEndsReception_data();
    void stalledServerEndsReception();
    void messageTakenOnlyWhole_data();
    void messageTakenOnlyWhole();

private:
    QByteArray pack(const Files &files, const QString &password = Reception::kArchivePassword);
    QByteArray report(const QString &nom, const QString &prenom, const QString &neLe, const QStringList &documents = {},
                      const QString &reportDate = "05/03/2017");
    void addRow(const QString &sent);
    QByteArray archive(const QString &password, const QString &recipient);
    void deliverReport(const QString &text, const QByteArray &pj);
    void addRow();
    QStringList row();
    QStringList importFiles(const QString &sub = {}) const;
    void pointMailAt(int port, bool secured);
    // One reception from the server on that port, every question answered
    // yes, with short time-outs unless defaultWaits.
    void receiveFrom(int port, bool secured = false, bool defaultWaits = false);

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
                             "KORVA|DESTINATAIRE|RECIPIENT||%2||||\r\nKORVA|Courbe|PJ||courbe.pdf|\r\n****FIN****\r\n"
                             "****FINFICHIER****\r\n")
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

// "PJ.7z" holding the given files (folders in their names).
QByteArray ReceptionTest::pack(const Files &files, const QString &password)
{
    QTemporaryDir dir;
    for (const auto &[name, content] : files)
        writeFile(dir.filePath("content/" + name), content);
    makeArchive(dir.filePath("PJ.7z"), dir.filePath("content"), {"-p" + password});
    return readFile(dir.filePath("PJ.7z"));
}

// A complete one-block report of this test's provider to this test's account.
QByteArray ReceptionTest::report(const QString &nom, const QString &prenom, const QString &neLe,
                                 const QStringList &documents, const QString &reportDate)
{
    QStringList lines{"H|report", nom, prenom, {}, {}, {}, neLe, {}, {}, reportDate, "PRESTATAIRE  Souffle Dom"};
    while (lines.size() < 18)
        lines << "x";
    lines << "Relevé de l'été" << "****LAB****" << QStringLiteral("KORVA|EXPEDITEUR|SENDER||%1||||").arg(m_provider)
          << QStringLiteral("KORVA|DESTINATAIRE|RECIPIENT||%1||||").arg(m_account);
    for (const QString &document : documents)
        lines << "KORVA|Document|PJ||" + document + "|";
    lines << "****FIN****" << "****FINFICHIER****";
    return Windows1252::encode(lines.join("\r\n") + "\r\n");
}

void ReceptionTest::addRow(const QString &sent)
{
    m_service->exec("insert into prest2facture (date_envoi, dest_email, prest_email) values (?, ?, ?)",
                    {sent, m_account, m_factEmail});
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

void ReceptionTest::archiveWithReportGoesToImport_data()
{
    QTest::addColumn<bool>("inText");
    QTest::newRow("attached") << false;
    QTest::newRow("uuencoded in the text") << true;
}

void ReceptionTest::archiveWithReportGoesToImport()
{
    QFETCH(bool, inText);
    const DialogAnswerer answerer; // a message shown would be answered "&Importer"
    addRow();
    const QByteArray pj = archive(Reception::kArchivePassword, m_account);
    m_box.deliver(Pop3TestMailbox::message("Observances", m_provider, inText ? uuencoded(pj) : QString(),
                                           inText ? Files() : Files{{"PJ.7z", pj}}));
    // Left by a reception stopped short: its message is still on the server.
    writeFile(m_home->path() + "Emails/.archive1/" + reportName(1), "rapport");
    QVERIFY(Reception(*m_window).ReceiveEmails());

    QVERIFY2(m_dialogs->shown.isEmpty(), qPrintable(m_dialogs->texts().join(" | ")));
    QVERIFY(answerer.numbers.isEmpty());
    QCOMPARE(importFiles(), QStringList{kReport});
    QCOMPARE(entriesBelow(Globals::ImportFolder + "Attachments"),
             (QStringList{"KORVA_a_b_c_05-03-2024_08-09-10", "KORVA_a_b_c_05-03-2024_08-09-10/courbe.pdf"}));
    QCOMPARE(m_box.storedMessages(), 0);
    QCOMPARE(row().value(0), QStringLiteral("1"));
    QCOMPARE(entriesBelow(Globals::EmailsFolder), QStringList());
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
    QCOMPARE(entriesBelow(Globals::EmailsFolder), QStringList());
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
    QCOMPARE(entriesBelow(Globals::EmailsFolder), QStringList());
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
                            << QStringList{"KORVA_x", "KORVA_x_non_nommes", "KORVA_x_non_nommes/lettre.txt"};
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
    QCOMPARE(entriesBelow(Globals::ImportFolder + "Attachments"), attachments);
    QCOMPARE(entriesBelow(Globals::EmailsFolder), QStringList());
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

void ReceptionTest::sameNamedDocumentsKeptApart()
{
    // Two patients' documents named alike, one of them in an archive sub-folder.
    for (int minute : {1, 2, 3, 4})
        addRow(sentAt(minute));
    const QString attachments = Globals::ImportFolder + "Attachments/";
    writeFile(attachments + QFileInfo(reportName(1)).completeBaseName() + "/autre.pdf", "autre");
    deliverReport({}, pack({{reportName(1), report("DUPONT", "Jean", "01/01/1950", {"cr.pdf"})}, {"cr.pdf", "%PDF dupont"}}));
    deliverReport({}, pack({{reportName(2), report("MARTIN", "Paul", "02/02/1952", {"cr.pdf"})}, {"docs/cr.pdf", "%PDF martin"}}));
    // Two archives of one name in one message: each is kept.
    m_box.deliver(Pop3TestMailbox::message("Observances", m_provider, {},
        {{"PJ.7z", pack({{reportName(3), report("DURAND", "Luc", "03/03/1953", {"cr3.pdf"})}, {"cr3.pdf", "%PDF 3"}})},
         {"PJ.7z", pack({{reportName(4), report("PETIT", "Marc", "04/04/1954", {"cr4.pdf"})}, {"cr4.pdf", "%PDF 4"}})}}));
    QVERIFY(Reception(*m_window).ReceiveEmails());

    QVERIFY2(m_dialogs->shown.isEmpty(), qPrintable(m_dialogs->texts().join(" | ")));
    QCOMPARE(m_box.storedMessages(), 0);
    QCOMPARE(importFiles(), (QStringList{reportName(1), reportName(2), reportName(3), reportName(4)}));
    QCOMPARE(readFile(attachments + "remplaces/" + QFileInfo(reportName(1)).completeBaseName() + "/autre.pdf"), "autre");
    QCOMPARE(readFile(attachments + QFileInfo(reportName(4)).completeBaseName() + "/cr4.pdf"), "%PDF 4");
    QCOMPARE(readFile(attachments + QFileInfo(reportName(1)).completeBaseName() + "/cr.pdf"), "%PDF dupont");
    QCOMPARE(readFile(attachments + QFileInfo(reportName(2)).completeBaseName() + "/cr.pdf"), "%PDF martin");
    QVERIFY(importFiles("Attachments").isEmpty());
}

void ReceptionTest::messageKeptWhenFileCannotBePlaced_data()
{
    QTest::addColumn<QString>("waiting");   // file already in the import folder
    QTest::addColumn<QByteArray>("message");
    QTest::addColumn<QString>("why");
    QTest::addColumn<bool>("never");        // no reception could place it: its deletion is offered
    QTest::newRow("report already waiting") << reportName(1) << QByteArray() << "existe déjà" << false;
    QTest::newRow("two files of one name") << QString() << QByteArray("docs/cr.pdf") << "plusieurs fichiers nommés [cr.pdf]" << true;
    QTest::newRow("a name, two files out of its archive") << QString() << QByteArray("archives") << "plusieurs fichiers nommés [cr.pdf]" << true;
}

void ReceptionTest::messageKeptWhenFileCannotBePlaced()
{
    QFETCH(QString, waiting);
    QFETCH(QByteArray, message);
    QFETCH(QString, why);
    QFETCH(bool, never);
    addRow(sentAt(1));
    if (!waiting.isEmpty())
        writeFile(Globals::ImportFolder + waiting, "déjà là");
    const DialogAnswerer answerer; // "&Importer" to a message shown
    const QByteArray named = report("DUPONT", "Jean", "01/01/1950", {"cr.pdf"});
    if (message == "archives") {
        m_box.deliver(Pop3TestMailbox::message("Observances", m_provider, {}, {{"PJ.7z", pack({{reportName(1), named}})},
            {"PJ.7z", pack({{"cr.pdf", "autre"}})}, {"cr.pdf", "%PDF"}}));
    } else {
        Files files = {{reportName(1), named}, {"cr.pdf", "%PDF"}};
        if (!message.isEmpty())
            files.append({QString::fromLatin1(message), "%PDF autre"});
        deliverReport({}, pack(files));
    }
    QVERIFY(Reception(*m_window).ReceiveEmails());

    QCOMPARE(m_box.storedMessages(), 1);
    const QStringList texts = m_dialogs->texts();
    QVERIFY2(texts.filter(why).size() == 1, qPrintable(texts.join(" | ")));
    QCOMPARE(m_dialogs->shown.last().defaultNo, never); // the deletion offered to a message none can take
    QCOMPARE(texts.filter("il sera traité lors d'une prochaine réception").size(), never ? 0 : 1);
    // Nothing written by the transfer is left, nothing found there was touched.
    QStringList expected;
    if (!waiting.isEmpty())
        expected << waiting;
    QCOMPARE(entriesBelow(Globals::ImportFolder).filter(QRegularExpression("\\.")), expected);
    if (!waiting.isEmpty())
        QCOMPARE(readFile(Globals::ImportFolder + waiting), QByteArray("déjà là"));
    QVERIFY(Globals::ProcessedFiles.isEmpty());
}

void ReceptionTest::messageFilesFollowTheirReports_data()
{
    // Messages, each its archives, each its files; a report names its patient and its documents.
    QTest::addColumn<QList<QList<Files>>>("messages");
    QTest::addColumn<QStringList>("registered"); // patient:content of each document
    QTest::addColumn<int>("aside");              // files left for the physician
    QTest::addColumn<int>("shown");              // messages without a new report, shown and imported
    QTest::newRow("hidden files, one message after another")
        << QList<QList<Files>>{{{{reportName(1), "DUPONT .notes.pdf"}, {".notes.pdf", "notes"}, {".DS_Store", "1"}}},
                               {{{reportName(2), "MARTIN"}, {".DS_Store", "2"}}},
                               {{{reportName(3), "DUPONT"}, {"sub/.DS_Store", "3"}}}}
        << QStringList{"DUPONT:notes"} << 0 << 0;
    QTest::newRow("two reports of one archive, each its document")
        << QList<QList<Files>>{{{{reportName(1), "DUPONT a.pdf"}, {"a.pdf", "a"}, {reportName(2), "MARTIN b.pdf"},
                                 {"b.pdf", "b"}, {"autre.pdf", "x"}}}}
        << QStringList{"DUPONT:a", "MARTIN:b"} << 1 << 0;
    QTest::newRow("two archives, each a report and its cr.pdf")
        << QList<QList<Files>>{{{{reportName(1), "DUPONT cr.pdf"}, {"cr.pdf", "A"}},
                                {{reportName(2), "MARTIN cr.pdf"}, {"cr.pdf", "B"}}}}
        << QStringList{"DUPONT:A", "MARTIN:B"} << 0 << 0;
    QTest::newRow("a report in a folder of the archive")
        << QList<QList<Files>>{{{{"envoi/" + reportName(1), "DUPONT s.pdf"}, {"envoi/s.pdf", "s"}}}}
        << QStringList{"DUPONT:s"} << 0 << 0;
    // Documents without report, hidden files in each archive: they wait for the report.
    QTest::newRow("documents before their report")
        << QList<QList<Files>>{{{{".DS_Store", "1"}, {"a.pdf", "a"}}, {{".DS_Store", "2"}, {"sub/B.PDF", "b"}}},
                               {{{reportName(1), "DUPONT a.pdf b.pdf"}}}}
        << QStringList{"DUPONT:a", "DUPONT:b"} << 0 << 1;
    QTest::newRow("an ordinary e-mail, two attachments of one name, both kept")
        << QList<QList<Files>>{{{{"", ""}, {"cr.pdf", "1"}, {"cr.pdf", "2"}, {"cr.pdf", "1"}}},
                               {{{reportName(1), "DUPONT cr.pdf cr_2.pdf"}}}}
        << QStringList{"DUPONT:1", "DUPONT:2"} << 0 << 1;
    QTest::newRow("an archive of documents only, two attachments of one name: an ordinary e-mail")
        << QList<QList<Files>>{{{{"", ""}, {"ordo.pdf", "1"}, {"ordo.pdf", "2"}}, {{"bilan.pdf", "b"}}},
                               {{{reportName(1), "DUPONT ordo.pdf ordo_2.pdf bilan.pdf"}}}}
        << QStringList{"DUPONT:1", "DUPONT:2", "DUPONT:b"} << 0 << 1;
    // Taken last-received first, the older one waits, the newer one set aside: neither goes to a patient.
    QTest::newRow("one name, two patients' files both kept")
        << QList<QList<Files>>{{{{"", ""}, {"cr.pdf", "D"}}}, {{{"", ""}, {"cr.pdf", "M"}}},
                               {{{reportName(1), "DUPONT cr.pdf"}}, {{reportName(2), "MARTIN cr.pdf"}}}}
        << QStringList{} << 2 << 2;
    // Whichever sending comes first, the other brings the document it lacked.
    QTest::newRow("a report sent twice, each sending one of its documents")
        << QList<QList<Files>>{{{{reportName(1), "DUPONT a.pdf b.pdf"}, {"a.pdf", "a"}}},
                               {{{reportName(1), "DUPONT a.pdf b.pdf"}, {"b.pdf", "b"}}}}
        << QStringList{"DUPONT:a", "DUPONT:b"} << 0 << 1;
}

// Through the whole command: every message leaves the server, each document is
// registered for the report naming it, only what none registered is set aside and shown.
void ReceptionTest::messageFilesFollowTheirReports()
{
    QFETCH(QList<QList<Files>>, messages);
    QFETCH(QStringList, registered);
    QFETCH(int, aside);
    QFETCH(int, shown);
    // The e-mails folder moved to another disk, a link left, and a file a stopped reception left there.
    QVERIFY(QDir().mkpath(m_home->path() + "../elsewhere") && QFile::link(m_home->path() + "../elsewhere", m_home->path() + "Emails"));
    m_home->write("Emails/.archive1/left by a stopped reception.pdf", "old");
    LocalDatabase &db = m_window->database();
    const QMap<QString, QStringList> identity{{"DUPONT", {"Jean", "01/01/1950"}}, {"MARTIN", {"Paul", "02/02/1952"}}};
    for (auto it = identity.cbegin(); it != identity.cend(); ++it) { // patients 1 and 2
        db.tPatients.append();
        for (const auto &[field, value] : {std::pair{"NOM", it.key()}, {"PRENOM", it->at(0)}, {"NE_LE", it->at(1)}})
            db.tPatients.field(field).setAsString(value);
        db.tPatients.post();
    }
    for (const QList<Files> &archives : std::as_const(messages)) {
        Files attachments;
        for (Files files : archives) {
            for (auto &[name, content] : files) {
                const int minute = QFileInfo(name).fileName().section('-', 3, 3).toInt();
                if (!QFileInfo(name).fileName().startsWith("KORVA_"))
                    continue;
                const QStringList words = QString::fromLatin1(content).split(' ');
                addRow(sentAt(minute));
                content = report(words[0], identity[words[0]][0], identity[words[0]][1], words.mid(1),
                                 QStringLiteral("%1/03/2017").arg(minute, 2, 10, QLatin1Char('0')));
            }
            if (files.value(0).first.isEmpty()) // attachments of an ordinary e-mail, no archive
                attachments.append(files.mid(1));
            else
                attachments.append({"PJ.7z", pack(files)});
        }
        m_box.deliver(Pop3TestMailbox::message("Observances", m_provider, {}, attachments));
    }
    const DialogAnswerer answerer; // a message shown would be answered "&Importer"
    Reception::bEmailClick(*m_window, [&] {
        ReportImport::Needs env;
        env.remoteConnectionName = m_service->name();
        env.showResults = [] {};
        ReportImport(*m_window, std::move(env)).ImportObservances();
    });

    QCOMPARE(answerer.numbers.size(), shown);
    QCOMPARE(m_box.storedMessages(), 0);
    QVERIFY(importFiles().isEmpty());
    db.tImages.close();
    db.tImages.open();
    QStringList documents;
    for (db.tImages.first(); !db.tImages.eof(); db.tImages.next())
        documents << identity.keys().at(db.tImages.field("PATIENTS_ID").asInteger() - 1) + ':'
                         + readFile(Globals::BaseFolder + "Docs/" + db.tImages.field("AuxFileName").asString());
    documents.sort();
    QCOMPARE(documents, registered);
    const QStringList left = entriesBelow(Globals::ImportFolder + "Attachments");
    QCOMPARE(std::count_if(left.cbegin(), left.cend(), [](const QString &e) { return QFileInfo(Globals::ImportFolder + "Attachments/" + e).isFile(); }), aside);
    QCOMPARE(m_dialogs->texts().size(), aside ? 1 : 0);
    QVERIFY(!aside || m_dialogs->lastText().startsWith("Des documents reçus n'ont été enregistrés pour aucun patient"));
}

void ReceptionTest::unreadableReportNameSetAside()
{
    const QString unreadable = "KORVA_a_b_c_31-02-2024_08-09-10.txt";
    addRow(sentAt(1));
    deliverReport({}, pack({{reportName(1), report("DUPONT", "Jean", "01/01/1950")}}));
    deliverReport({}, pack({{unreadable, report("MARTIN", "Paul", "02/02/1952", {"cr.pdf"})}, {"cr.pdf", "%PDF"}}));
    QVERIFY(Reception(*m_window).ReceiveEmails());

    QVERIFY(!m_window->tmrClose->isActive());
    QCOMPARE(m_dialogs->texts(), QStringList{"Impossible de déterminer l'heure d'envoi de l'observance pour ["
                                             + unreadable + "] provenant de [" + m_provider
                                             + "]. Veuillez contacter Tolvarenix."});
    QCOMPARE(m_box.storedMessages(), 0);
    QCOMPARE(importFiles(), (QStringList{reportName(1), unreadable + ".rejete"}));
    QCOMPARE(readFile(Globals::ImportFolder + "Attachments/" + QFileInfo(unreadable).completeBaseName() + "/cr.pdf"),
             "%PDF");
    QCOMPARE(m_service->row("select count(*) from prest2facture where dest_email = ? and received is not null",
                            {m_account}),
             QStringList{"1"});

    // A report without documents has its (empty) folder all the same.
    QVERIFY(QFileInfo(Globals::ImportFolder + "Attachments/" + QFileInfo(reportName(1)).completeBaseName()).isDir());
    // The import takes the good report and leaves what was set aside alone.
    LocalTable &patients = m_window->database().tPatients;
    patients.append();
    patients.field("NOM").setAsString("DUPONT");
    patients.field("PRENOM").setAsString("Jean");
    patients.field("NE_LE").setAsString("01/01/1950");
    patients.post();
    ReportImport::Needs env;
    env.remoteConnectionName = m_service->name();
    env.showResults = [] {};
    ReportImport(*m_window, std::move(env)).ImportObservances();
    QCOMPARE(importFiles(), QStringList{unreadable + ".rejete"});
    QCOMPARE(readFile(Globals::ImportFolder + "Attachments/" + QFileInfo(unreadable).completeBaseName() + "/cr.pdf"),
             "%PDF");
}

// A report set aside earlier never holds the same report sent again on the
// server: each is kept under a name of its own.
void ReceptionTest::unreadableReportSentAgainSetAsideAgain()
{
    const QString unreadable = "KORVA_a_b_c_31-02-2024_08-09-10.txt";
    for (const QByteArray &pdf : {"%PDF 1", "%PDF 2"})
        deliverReport({}, pack({{unreadable, report("MARTIN", "Paul", "02/02/1952")}, {"cr.pdf", pdf}}));
    QVERIFY(Reception(*m_window).ReceiveEmails());

    QCOMPARE(m_box.storedMessages(), 0);
    QCOMPARE(importFiles().size(), 2);
    QStringList documents;
    for (const QString &entry : entriesBelow(Globals::ImportFolder + "Attachments"))
        if (entry.endsWith("/cr.pdf"))
            documents << readFile(Globals::ImportFolder + "Attachments/" + entry);
    documents.sort();
    QCOMPARE(documents, (QStringList{"%PDF 1", "%PDF 2"}));
}

void ReceptionTest::unrecordedRefusalKeepsMessage()
{
    addRow();
    deliverReport("Voici le relevé", archive(Reception::kArchivePassword, m_account));
    // The service database answers the reception and the receipt, then no more.
    m_window->answer = [this](int call) { return call <= 2 && m_service->connect(true); };
    answerDialog(TFMessageAction::kResultDelete);
    QVERIFY(Reception(*m_window).ReceiveEmails());

    QCOMPARE(m_box.storedMessages(), 1);
    QVERIFY(importFiles().isEmpty());
    QVERIFY2(m_dialogs->lastText().contains("Le refus de l'observance [" + kReport + "] n'a pas pu être enregistré"),
             qPrintable(m_dialogs->lastText()));
    QVERIFY(m_dialogs->lastText().contains("conservé sur le serveur de messagerie"));
}

void ReceptionTest::mailboxChangedMeanwhile()
{
    m_box.deliver(Pop3TestMailbox::message("Premier", "a@example.org", "un"));
    m_box.deliver(Pop3TestMailbox::message("Second", "a@example.org", "deux"));
    Globals::DebugMode = true;
    m_dialogs->answer({true, true});
    // Another mail program deletes the first message once the list is read.
    bool deleted = false;
    m_dialogs->onShown = [&](const ScriptedDialogs::Shown &shown) {
        if (!shown.question || deleted)
            return;
        deleted = true;
        Pop3Session other(m_box.account());
        other.dele(1);
        other.close();
    };
    QVERIFY(Reception(*m_window).ReceiveEmails());

    QCOMPARE(m_box.storedMessages(), 1);
    const QStringList texts = m_dialogs->texts();
    QVERIFY2(texts.filter("La boîte aux lettres a été modifiée par un autre logiciel de messagerie").size() == 2,
             qPrintable(texts.join(" | ")));
    QVERIFY(texts.filter("pas compatible").isEmpty());
    QVERIFY(texts.filter("corrompu").isEmpty());
}

void ReceptionTest::archiveRefused_data()
{
    QTest::addColumn<QString>("password");
    QTest::addColumn<int>("cut"); // bytes cut off the end of the archive
    QTest::addColumn<QString>("why");
    QTest::addColumn<bool>("deleteIt");
    QTest::addColumn<bool>("link");
    const QString damaged = "est endommagée : elle ne peut pas être décompressée.";
    const QString refused = "ne peut pas être ouverte : son mot de passe est refusé.";
    const QString pw = Reception::kArchivePassword;
    QTest::newRow("truncated, kept") << pw << 40 << damaged << false << false;
    QTest::newRow("other password, kept") << "autre" << 0 << refused << false << false;
    QTest::newRow("other password, saved then deleted") << "autre" << 0 << refused << true << false;
    QTest::newRow("link, saved then deleted") << pw << 0 << "contient un lien ou un fichier spécial" << true << true;
}

void ReceptionTest::archiveRefused()
{
    QFETCH(QString, password);
    QFETCH(int, cut);
    QFETCH(QString, why);
    QFETCH(bool, deleteIt);
    QFETCH(bool, link);
    addRow();
    QByteArray pj = archive(password, m_account);
    if (link) {
        QTemporaryDir dir;
        writeFile(dir.filePath("content/" + kReport), "rapport");
        QVERIFY(QFile::link(kReport, dir.filePath("content/lien")));
        makeArchive(dir.filePath("PJ.7z"), dir.filePath("content"), {"-p" + password, "-snl"});
        pj = readFile(dir.filePath("PJ.7z"));
    }
    pj.chop(cut);
    deliverReport("Bonjour", pj);
    m_dialogs->answer({deleteIt});
    QVERIFY(Reception(*m_window).ReceiveEmails());

    QCOMPARE(m_dialogs->shown.size(), 2);
    const QString warning = m_dialogs->shown.at(0).text;
    QVERIFY2(warning.startsWith("L'archive \"PJ.7z\" du message n°1/1 de [" + m_provider + "] (objet [Observances]) "
                                + why),
             qPrintable(warning));
    // 7-Zip's own words and the folders stay out of the box.
    QVERIFY(!warning.contains("ERROR") && !warning.contains("password") && !warning.contains(Globals::EmailsFolder));
    const ScriptedDialogs::Shown question = m_dialogs->shown.at(1);
    QVERIFY(question.question && question.defaultNo);
    QVERIFY(question.text.startsWith("Souhaitez-vous supprimer le mail n°1 du serveur de messagerie ?"));

    const QDir rejected(Reception::rejectedMessagesFolder());
    const QStringList saved = rejected.entryList(QDir::Files);
    QCOMPARE(m_box.storedMessages(), deleteIt ? 0 : 1);
    QCOMPARE(saved.size(), deleteIt ? 1 : 0);
    if (deleteIt)
        QVERIFY(readFile(rejected.filePath(saved.value(0))).contains("From: " + m_provider.toUtf8()));
    QVERIFY(importFiles().isEmpty());
}

// Four messages through the whole command: reports of two patients with
// their documents, an ordinary e-mail, and a report whose text is shown.
void ReceptionTest::receptionAndImportEndToEnd()
{
    LocalDatabase &db = m_window->database();
    QMap<QString, int> ids;
    for (const QStringList &patient : {QStringList{"DUPONT", "Jean", "01/01/1950"}, {"MARTIN", "Paul", "02/02/1952"}}) {
        db.tPatients.append();
        db.tPatients.field("NOM").setAsString(patient[0]);
        db.tPatients.field("PRENOM").setAsString(patient[1]);
        db.tPatients.field("NE_LE").setAsString(patient[2]);
        db.tPatients.post();
        ids[patient[0]] = db.tPatients.field("PATIENTS_ID").asInteger();
    }
    for (int minute : {1, 2, 3})
        addRow(sentAt(minute));
    deliverReport({}, pack({{reportName(1), report("DUPONT", "Jean", "01/01/1950", {"cr.pdf"})},
                            {"cr.pdf", "%PDF dupont"}}));
    deliverReport({}, pack({{reportName(2), report("MARTIN", "Paul", "02/02/1952", {"cr.pdf"})},
                            {"docs/cr.pdf", "%PDF martin"}}));
    m_box.deliver(Pop3TestMailbox::message("Courrier", "a@example.org", "Bonjour", {{"lettre.txt", "Cher confrère"}}));
    deliverReport("Voici le relevé de mars", pack({{reportName(3), report("DUPONT", "Jean", "01/01/1950", {}, "06/03/2017")}}));

    DialogAnswerer dialogs;
    QStringList results;
    Reception::bEmailClick(*m_window, [&] {
        ReportImport::Needs env;
        env.remoteConnectionName = m_service->name();
        env.showResults = [&] {
            LocalTable &rows = db.tResultat;
            for (rows.first(); !rows.eof(); rows.next())
                results << rows.field("NomFic").asString() + u'|' + rows.field("Imported").asString() + u'|'
                               + rows.field("NomPat").asString();
        };
        ReportImport(*m_window, std::move(env)).ImportObservances();
    });

    // Shown: the report with a text and the e-mail, counted upwards.
    dialogs.subjects.sort();
    QCOMPARE(dialogs.subjects, (QStringList{"Courrier", "Observances"}));
    QCOMPARE(dialogs.numbers.size(), 2);
    QVERIFY2(QRegularExpression("^Message n°[1-4]/4$").match(dialogs.numbers[0]).hasMatch()
                 && dialogs.numbers[0] < dialogs.numbers[1],
             qPrintable(dialogs.numbers.join(", ")));
    QVERIFY2(m_dialogs->shown.isEmpty(), qPrintable(m_dialogs->texts().join(" | ")));
    QCOMPARE(m_box.storedMessages(), 0);
    results.sort();
    QCOMPARE(results, (QStringList{reportName(1) + "|Vrai|DUPONT", reportName(2) + "|Vrai|MARTIN",
                                   reportName(3) + "|Vrai|DUPONT"}));
    QVERIFY(importFiles().isEmpty());
    QCOMPARE(importFiles("Attachments"), QStringList{"lettre.txt"});

    for (LocalTable *table : {&db.tObservances, &db.tImages}) {
        table->close();
        table->open();
    }
    QMap<int, int> observances;
    for (db.tObservances.first(); !db.tObservances.eof(); db.tObservances.next())
        ++observances[db.tObservances.field("PATIENTS_ID").asInteger()];
    QCOMPARE(observances, (QMap<int, int>{{ids["DUPONT"], 2}, {ids["MARTIN"], 1}}));

    QMap<int, QByteArray> documents;
    for (db.tImages.first(); !db.tImages.eof(); db.tImages.next())
        documents[db.tImages.field("PATIENTS_ID").asInteger()] =
            readFile(Globals::BaseFolder + "Docs/" + db.tImages.field("AuxFileName").asString());
    QCOMPARE(documents, (QMap<int, QByteArray>{{ids["DUPONT"], "%PDF dupont"}, {ids["MARTIN"], "%PDF martin"}}));

    for (int minute : {1, 2, 3}) {
        const QStringList recorded =
            m_service->row("select received is not null, Importation from prest2facture where date_envoi = ? and "
                           "dest_email = ?",
                           {sentAt(minute), m_account});
        const int patient = ids[minute == 2 ? "MARTIN" : "DUPONT"];
        QCOMPARE(recorded.value(0), QStringLiteral("1"));
        QVERIFY2(recorded.value(1).startsWith("Patient_ID : " + QString::number(patient)), qPrintable(recorded.value(1)));
    }
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

void ReceptionTest::stalledServerEndsReception_data()
{
    QTest::addColumn<QByteArray>("stallAt");
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("tried");   // how often the stalled command is sent
    QTest::addColumn<QString>("box"); // what the only box says first
    QTest::addColumn<bool>("report"); // the server holds a report's message instead of two plain ones
    const QString abandon = mailServerUnreachableText(QStringLiteral("127.0.0.1"));
    const QString partly = "n'a été reçu qu'en partie : il reste sur le serveur";
    const QString notDeleted = "Le message n°1 n'a pas pu être supprimé du serveur de messagerie";
    const QString maybeDeleted = "Le message n°1 a peut-être été supprimé du serveur de messagerie";
    QTest::newRow("headers") << QByteArray("TOP") << 0 << 1 << abandon << false;
    QTest::newRow("retrieval") << QByteArray("RETR") << 0 << 1 << partly << false;
    QTest::newRow("retrieval trickled") << QByteArray("RETR") << int(StallingPop3Server::Trickle) << 1 << partly << false;
    QTest::newRow("deletion") << QByteArray("DELE") << 0 << 1 << notDeleted << false;
    // Only the QUIT after DELE carries the deletion out: listing, retrieval, deletion.
    QTest::newRow("quit") << QByteArray("QUIT") << 0 << 3 << maybeDeleted << false;
    // The deletion carried out, the connection cut before its answer: the files stay for the import.
    QTest::newRow("quit cut") << QByteArray("QUIT") << int(StallingPop3Server::Cut) << 3 << maybeDeleted << true;
}

// A server that greets and then stops answering, or answers too slowly: the
// first command left without its answer ends the reception, and no message
// is deleted but the one whose QUIT went unanswered.
void ReceptionTest::stalledServerEndsReception()
{
    QFETCH(QByteArray, stallAt);
    QFETCH(int, mode);
    QFETCH(int, tried);
    QFETCH(QString, box);
    QFETCH(bool, report);
    QList<QByteArray> mails; // two plain ones unless a report's
    if (report) {
        addRow();
        mails = {Pop3TestMailbox::message("Observances", m_provider, {},
                                          {{"PJ.7z", archive(Reception::kArchivePassword, m_account)}})};
    }
    // A QUIT left unanswered holds its session a few seconds, however long
    // the other answers are waited for (here as long as by default), also
    // the QUIT libcurl sends after a refused command (UIDL here).
    const bool quit = stallAt == "QUIT";
    StallingPop3Server server(stallAt, StallingPop3Server::Mode(mode), mails, StallingPop3Server::Exact,
                              quit ? StallingPop3Server::NoUidl : 0);
    DialogAnswerer answerer;
    QElapsedTimer reception;
    reception.start();
    receiveFrom(server.port(), false, quit);

    QVERIFY2(reception.elapsed() < 40000, qPrintable(QString::number(reception.elapsed())));
    QCOMPARE(server.count(stallAt), tried);
    QCOMPARE(server.stored(), (report ? 1 : 2) - (stallAt == "QUIT" ? 1 : 0));
    QCOMPARE(server.count("DELE"), stallAt == "DELE" || stallAt == "QUIT" ? 1 : 0);
    QCOMPARE(importFiles(), report ? QStringList{kReport} : QStringList());
    QCOMPARE(importFiles("Attachments/" + kReport.chopped(4)), report ? QStringList{"courbe.pdf"} : QStringList());
    QCOMPARE(m_dialogs->shown.size(), 1);
    const QString told = m_dialogs->lastText();
    QVERIFY2(told.contains(box) && !told.contains("récupérer et le supprimer")
                 && (report ? !told.contains("conservé") : told.endsWith("Abandon de la procédure.")),
             qPrintable(told));
}

void ReceptionTest::messageTakenOnlyWhole_data()
{
    using Server = StallingPop3Server;
    QTest::addColumn<QByteArray>("at");
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("listing");
    QTest::addColumn<int>("options");
    QTest::addColumn<QStringList>("taken"); // subjects of the messages shown, in order
    QTest::addColumn<QStringList>("told");  // what each box says, in order
    const QStringList partly{"n'a été reçu qu'en partie : il reste sur le serveur"};
    const QStringList both{"Courrier 2", "Courrier 1"}, first{"Courrier 1"};
    const QByteArray retr2("RETR 2");
    const int half = Server::Half, unterminated = Server::Unterminated, exact = Server::Exact, lfAsOne = Server::LineEndsAsOne;
    QTest::newRow("retrieval cut half-way") << retr2 << half << exact << 0 << first << partly;
    QTest::newRow("cut half-way, line ends listed as one octet") << retr2 << half << lfAsOne << 0 << first << partly;
    QTest::newRow("line ends listed as one octet") << QByteArray("NONE") << 0 << lfAsOne << 0 << both << QStringList();
    // Past its listed size, the connection closed before the NOOP: not known whole.
    QTest::newRow("terminating line lost, line ends listed as one octet")
        << QByteArray("RETR") << unterminated << lfAsOne << 0 << QStringList() << partly + partly;
    QTest::newRow("terminating line lost, exactly the listed size")
        << retr2 << unterminated << int(Server::LastLineEndUncounted) << 0 << first << partly;
    QTest::newRow("sizes listed too large") << QByteArray("NONE") << 0 << int(Server::Overcounted) << 0 << both
                                            << QStringList();
    QTest::newRow("no UIDL") << QByteArray("NONE") << 0 << exact << int(Server::NoUidl) << both << QStringList();
    // Another mail program takes message 1 away while message 2 is shown:
    // DELE 2 would delete the message that arrived meanwhile.
    QTest::newRow("no UIDL, numbers shifted") << QByteArray("NONE") << 0 << exact << (Server::NoUidl | Server::Shifted)
                                              << QStringList{"Courrier 2"}
                                              << QStringList{"a changé sur le serveur", "a été modifiée"};
    for (const bool tls : {false, true}) {
        const QString over = tls ? ", TLS" : "";
        const int reset = Server::Reset | (tls ? Server::Tls : 0);
        QTest::newRow(qPrintable("reset before the answer" + over)) << retr2 << int(Server::Cut) << exact << reset
                                                                    << first << partly;
        QTest::newRow(qPrintable("reset half-way" + over)) << retr2 << half << exact << reset << first << partly;
        QTest::newRow(qPrintable("reset before the terminating line" + over)) << retr2 << unterminated << exact
                                                                              << reset << first << partly;
    }
}

// A message counts as received only when it is known whole; one cut during
// its download stays on the server, is reported as such, and is not offered
// for deletion as corrupt. A server without UIDL is received all the same,
// and no message is deleted under a number that designates another one.
void ReceptionTest::messageTakenOnlyWhole()
{
    QFETCH(QByteArray, at);
    QFETCH(int, mode);
    QFETCH(int, listing);
    QFETCH(int, options);
    QFETCH(QStringList, taken);
    QFETCH(QStringList, told);
    StallingPop3Server server(at, StallingPop3Server::Mode(mode), {}, StallingPop3Server::Listing(listing), options);
    DialogAnswerer answerer;
    receiveFrom(server.port(), options & StallingPop3Server::Tls);

    QCOMPARE(answerer.subjects, taken);
    QCOMPARE(server.count("RETR 2"), 1);
    QCOMPARE(server.count("DELE"), options & StallingPop3Server::Shifted ? 0 : taken.size());
    QCOMPARE(server.stored(), 2 - server.count("DELE"));
    const QStringList texts = m_dialogs->texts();
    QVERIFY2(texts.size() == told.size() && texts.filter("récupérer et le supprimer").isEmpty(),
             qPrintable(texts.join(" | ")));
    for (qsizetype i = 0; i < told.size(); ++i)
        QVERIFY2(texts[i].contains(told[i]), qPrintable(texts[i]));
    QCOMPARE(readFile(ProgramFolder::logFile()).count("(UIDL)"), options & StallingPop3Server::NoUidl ? 1 : 0);
}

void ReceptionTest::pointMailAt(int port, bool secured)
{
    LocalTable &mail = m_window->database().TMail;
    mail.open();
    mail.edit();
    mail.field("SERVEUR_POP3").setAsString("127.0.0.1");
    mail.field("PORT_POP3").setAsInteger(port);
    mail.field("Secured").setAsBoolean(secured);
    mail.post();
    mail.close();
    QSettings(ProgramFolder::configurationFile(), QSettings::IniFormat).setValue("Main/MailCAFile", m_box.caFile());
}

void ReceptionTest::receiveFrom(int port, bool secured, bool defaultWaits)
{
    pointMailAt(port, secured);
    m_window->answer = [](int) { return true; };
    Reception reception(*m_window);
    if (!defaultWaits)
        reception.setMailTimeouts(1000, 1, 300);
    QVERIFY(reception.ReceiveEmails());
}

QTEST_MAIN(ReceptionTest)
#include "tst_reception.moc"
