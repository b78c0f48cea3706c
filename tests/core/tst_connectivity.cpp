#include "core/Globals.h"
#include "core/Main.h"
#include "platform/HttpClient.h"
#include "platform/IniFile.h"
#include "platform/LocalAddressWatcher.h"
#include "core/StartupNeeds.h"
#include "platform/ProgramFolder.h"
#include "core/Proxy.h"
#include "core/RemoteDatabase.h"
#include "ScriptedDialogs.h"
#include "core/SettingScrambler.h"
#include "core/StartupConnectivity.h"
#include "TestHome.h"
#include "platform/Windows1252.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QSqlError>
#include <QSqlQuery>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTimer>
#include <QUuid>
#include <QtTest>

#include <memory>

namespace {

constexpr char kDriverFile[] = "/usr/lib/x86_64-linux-gnu/odbc/libmaodbc.so";

// Dialogs whose questions can also run a step of the test.
class ActingDialogs : public ScriptedDialogs
{
public:
    std::function<void()> onQuestion;
    bool ask(Kind kind, const QString &text) override
    {
        if (onQuestion)
            onQuestion();
        return ScriptedDialogs::ask(kind, text);
    }
};

// The values of one section of an ODBC ini file, as the file holds them.
QMap<QString, QString> iniSection(const QString &fileName, const QString &section)
{
    QMap<QString, QString> values;
    QFile f(fileName);
    if (!f.open(QIODevice::ReadOnly))
        return values;
    bool inSection = false;
    for (const QByteArray &raw : f.readAll().split('\n')) {
        const QString line = QString::fromUtf8(raw).trimmed();
        if (line.startsWith(u'[')) {
            inSection = line.mid(1, line.size() - 2) == section;
            continue;
        }
        const qsizetype eq = line.indexOf(u'=');
        if (inSection && eq > 0)
            values.insert(line.left(eq).trimmed(), line.mid(eq + 1).trimmed());
    }
    return values;
}

// Runs action on the proxy dialog once it is shown modally (timers also fire
// during the HTTP requests before it, so a single shot could come too early).
void whenDialogShown(std::function<void(TfProxy *)> action)
{
    auto *timer = new QTimer;
    timer->setInterval(20);
    QObject::connect(timer, &QTimer::timeout, [timer, action] {
        auto *dialog = qobject_cast<TfProxy *>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        timer->stop();
        timer->deleteLater();
        action(dialog);
    });
    timer->start();
}

int closedPort()
{
    QTcpServer server;
    server.listen(QHostAddress::LocalHost);
    const int port = server.serverPort();
    server.close();
    return port;
}

// The connections a test server took since it started: the lines of the
// file where it counts them, or those waiting on a server of the test.
int connectionsTo(QTcpServer &server, const QString &countFile)
{
    if (!countFile.isEmpty()) {
        QFile f(countFile);
        return f.open(QIODevice::ReadOnly) ? int(f.readAll().count('\n')) : 0;
    }
    int accepted = 0;
    while (server.waitForNewConnection(200)) {
        delete server.nextPendingConnection();
        ++accepted;
    }
    return accepted;
}

int logEntries(const QString &text)
{
    QFile f(ProgramFolder::logFile());
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    return int(Windows1252::decode(f.readAll()).count(text));
}

} // namespace

// Access code, proxy, ODBC data source and remote connection against the
// private web server, proxy and MariaDB of the test services.
class ConnectivityTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void freshDataSourceAndConnection();
    void existingRegistration_data();
    void existingRegistration();
    void registrationFailureIsLoggedOnly();
    void missingDriverQuestion_data();
    void missingDriverQuestion();
    void badAccessCodeLeadsToRetryQuestion_data();
    void badAccessCodeLeadsToRetryQuestion();
    void retryFetchesOnceTheServerAnswers();
    void proxyDialogWithAuthentication();
    void proxyTestDeclinedEndsTheProgram();
    void proxyTestNeedsUserAndPassword();
    void damagedPortNeverStopsTheStartUp();
    void portEditAcceptsOnlyNumbers();
    void proxySettingsAreStoredScrambled();
    void sixFailedAttemptsAreLogged();
    void connectionAttemptIsBounded_data();
    void connectionAttemptIsBounded();
    void unverifiedRetryOnlyForTls_data();
    void unverifiedRetryOnlyForTls();
    void serviceLinkEncryption_data();
    void serviceLinkEncryption();
    void offlineForReal();
    void offlineStartupInNamespace();

private:
    struct Fixture {
        TestHome home;
        QTemporaryDir odbc;
        HttpClient http;
        LocalAddressWatcher watcher;
        RemoteDatabase database{http, watcher};
        int closeArmed = 0;
        QWidget window;
        StartupNeeds parts;
        QString codeDir;
        Fixture()
        {
            parts.http = &http;
            parts.database = &database;
            parts.watcher = &watcher;
            parts.window = &window;
            parts.armCloseTimer = [this] { ++closeArmed; };
            watcher.setActive(true);
        }
    };
    std::unique_ptr<Fixture> makeFixture(int databasePort = 0);
    std::unique_ptr<Fixture> m_first; // the process's first service link: the connector's option file is in its folder
    void putAccessCode(const Fixture &f, const QByteArray &content) const;
    QString odbcIni(const Fixture &f) const { return f.odbc.filePath(QStringLiteral("odbc.ini")); }

    QString m_url, m_root, m_password;
    int m_port = 0;
};

void ConnectivityTest::initTestCase()
{
    if (qEnvironmentVariable("TOLVARENIX_OFFLINE_CHILD") == QLatin1String("1"))
        return;
    m_url = qEnvironmentVariable("TOLVARENIX_HTTP_URL");
    m_root = qEnvironmentVariable("TOLVARENIX_HTTP_ROOT");
    m_password = qEnvironmentVariable("TOLVARENIX_MARIADB_PASSWORD");
    m_port = qEnvironmentVariableIntValue("TOLVARENIX_MARIADB_PORT");
    if (m_url.isEmpty() || m_root.isEmpty() || m_password.isEmpty() || m_port == 0
        || qEnvironmentVariable("TOLVARENIX_PROXY_PORT").isEmpty())
        QSKIP("test services not started (run ./test.sh)");
    m_first = std::make_unique<Fixture>();
}

void ConnectivityTest::init()
{
    Globals::reset();
    LocalAddressWatcher::setForcedAddress(QStringLiteral("192.0.2.10"));
}

void ConnectivityTest::cleanup()
{
    LocalAddressWatcher::setForcedAddress(QString());
    StartupConnectivity::setDriverFileChooser({});
    qunsetenv("ODBCINI");
    Dialogs::resetClosing();
    Globals::reset();
}

std::unique_ptr<ConnectivityTest::Fixture> ConnectivityTest::makeFixture(int databasePort)
{
    auto f = std::make_unique<Fixture>();
    qputenv("ODBCINI", QFile::encodeName(odbcIni(*f)));
    qputenv("ODBCSYSINI", QFile::encodeName(f->odbc.path()));
    // Each test has a web-server folder of its own.
    f->codeDir = QStringLiteral("/site-%1").arg(QUuid::createUuid().toString(QUuid::Id128));
    IniFile ini(ProgramFolder::configurationFile());
    ini.writeString("Main", "WebServer", m_url + f->codeDir);
    ini.writeString("Main", "DatabaseHost", "127.0.0.1");
    ini.writeInteger("Main", "DatabasePort", databasePort ? databasePort : m_port);
    ini.writeString("Main", "CAFile", qEnvironmentVariable("TOLVARENIX_MARIADB_CA"));
    return f;
}

void ConnectivityTest::putAccessCode(const Fixture &f, const QByteArray &content) const
{
    const QString folder = m_root + f.codeDir + QStringLiteral("/programmes/acces");
    QDir().mkpath(folder);
    QFile file(folder + QStringLiteral("/code.txt"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content);
}

void ConnectivityTest::freshDataSourceAndConnection()
{
    auto f = makeFixture();
    putAccessCode(*f, SettingScrambler::EncodeSetting(m_password).toLatin1() + "\r\n");
    ScriptedDialogs dialogs;

    QVERIFY(!StartupConnectivity::checkInternetConnection(f->parts));
    QCOMPARE(dialogs.shown.size(), 0);
    QCOMPARE(f->closeArmed, 0);
    QCOMPARE(f->database.password(), m_password);
    QVERIFY(f->database.aliasExists());
    QVERIFY(f->http.connected());

    QString driver;
    QVERIFY(StartupConnectivity::checkOdbcDriver(f->parts, driver));
    QCOMPARE(driver, QString::fromLatin1(kDriverFile));
    QVERIFY(StartupConnectivity::registerDataSource(f->parts, driver));

    const auto sources = iniSection(odbcIni(*f), QStringLiteral("ODBC Data Sources"));
    QCOMPARE(sources.value("TolvarenixMySQLDB"), QStringLiteral("MySQL ODBC 5.1 Driver"));
    const auto values = iniSection(odbcIni(*f), QStringLiteral("TolvarenixMySQLDB"));
    const QMap<QString, QString> expected = {
        {"DATABASE", "Tolvarenix"}, {"DESCRIPTION", "127.0.0.1 MySQL DataBase"}, {"Driver", kDriverFile},
        {"PORT", QString::number(m_port)}, {"PWD", ""}, {"SERVER", "127.0.0.1"}, {"UID", "tolvarenix"}};
    QCOMPARE(values, expected);

    QVERIFY(f->database.ConnectInternetDatabase(true));
    QVERIFY(f->database.connected());
    {
        QSqlQuery query(f->database.database());
        QVERIFY2(query.exec(QStringLiteral("select count(*) from prestataires")), qPrintable(query.lastError().text()));
        QVERIFY(query.next());
    }
    // Connected already: closed and made again.
    QVERIFY(f->database.ConnectInternetDatabase(true));
    QCOMPARE(logEntries(QStringLiteral("Erreur")), 0);
    QCOMPARE(dialogs.shown.size(), 0);
    f->database.disconnect();
    QVERIFY(!f->database.connected());
}

void ConnectivityTest::existingRegistration_data()
{
    QTest::addColumn<QString>("driverName");
    QTest::addColumn<bool>("replaced");
    QTest::newRow("older 3.51 registration") << "MySQL ODBC 3.51 Driver" << true;
    QTest::newRow("current registration") << "MySQL ODBC 5.1 Driver" << false;
    QTest::newRow("another driver") << "Autre pilote" << false;
}

void ConnectivityTest::existingRegistration()
{
    QFETCH(QString, driverName);
    QFETCH(bool, replaced);
    auto f = makeFixture();
    {
        QFile ini(odbcIni(*f));
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write("[ODBC Data Sources]\nTolvarenixMySQLDB = " + driverName.toUtf8()
                  + "\n\n[TolvarenixMySQLDB]\nDriver = /opt/old/myodbc3.so\nSERVER = ancien.example\n"
                    "OPTION = 3\n\n[Autre]\nDriver = x\n");
    }
    ScriptedDialogs dialogs;
    QVERIFY(StartupConnectivity::registerDataSource(f->parts, QString::fromLatin1(kDriverFile)));
    QCOMPARE(f->closeArmed, 0);
    const auto values = iniSection(odbcIni(*f), QStringLiteral("TolvarenixMySQLDB"));
    const auto sources = iniSection(odbcIni(*f), QStringLiteral("ODBC Data Sources"));
    if (replaced) {
        QCOMPARE(sources.value("TolvarenixMySQLDB"), QStringLiteral("MySQL ODBC 5.1 Driver"));
        QCOMPARE(values.size(), 7);
        QCOMPARE(values.value("Driver"), QString::fromLatin1(kDriverFile));
        QCOMPARE(values.value("SERVER"), QStringLiteral("127.0.0.1"));
        QVERIFY(!values.contains("OPTION"));
    } else {
        QCOMPARE(sources.value("TolvarenixMySQLDB"), driverName);
        QCOMPARE(values.value("SERVER"), QStringLiteral("ancien.example"));
        QCOMPARE(values.value("OPTION"), QStringLiteral("3"));
    }
    // Other data sources are left alone.
    QCOMPARE(iniSection(odbcIni(*f), QStringLiteral("Autre")).value("Driver"), QStringLiteral("x"));
}

void ConnectivityTest::registrationFailureIsLoggedOnly()
{
    auto f = makeFixture();
    // odbc.ini below a regular file: nothing can be written there.
    const QString blocker = f->odbc.filePath(QStringLiteral("pas-un-dossier"));
    QFile(blocker).open(QIODevice::WriteOnly);
    qputenv("ODBCINI", QFile::encodeName(blocker + QStringLiteral("/odbc.ini")));
    ScriptedDialogs dialogs;
    QVERIFY(!StartupConnectivity::registerDataSource(f->parts, QString::fromLatin1(kDriverFile)));
    QCOMPARE(f->closeArmed, 1);
    QCOMPARE(dialogs.shown.size(), 0);
    QCOMPARE(dialogs.beeps.size(), 1);
    QCOMPARE(logEntries(QStringLiteral("Impossible de paramétrer la connexion au serveur de Tolvarenix dans la base "
                                       "de registre !\nLe programme va être arrêté.")),
             1);
}

void ConnectivityTest::missingDriverQuestion_data()
{
    QTest::addColumn<bool>("online");
    QTest::addColumn<bool>("answer");
    QTest::addColumn<QString>("chosen");
    QTest::addColumn<bool>("passed");
    QTest::newRow("offline: no question") << false << true << QString() << false;
    QTest::newRow("user declines") << true << false << QString() << false;
    QTest::newRow("dialog cancelled") << true << true << QString() << false;
    QTest::newRow("not a driver file") << true << true << "/etc/hostname" << false;
    QTest::newRow("driver chosen") << true << true << kDriverFile << true;
}

void ConnectivityTest::missingDriverQuestion()
{
    QFETCH(bool, online);
    QFETCH(bool, answer);
    QFETCH(QString, chosen);
    QFETCH(bool, passed);
    auto f = makeFixture();
    // The usual place holds no driver on this "machine"; the registered
    // data source names one in upper case, which does not count.
    IniFile(ProgramFolder::configurationFile()).writeString("Main", "OdbcDriver", "/nulle/part/libmaodbc.so");
    {
        QFile ini(odbcIni(*f));
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write("[ODBC Data Sources]\nTolvarenixMySQLDB = MySQL ODBC 5.1 Driver\n\n"
                  "[TolvarenixMySQLDB]\nDriver = /usr/lib/LIBMAODBC.SO\n");
    }
    if (online)
        QVERIFY(f->http.get(m_url + "/", *std::make_unique<QByteArray>()).status > 0);
    QCOMPARE(f->http.connected(), online);
    int chooserCalls = 0;
    StartupConnectivity::setDriverFileChooser([&](const QString &filter, const QString &) {
        ++chooserCalls;
        return filter.contains("libmaodbc.so") ? chosen : QString();
    });
    ScriptedDialogs dialogs;
    dialogs.answer({answer});
    QString driver;
    QCOMPARE(StartupConnectivity::checkOdbcDriver(f->parts, driver), passed);
    QCOMPARE(f->closeArmed, passed ? 0 : 1);
    QCOMPARE(chooserCalls, online && answer ? 1 : 0);
    const QStringList texts = dialogs.texts();
    if (online)
        QVERIFY(texts.first().contains(QStringLiteral("(fichier \"libmaodbc.so\") ?\nLe programme sera fermé si "
                                                      "vous répondez par \"Non\".")));
    if (passed) {
        QCOMPARE(driver, QString::fromLatin1(kDriverFile));
        QCOMPARE(iniSection(odbcIni(*f), "TolvarenixMySQLDB").value("Driver"), QString::fromLatin1(kDriverFile));
    } else if (online && answer) {
        QCOMPARE(texts.last(), QStringLiteral("Impossible de paramétrer la connexion au serveur de Tolvarenix !\n"
                                              "Le programme va être arrêté."));
        QCOMPARE(dialogs.beeps.size(), 1);
    } else {
        QCOMPARE(texts.last(), QStringLiteral("Le pilote ODBC de MySQL version 5 est nécessaire au fonctionnement de "
                                              "Tolvarenix Light. Fermeture du programme."));
    }
}

void ConnectivityTest::badAccessCodeLeadsToRetryQuestion_data()
{
    QTest::addColumn<bool>("present");
    QTest::addColumn<QByteArray>("content");
    QTest::newRow("missing (404 page)") << false << QByteArray();
    QTest::newRow("html page") << true << QByteArray("<html><body>Portail</body></html>");
    QTest::newRow("not scrambled") << true << QByteArray("motdepasse");
    QTest::newRow("empty") << true << QByteArray();
    QTest::newRow("scrambled underscore") << true << SettingScrambler::EncodeSetting("_").toLatin1();
}

void ConnectivityTest::badAccessCodeLeadsToRetryQuestion()
{
    QFETCH(bool, present);
    QFETCH(QByteArray, content);
    auto f = makeFixture();
    if (present)
        putAccessCode(*f, content);
    ScriptedDialogs dialogs;
    dialogs.answer({true, false, false}); // retry once, then stop; no proxy
    StartupConnectivity::checkInternetConnection(f->parts);

    const QStringList texts = dialogs.texts();
    QCOMPARE(texts.size(), 4);
    QVERIFY(texts[0].startsWith(QStringLiteral("Impossible d'accéder au site internet de Tolvarenix. Ceci peut être")));
    QVERIFY(texts[0].contains(ProgramFolder::programFile()));
    QVERIFY(texts[0].endsWith(QStringLiteral("]).\n\nSouhaitez-vous retenter la connexion ?")));
    QCOMPARE(texts[1], texts[0]);
    QCOMPARE(texts[2], QStringLiteral("Utilisez-vous un proxy pour vos accès internet ?"));
    QCOMPARE(texts[3], QStringLiteral("Fermeture de Tolvarenix Light. Veuillez vérifier votre connexion à internet et "
                                      "relancez ensuite le programme."));
    QCOMPARE(dialogs.shown[3].kind, Dialogs::Kind::Warning);
    QCOMPARE(f->closeArmed, 1);
    // Never a bogus password.
    QCOMPARE(f->database.password(), QString::fromLatin1(Globals::kDatabasePassword));
    QVERIFY(!f->database.aliasExists());
}

void ConnectivityTest::retryFetchesOnceTheServerAnswers()
{
    auto f = makeFixture();
    ActingDialogs dialogs;
    int questions = 0;
    dialogs.onQuestion = [&] {
        // The server comes back while the second question is on screen.
        if (++questions == 2)
            putAccessCode(*f, SettingScrambler::EncodeSetting(m_password).toLatin1());
    };
    dialogs.answer({true, true, true, true});
    StartupConnectivity::checkInternetConnection(f->parts);
    QCOMPARE(questions, 2);
    QCOMPARE(f->closeArmed, 0);
    QCOMPARE(f->database.password(), m_password);
    QVERIFY(f->database.aliasExists());
}

void ConnectivityTest::proxyDialogWithAuthentication()
{
    auto f = makeFixture();
    putAccessCode(*f, SettingScrambler::EncodeSetting(m_password).toLatin1());
    const QString proxyPassword = qEnvironmentVariable("TOLVARENIX_PROXY_PASSWORD");
    // Stored settings name the proxy with a password it refuses.
    IniFile ini(ProgramFolder::configurationFile());
    using SettingScrambler::EncodeSetting;
    ini.writeString("Proxy", "HTTPServer", EncodeSetting(qEnvironmentVariable("TOLVARENIX_PROXY_HOST")));
    ini.writeString("Proxy", "HTTPPort", EncodeSetting(qEnvironmentVariable("TOLVARENIX_PROXY_PORT")));
    ini.writeString("Proxy", "HTTPUserName", EncodeSetting(qEnvironmentVariable("TOLVARENIX_PROXY_USER")));
    ini.writeString("Proxy", "HTTPPassword", EncodeSetting("ancien"));
    ini.writeString("Proxy", "HTTPBasicAuthentification", EncodeSetting("true"));

    ScriptedDialogs dialogs;
    dialogs.answer({false, true}); // no retry; yes, a proxy
    bool dialogSeen = false;
    bool validEnabledBeforeTest = true;
    whenDialogShown([&](TfProxy *dialog) {
        dialogSeen = true;
        QCOMPARE(dialog->windowTitle(), QStringLiteral("Paramétrage du proxy internet"));
        auto *password = dialog->findChild<QLineEdit *>("EdHTTPPassword");
        QCOMPARE(password->text(), QStringLiteral("ancien"));
        QVERIFY(dialog->findChild<QCheckBox *>("CBHTTPBasicAuthentification")->isChecked());
        auto *valider = dialog->findChild<QPushButton *>("BtValider");
        validEnabledBeforeTest = valider->isEnabled();
        password->setText(proxyPassword);
        dialog->findChild<QPushButton *>("BtVerifier")->click();
        if (valider->isEnabled())
            valider->click();
        else
            dialog->reject();
    });
    StartupConnectivity::checkInternetConnection(f->parts);

    QVERIFY(dialogSeen);
    QVERIFY(!validEnabledBeforeTest);
    QCOMPARE(f->closeArmed, 0);
    QCOMPARE(dialogs.texts().size(), 2);
    QCOMPARE(f->database.password(), m_password);
    QCOMPARE(f->http.proxy().password, proxyPassword);
    QCOMPARE(f->http.proxy().port, qEnvironmentVariableIntValue("TOLVARENIX_PROXY_PORT"));
    QVERIFY(f->http.proxy().basicAuthentication);
    QCOMPARE(SettingScrambler::DecodeSetting(ini.readString("Proxy", "HTTPPassword")), proxyPassword);
}

void ConnectivityTest::proxyTestDeclinedEndsTheProgram()
{
    auto f = makeFixture();
    putAccessCode(*f, SettingScrambler::EncodeSetting(m_password).toLatin1());
    IniFile ini(ProgramFolder::configurationFile());
    ini.writeString("Proxy", "HTTPServer",
                    SettingScrambler::EncodeSetting(QStringLiteral("127.0.0.1:%1").arg(closedPort())));
    // The driver step would ask next, and the show handler open the account form.
    ini.writeString("Main", "OdbcDriver", "/nulle/part/libmaodbc.so");
    ScriptedDialogs dialogs;
    dialogs.answer({false, true, false}); // no retry; a proxy; do not change the settings
    whenDialogShown([&](TfProxy *dialog) {
        dialog->findChild<QLineEdit *>("EdHTTPUserName")->setText("u");
        dialog->findChild<QLineEdit *>("EdHTTPPassword")->setText("p");
        dialog->findChild<QPushButton *>("BtVerifier")->click();
        if (dialog->isVisible())
            dialog->reject();
    });
    TfMain window;
    window.FormCreate();
    window.show();
    QTest::qWait(50);
    const QStringList texts = dialogs.texts();
    QCOMPARE(texts.size(), 4);
    QCOMPARE(texts[2], QStringLiteral("Impossible d'accéder au site internet de Tolvarenix avec ces paramètres du "
                                      "proxy.\n\nSouhaitez-vous les modifier pour réessayer (il est possible que votre "
                                      "parefeu bloque aussi l'accès) ?"));
    QCOMPARE(texts[3], QStringLiteral("Fermeture de Selvantine."));
    QVERIFY(window.database().TMail.state() != LocalDataSet::State::Insert);
    QCOMPARE(window.DBFTP.password(), QString::fromLatin1(Globals::kDatabasePassword));
}

void ConnectivityTest::proxyTestNeedsUserAndPassword()
{
    auto f = makeFixture();
    ScriptedDialogs dialogs;
    TfProxy dialog(f->parts);
    dialog.findChild<QLineEdit *>("EdHTTPUserName")->setText("  ");
    dialog.findChild<QLineEdit *>("EdHTTPPassword")->setText("p");
    dialog.BtVerifierClick();
    QCOMPARE(dialogs.texts(), QStringList{QStringLiteral("Veuillez oompléter tous les champs nécessaires.")});
    QCOMPARE(f->http.lastServer(), QString()); // nothing fetched
    QVERIFY(!dialog.findChild<QPushButton *>("BtValider")->isEnabled());
}

void ConnectivityTest::damagedPortNeverStopsTheStartUp()
{
    auto f = makeFixture();
    putAccessCode(*f, SettingScrambler::EncodeSetting(m_password).toLatin1());
    IniFile(ProgramFolder::configurationFile()).writeString("Proxy", "HTTPPort", "zz");
    ScriptedDialogs dialogs;
    HttpProxy before = f->http.proxy();
    before.port = 3128;
    f->http.setProxy(before);
    StartupConnectivity::checkInternetConnection(f->parts);
    QCOMPARE(dialogs.shown.size(), 0);
    QCOMPARE(f->closeArmed, 0);
    QCOMPARE(f->http.proxy().port, 3128);
    QCOMPARE(f->database.password(), m_password);
}

void ConnectivityTest::portEditAcceptsOnlyNumbers()
{
    auto f = makeFixture();
    ScriptedDialogs dialogs;
    TfProxy dialog(f->parts);
    auto *port = dialog.findChild<QLineEdit *>("EdHTTPPort");
    QCOMPARE(port->text(), QStringLiteral("0"));
    port->setText("8080");
    QVERIFY(dialog.EdHTTPPortExit());
    QCOMPARE(dialogs.shown.size(), 0);
    for (const QString &text : {QString(), QStringLiteral("80a")}) {
        port->setText(text);
        QVERIFY(!dialog.EdHTTPPortExit());
        QCOMPARE(port->text(), QStringLiteral("0"));
        QCOMPARE(dialogs.lastText(), QStringLiteral("Veuillez saisir un nombre."));
    }
    auto *ftp = dialog.findChild<QLineEdit *>("EdFTPPort");
    ftp->setText("x");
    QVERIFY(!dialog.EdFTPPortExit());
    QCOMPARE(ftp->text(), QStringLiteral("0"));
}

void ConnectivityTest::proxySettingsAreStoredScrambled()
{
    auto f = makeFixture();
    IniFile ini(ProgramFolder::configurationFile());
    ini.writeString("Proxy", "HTTPPassword", SettingScrambler::EncodeSetting("gardé"));
    {
        TfProxy dialog(f->parts);
        dialog.findChild<QLineEdit *>("EdHTTPServer")->setText("  proxy.cabinet.local ");
        dialog.findChild<QLineEdit *>("EdHTTPUserName")->setText("dr=house;");
        dialog.findChild<QLineEdit *>("EdHTTPPassword")->setText("   ");
        dialog.findChild<QCheckBox *>("CBHTTPBasicAuthentification")->setChecked(false);
        dialog.WriteProxySettings();
    }
    QFile file(ProgramFolder::configurationFile());
    QCOMPARE(file.permissions() & (QFile::ReadGroup | QFile::ReadOther | QFile::WriteGroup | QFile::WriteOther),
             QFile::Permissions());
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray raw = file.readAll();
    QVERIFY(!raw.contains("proxy.cabinet"));
    QVERIFY(!raw.contains("house"));

    TfProxy reread(f->parts);
    reread.ReadProxySettings();
    QCOMPARE(reread.findChild<QLineEdit *>("EdHTTPServer")->text(), QStringLiteral("proxy.cabinet.local"));
    QCOMPARE(reread.findChild<QLineEdit *>("EdHTTPUserName")->text(), QStringLiteral("dr=house;"));
    // An emptied field leaves the stored value in place.
    QCOMPARE(reread.findChild<QLineEdit *>("EdHTTPPassword")->text(), QStringLiteral("gardé"));
    QVERIFY(!reread.findChild<QCheckBox *>("CBHTTPBasicAuthentification")->isChecked());
    QVERIFY(!ini.hasKey("Proxy", "HTTPBasicAuthentification"));
}

void ConnectivityTest::sixFailedAttemptsAreLogged()
{
    auto f = makeFixture(closedPort());
    QVERIFY(StartupConnectivity::registerDataSource(f->parts, QString::fromLatin1(kDriverFile)));
    f->http.setDefaultServer(m_url);
    QElapsedTimer timer;
    timer.start();
    QVERIFY(!f->database.ConnectInternetDatabase(true));
    QVERIFY(timer.elapsed() >= 5900);
    QCOMPARE(logEntries(QStringLiteral("Erreur lors de la connexion à la base de données internet : ")), 6);
    QCOMPARE(logEntries(QStringLiteral("Erreur lors de la connexion à internet : ")), 0);
    QVERIFY(!f->database.connected());
}

void ConnectivityTest::connectionAttemptIsBounded_data()
{
    QTest::addColumn<QString>("server"); // its port's variable, none for a server of the test
    QTest::addColumn<QString>("count");  // the variable naming the file where it counts its connections
    QTest::newRow("accepts and never greets") << "" << "";
    QTest::newRow("greets with TLS, never answers the handshake")
        << "TOLVARENIX_MARIADB_TLS_SILENT_PORT" << "TOLVARENIX_MARIADB_TLS_SILENT_CONNECTIONS";
}

void ConnectivityTest::connectionAttemptIsBounded()
{
    QFETCH(QString, server);
    QFETCH(QString, count);
    QTcpServer silent;
    QVERIFY(silent.listen(QHostAddress::LocalHost));
    const QString countFile = count.isEmpty() ? QString() : qEnvironmentVariable(qPrintable(count));
    auto f = makeFixture(server.isEmpty() ? silent.serverPort() : qEnvironmentVariableIntValue(qPrintable(server)));
    QVERIFY(StartupConnectivity::registerDataSource(f->parts, QString::fromLatin1(kDriverFile)));
    f->database.setConnectTimeout(2);
    const int before = connectionsTo(silent, countFile);
    QElapsedTimer timer;
    timer.start();
    QString error;
    QVERIFY(!f->database.connect(&error));
    QVERIFY2(timer.elapsed() < 20000, qPrintable(QString::number(timer.elapsed())));
    QVERIFY(!error.isEmpty());
    // A server out of reach is waited for once per attempt.
    QCOMPARE(connectionsTo(silent, countFile) - before, 1);
}

void ConnectivityTest::unverifiedRetryOnlyForTls_data()
{
    QTest::addColumn<QString>("driverText");
    QTest::addColumn<bool>("retry");
    QTest::newRow("another CA") << "[ma-3.1.15]TLS/SSL error: self-signed certificate in certificate chain" << true;
    QTest::newRow("issuer unknown") << "[ma-3.1.15]TLS/SSL error: unable to get local issuer certificate" << true;
    QTest::newRow("another server's name") << "[ma-3.1.15]TLS/SSL error: Validation of SSL server certificate failed"
                                            << true;
    QTest::newRow("no TLS offered") << "[ma-3.1.15]TLS/SSL error: SSL is required, but the server does not support it"
                                    << true;
    QTest::newRow("handshake timed out") << "[ma-3.1.15]TLS/SSL error: Connection timed out" << false;
    QTest::newRow("issuer unknown, numbered")
        << "[ma-3.1.15]TLS/SSL error: unable to get local issuer certificate (20)" << true;
    QTest::newRow("handshake cut") << "[ma-3.1.15]TLS/SSL error: unexpected eof while reading" << false;
    QTest::newRow("out of memory") << "[ma-3.1.15]TLS/SSL error: out of memory" << false;
    QTest::newRow("refused") << "[ma-3.1.15]Can't connect to MySQL server on '127.0.0.1' (111)" << false;
    QTest::newRow("wrong password")
        << "[ma-3.1.15]Access denied for user 'tolvarenix'@'localhost' (using password: YES)" << false;
}

void ConnectivityTest::unverifiedRetryOnlyForTls()
{
    QFETCH(QString, driverText);
    QFETCH(bool, retry);
    QCOMPARE(RemoteDatabase::worthUnverifiedRetry(driverText), retry);
}

void ConnectivityTest::serviceLinkEncryption_data()
{
    QTest::addColumn<QString>("port");
    QTest::addColumn<QString>("ca");
    QTest::addColumn<QString>("link");
    // The main server takes TLS only; the other-CA one would also take clear text.
    QTest::newRow("TLS required, test CA") << "TOLVARENIX_MARIADB_PORT" << "TOLVARENIX_MARIADB_CA" << "verified";
    QTest::newRow("no TLS offered") << "TOLVARENIX_MARIADB_PLAIN_PORT" << "TOLVARENIX_MARIADB_CA" << "clear";
    QTest::newRow("another CA") << "TOLVARENIX_MARIADB_OTHER_CA_PORT" << "TOLVARENIX_MARIADB_CA" << "unverified";
    QTest::newRow("system bundle") << "TOLVARENIX_MARIADB_PORT" << "" << "unverified";
    QTest::newRow("handshake cut") << "TOLVARENIX_MARIADB_TLS_CUT_PORT" << "TOLVARENIX_MARIADB_CA" << "failed";
    QTest::newRow("clear password asked") << "TOLVARENIX_MARIADB_CLEAR_PASSWORD_PORT" << "TOLVARENIX_MARIADB_CA" << "refused";
    QTest::newRow("clear password asked, another CA") << "TOLVARENIX_MARIADB_CLEAR_PASSWORD_TLS_PORT" << "TOLVARENIX_MARIADB_CA" << "refused";
}

void ConnectivityTest::serviceLinkEncryption()
{
    QFETCH(QString, port);
    QFETCH(QString, ca);
    QFETCH(QString, link);
    auto f = makeFixture(qEnvironmentVariableIntValue(qPrintable(port)));
    IniFile(ProgramFolder::configurationFile()).writeString("Main", "CAFile", qEnvironmentVariable(qPrintable(ca)));
    QVERIFY(StartupConnectivity::registerDataSource(f->parts, QString::fromLatin1(kDriverFile)));
    f->database.setPassword(m_password);
    f->database.setPause(0);
    f->http.setDefaultServer(m_url);
    ScriptedDialogs dialogs;
    QFile received(qEnvironmentVariable("TOLVARENIX_MARIADB_CLEAR_PASSWORD_RECEIVED")); // by the stand-ins
    received.remove();
    const bool connects = link != "failed" && link != "refused";
    for (int run = 0; run < 2; ++run) {
        QCOMPARE(f->database.ConnectInternetDatabase(true), connects);
        QSqlQuery cipher(QStringLiteral("SHOW SESSION STATUS LIKE 'Ssl_cipher'"), f->database.database());
        QCOMPARE(cipher.next() && !cipher.value(1).toString().isEmpty(), link.endsWith("verified"));
        QCOMPARE(QSqlQuery(f->database.database()).exec("create temporary table recu (n int)"), connects); // a receipt's write
    }
    QVERIFY(!received.open(QIODevice::ReadOnly) || !received.readAll().contains(m_password.toUtf8()));
    // Said once per run, with the reason; a cut handshake is a failed attempt, retried; a clear password asked, refused once.
    QCOMPARE(logEntries(QStringLiteral("ne propose pas de connexion chiffrée")), link == "clear" ? 1 : 0);
    QCOMPARE(logEntries(QStringLiteral("self-signed certificate")), link == "unverified" ? 1 : 0);
    QCOMPARE(logEntries(QStringLiteral("Erreur lors de la connexion à la base de données internet")),
             link == "failed" ? 2 * RemoteDatabase::kAttempts : link == "refused" ? 2 : 0);
    QCOMPARE(logEntries(QStringLiteral("révélerait le mot de passe")), link == "refused" ? 2 : 0);
    QCOMPARE(dialogs.texts(), QStringList());
}

void ConnectivityTest::offlineForReal()
{
    if (QProcess::execute(QStringLiteral("unshare"), {QStringLiteral("-n"), QStringLiteral("true")}) != 0)
        QFAIL("unshare -n is not available (the tests run as root)");
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("TOLVARENIX_OFFLINE_CHILD"), QStringLiteral("1"));
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QStringLiteral("unshare"),
                {QStringLiteral("-n"), QCoreApplication::applicationFilePath(), QStringLiteral("offlineStartupInNamespace")});
    QVERIFY(child.waitForFinished(60000));
    const QByteArray output = child.readAll();
    QVERIFY2(child.exitCode() == 0, output.constData());
    QVERIFY2(output.contains("PASS   : ConnectivityTest::offlineStartupInNamespace()"), output.constData());
}

void ConnectivityTest::offlineStartupInNamespace()
{
    if (qEnvironmentVariable("TOLVARENIX_OFFLINE_CHILD") != QLatin1String("1"))
        QSKIP("runs inside offlineForReal only");
    LocalAddressWatcher::setForcedAddress(QString());
    TestHome home;
    QTemporaryDir odbc;
    qputenv("ODBCINI", QFile::encodeName(odbc.filePath("odbc.ini")));
    IniFile(ProgramFolder::configurationFile()).writeString("Main", "WebServer", "http://127.0.0.1:9");
    HttpClient http;
    LocalAddressWatcher watcher;
    watcher.setActive(true);
    RemoteDatabase database(http, watcher);
    QWidget window;
    window.setWindowTitle("Tolvarenix Light - ");
    int closeArmed = 0;
    StartupNeeds parts{&http, &database, &watcher, &window, [&] { ++closeArmed; }};
    ScriptedDialogs dialogs;

    QCOMPARE(watcher.currentLocalAddress(), QStringLiteral("127.0.0.1"));
    QVERIFY(StartupConnectivity::checkInternetConnection(parts));
    QCOMPARE(window.windowTitle(), QStringLiteral("Tolvarenix Light - hors internet"));
    QCOMPARE(http.lastServer(), QString()); // no access-code request
    QCOMPARE(dialogs.shown.size(), 0);
    QCOMPARE(closeArmed, 0);

    // The ODBC steps still run.
    QString driver;
    QVERIFY(StartupConnectivity::checkOdbcDriver(parts, driver));
    QVERIFY(StartupConnectivity::registerDataSource(parts, driver));

    QElapsedTimer timer;
    timer.start();
    QVERIFY(!database.ConnectInternetDatabase(true));
    QVERIFY(timer.elapsed() < 900);
    QVERIFY(!QFile::exists(ProgramFolder::logFile()));
    QCOMPARE(http.lastServer(), QString());
}

QTEST_MAIN(ConnectivityTest)
#include "tst_connectivity.moc"
