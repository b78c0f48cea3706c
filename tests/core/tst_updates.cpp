#include "ArchiveFixtures.h"
#include "core/Downloader.h"
#include "core/Globals.h"
#include "platform/HttpClient.h"
#include "platform/IniFile.h"
#include "core/ModuleVersions.h"
#include "platform/ProgramFolder.h"
#include "core/RemoteDatabase.h"
#include "ServiceDatabase.h"
#include "ScriptedDialogs.h"
#include "TestHome.h"
#include "core/Uabout.h"
#include "core/UpdateSearch.h"

#include <QLabel>
#include <QProgressBar>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QToolButton>
#include <QUuid>
#include <QtTest>

namespace {

const QByteArray kNewModule = QByteArray("NOUVEAU") + QByteArray(2000, '\x55');
const QString kFailure = QStringLiteral("Le téléchargement du fichier [%1] a échoué. Veuillez réessayer et contacter "
                                        "Tolvarenix au 01 23 45 67 89 si le problème persiste.");

struct Row {
    QString location;
    QString clientName;
    QString version;
    QString serverName;
    qint64 size = 0;
    bool compressed = false;
};

} // namespace

Q_DECLARE_METATYPE(Row)

// The update search against the private MariaDB (table LiveUpdate) and the
// HTTPS test server. Only this test uses LiveUpdate: each case replaces the
// rows of the edition with its own.
class TestUpdates : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();
    void isNewerVersion_data();
    void isNewerVersion();
    void aboutBoxTexts();
    void replacementIsRegisteredAndRecognisedOnceInstalled();
    void eachReplacementGoesToItsOwnFolder();
    void compressedReplacementRegistersEveryFile();
    void nothingToDo_data();
    void nothingToDo();
    void refused_data();
    void refused();
    void updaterMissing();

private:
    void setRows(const QList<Row> &rows);
    void serve(const QString &name, const QByteArray &content);
    // One search in the test's program folder; the dialogs answer No.
    void search(const QString &webServer, ScriptedDialogs &dialogs);

    QString m_https, m_http, m_root, m_site;
};

void TestUpdates::initTestCase()
{
    m_https = qEnvironmentVariable("TOLVARENIX_HTTPS_URL");
    m_http = qEnvironmentVariable("TOLVARENIX_HTTP_URL");
    m_root = qEnvironmentVariable("TOLVARENIX_HTTP_ROOT");
    const int port = qEnvironmentVariableIntValue("TOLVARENIX_MARIADB_PORT");
    if (m_https.isEmpty() || m_root.isEmpty() || port == 0)
        QSKIP("test services not started (run ./test.sh)");
    m_site = QStringLiteral("/updates-%1").arg(QUuid::createUuid().toString(QUuid::Id128));

    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QODBC"), RemoteDatabase::connectionName());
    db.setDatabaseName(QStringLiteral("DRIVER={/usr/lib/x86_64-linux-gnu/odbc/libmaodbc.so};SERVER=127.0.0.1;"
                                      "PORT=%1;DATABASE=%2;UID=%3;PWD={%4};CHARSET=utf8mb4;%5")
                           .arg(port)
                           .arg(qEnvironmentVariable("TOLVARENIX_MARIADB_DATABASE"),
                                qEnvironmentVariable("TOLVARENIX_MARIADB_USER"),
                                qEnvironmentVariable("TOLVARENIX_MARIADB_PASSWORD"), ServiceDatabase::tlsOptions()));
    QVERIFY2(db.open(), qPrintable(db.lastError().text()));
}

void TestUpdates::init()
{
    Globals::reset();
}

void TestUpdates::cleanupTestCase()
{
    if (QSqlDatabase::contains(RemoteDatabase::connectionName())) {
        setRows({});
        QSqlDatabase::database(RemoteDatabase::connectionName()).close();
        QSqlDatabase::removeDatabase(RemoteDatabase::connectionName());
    }
}

void TestUpdates::setRows(const QList<Row> &rows)
{
    QSqlQuery q(QSqlDatabase::database(RemoteDatabase::connectionName()));
    QVERIFY(q.exec(QStringLiteral("DELETE FROM LiveUpdate WHERE SQL_Version='TolvarenixLight'")));
    for (const Row &r : rows) {
        QVERIFY(q.prepare(QStringLiteral(
            "INSERT INTO LiveUpdate (SQL_Version, Client_File_Location, Client_File_Name, Version, Module, Taille, "
            "Compressed, Compress_PWD, Serveur_File_Name) VALUES ('TolvarenixLight', :loc, :name, :version, "
            "'Module de test', :size, :compressed, '', :server)")));
        q.bindValue(QStringLiteral(":loc"), r.location);
        q.bindValue(QStringLiteral(":name"), r.clientName);
        q.bindValue(QStringLiteral(":version"), r.version);
        q.bindValue(QStringLiteral(":server"), r.serverName);
        q.bindValue(QStringLiteral(":size"), r.size);
        q.bindValue(QStringLiteral(":compressed"), int(r.compressed));
        QVERIFY2(q.exec(), qPrintable(q.lastError().text()));
    }
}

void TestUpdates::serve(const QString &name, const QByteArray &content)
{
    writeFile(m_root + m_site + QStringLiteral("/programmes/liveupdate/") + name, content);
}

void TestUpdates::search(const QString &webServer, ScriptedDialogs &dialogs)
{
    IniFile(ProgramFolder::configurationFile()).writeString("Main", "WebServer", webServer + m_site);
    HttpClient http;
    http.setCaFile(qEnvironmentVariable("TOLVARENIX_HTTPS_CA"));
    http.setDefaultServer(webServer);
    QProgressBar bar;
    Downloader downloader(http, bar, [](bool) { return true; });
    int quits = 0;
    UpdateSearch search({[](bool) { return true; }, &downloader, [&] { ++quits; }});
    dialogs.answer({false});
    search.run();
    QCOMPARE(quits, 0);
}

void TestUpdates::isNewerVersion_data()
{
    QTest::addColumn<QString>("current");
    QTest::addColumn<QString>("candidate");
    QTest::addColumn<bool>("newer");
    QTest::newRow("numbers, not text") << "1.2" << "1.10" << true;
    QTest::newRow("older") << "10.0.0.0" << "2.0.0.0" << false;
    QTest::newRow("equal") << "1.2.0.0" << "1.2.0.0" << false;
    QTest::newRow("shorter is not newer") << "1.0.0.0" << "1.0.0" << false;
    QTest::newRow("last part") << "1.2.0.0" << "1.2.0.1" << true;
    QTest::newRow("plain numbers") << "2" << "3" << true;
    QTest::newRow("plain text") << "a" << "3" << false;
}

void TestUpdates::isNewerVersion()
{
    QFETCH(QString, current);
    QFETCH(QString, candidate);
    QFETCH(bool, newer);
    QCOMPARE(ModuleVersions::IsNewerVersion(current, candidate), newer);
}

void TestUpdates::aboutBoxTexts()
{
    TestHome home;
    TfAbout about({});
    QCOMPARE(about.windowTitle(), QStringLiteral("A propos de Tolvarenix Light"));
    // The compiled-in version, always in four parts.
    QStringList parts = QStringLiteral(TOLVARENIX_VERSION).split('.');
    while (parts.size() < 4)
        parts << "0";
    const QString version = parts.join('.');
    const QString date = QFileInfo(ProgramFolder::programFile()).lastModified().toString("dd/MM/yyyy");
    QCOMPARE(about.label("lVersion")->text(), "Tolvarenix Light version " + version + " du " + date);
    QCOMPARE(about.label("lDemo")->text(), QStringLiteral("VERSION ALLÉGÉE"));
    QCOMPARE(about.label("Label8")->text() + ' ' + about.label("Label9")->text(),
             QStringLiteral("Tolvarenix ne possède pas de lien avec toute autre structure active dans le domaine "
                            "de la santé."));
    QVERIFY(about.label("lTelephone")->text().endsWith("01 23 45 67 89"));
    QCOMPARE(about.bSearchUpdate()->text(), QStringLiteral("Rechercher les mises à jour"));
    QCOMPARE(ModuleVersions::GetFileVersion(ProgramFolder::programFile()).text(), version);
}

void TestUpdates::replacementIsRegisteredAndRecognisedOnceInstalled()
{
    TestHome home;
    home.write("Modules/module.bin", "ancien");
    home.write("Updater", "#!/bin/sh\n");
    serve("module-v2.bin", kNewModule);
    setRows({{"C:\\Tolvarenix\\Modules", "module.bin", "1.2.0.0", "module-v2.bin"}});
    ScriptedDialogs dialogs;

    search(m_https, dialogs);
    QCOMPARE(readFile(home.file("Update/Modules/module.bin")), kNewModule);
    QCOMPARE(readFile(home.file("Modules/module.bin")), QByteArray("ancien"));
    QVERIFY(Globals::RunUpdaterOnExit);
    QCOMPARE(dialogs.texts(), QStringList{QStringLiteral("La mise à jour des composants sera finalisée après "
                                                         "fermeture de Tolvarenix Light.\n\nVoulez-vous fermer le "
                                                         "programme maintenant ?")});
    IniFile updater(home.file("Updater.ini"));
    QCOMPARE(updater.readInteger("Main", "NbFilesToInstal", 0), 1);
    QCOMPARE(updater.readString("File_1", "Name"), QStringLiteral("Modules/module.bin"));
    QCOMPARE(updater.readString("File_1", "Destination"), home.file("Modules/"));

    // Not yet installed: a later search registers it again, numbered on.
    search(m_https, dialogs);
    QCOMPARE(updater.readInteger("Main", "NbFilesToInstal", 0), 2);
    QCOMPARE(updater.readString("File_2", "Name"), QStringLiteral("Modules/module.bin"));

    // Once the updater has put it in place, it is up to date.
    QVERIFY(QFile::remove(home.file("Modules/module.bin")));
    QVERIFY(QFile::copy(home.file("Update/Modules/module.bin"), home.file("Modules/module.bin")));
    ScriptedDialogs after;
    search(m_https, after);
    QVERIFY(after.shown.isEmpty());
    QVERIFY(!Globals::RunUpdaterOnExit);
    QCOMPARE(updater.readInteger("Main", "NbFilesToInstal", 0), 2);
}

void TestUpdates::eachReplacementGoesToItsOwnFolder()
{
    TestHome home;
    // Two modules of the same file name: each waits in "Update/" apart.
    home.write("a.bin", "a");
    home.write("Outils/a.bin", "b");
    home.write("Updater", "#!/bin/sh\n");
    serve("a.bin", "A2");
    serve("b.bin", "B2");
    setRows({{"C:\\TOLVARENIX\\", "a.bin", "2.0", "a.bin"}, {"C:\\TOLVARENIX\\Outils\\", "a.bin", "2.0", "b.bin"}});
    ScriptedDialogs dialogs;
    search(m_https, dialogs);

    IniFile updater(home.file("Updater.ini"));
    QCOMPARE(updater.readInteger("Main", "NbFilesToInstal", 0), 2);
    QCOMPARE(updater.readString("File_1", "Name") + updater.readString("File_1", "Destination"),
             "a.bin" + home.path());
    QCOMPARE(updater.readString("File_2", "Name") + updater.readString("File_2", "Destination"),
             "Outils/a.bin" + home.file("Outils/"));
    QCOMPARE(readFile(home.file("Update/" + updater.readString("File_1", "Name"))), QByteArray("A2"));
    QCOMPARE(readFile(home.file("Update/" + updater.readString("File_2", "Name"))), QByteArray("B2"));
    QVERIFY(!updater.hasKey("File_3", "Name"));
}

void TestUpdates::compressedReplacementRegistersEveryFile()
{
    TestHome home;
    home.write("Modules/module.bin", "ancien");
    home.write("Updater", "#!/bin/sh\n");
    QTemporaryDir source;
    writeFile(source.filePath("module.bin"), kNewModule);
    writeFile(source.filePath("module.dat"), "donnees");
    writeFile(source.filePath("lang/fr.txt"), "francais");
    makeArchive(m_root + m_site + "/programmes/liveupdate/module.7z", source.path(), {});
    // The size the service gives is out of date: only the progress uses it.
    setRows({{"C:\\TOLVARENIX\\Modules", "module.bin", "2.0", "module.7z", 12, true}});
    Globals::SevenZipFolder = QStringLiteral("/usr/bin/");
    ScriptedDialogs dialogs;
    search(m_https, dialogs);

    IniFile updater(home.file("Updater.ini"));
    QCOMPARE(updater.readInteger("Main", "NbFilesToInstal", 0), 3);
    QStringList registered;
    for (int i = 1; i <= 3; ++i) {
        const QString section = "File_" + QString::number(i);
        const QString name = updater.readString(section, "Name");
        QCOMPARE(readFile(home.file("Update/" + name)), readFile(source.filePath(name.section('/', 1))));
        registered << name + " -> " + updater.readString(section, "Destination");
    }
    QCOMPARE(registered, (QStringList{"Modules/lang/fr.txt -> " + home.file("Modules/lang/"),
                                      "Modules/module.bin -> " + home.file("Modules/"),
                                      "Modules/module.dat -> " + home.file("Modules/")}));
}

void TestUpdates::nothingToDo_data()
{
    QTest::addColumn<QByteArray>("manifest");
    QTest::addColumn<QString>("version");
    QTest::addColumn<bool>("installed");
    QTest::newRow("equal version") << QByteArray("[module.bin]\nVersion=1.2.0.0\n") << "1.2.0.0" << true;
    QTest::newRow("older version") << QByteArray("[module.bin]\nVersion=10.0.0.0\n") << "2.0.0.0" << true;
    QTest::newRow("new module") << QByteArray() << "1.2.0.0" << false;
}

// Up to date, or a new module that goes straight into place: nothing
// registered and nothing shown.
void TestUpdates::nothingToDo()
{
    QFETCH(QByteArray, manifest);
    QFETCH(QString, version);
    QFETCH(bool, installed);
    TestHome home;
    if (installed) {
        home.write("Modules/module.bin", "en place");
        home.write("Modules/Versions.ini", manifest);
    }
    serve("module-v2.bin", kNewModule);
    setRows({{"C:\\TOLVARENIX\\Modules\\", "module.bin", version, "module-v2.bin"}});
    ScriptedDialogs dialogs;
    search(m_https, dialogs);

    QVERIFY(dialogs.shown.isEmpty());
    QVERIFY(!Globals::RunUpdaterOnExit);
    QVERIFY(!QFile::exists(home.file("Updater.ini")));
    QVERIFY(!QFile::exists(home.file("Update/module.bin")));
    QCOMPARE(readFile(home.file("Modules/module.bin")), installed ? QByteArray("en place") : kNewModule);
    if (!installed) // its version is known from now on
        QCOMPARE(ModuleVersions::GetFileVersion(home.file("Modules/module.bin")).text(), QStringLiteral("1.2.0.0"));
}

void TestUpdates::refused_data()
{
    QTest::addColumn<bool>("https");
    QTest::addColumn<Row>("row");
    QTest::addColumn<QString>("message");
    const QString failure = kFailure.arg("evil.bin");
    QTest::newRow("module name with a path") << true << Row{"C:\\TOLVARENIX\\", "..\\evil.bin", "2.0", "evil.bin"}
                                             << failure;
    QTest::newRow("module name with a slash") << true << Row{"C:\\TOLVARENIX\\", "../evil.bin", "2.0", "evil.bin"}
                                              << failure;
    QTest::newRow("location leaving the folder") << true << Row{"C:\\TOLVARENIX\\..\\..", "evil.bin", "2.0", "evil.bin"}
                                                 << failure;
    QTest::newRow("server name with a path") << true << Row{"C:\\TOLVARENIX\\", "evil.bin", "2.0", "../evil.bin"}
                                             << kFailure.arg("../evil.bin");
    QTest::newRow("plain http") << false << Row{"C:\\TOLVARENIX\\", "evil.bin", "2.0", "evil.bin"} << failure;
    QTest::newRow("version not a number")
        << true << Row{"C:\\TOLVARENIX\\", "evil.bin", "x.1", "evil.bin"}
        << QStringLiteral("Erreur lors de la recherche des mises à jour : 'x' n'est pas un nombre entier valide");
}

void TestUpdates::refused()
{
    QFETCH(bool, https);
    QFETCH(Row, row);
    QFETCH(QString, message);
    TestHome home;
    home.write("evil.bin", "en place");
    home.write("Updater", "#!/bin/sh\n");
    serve("evil.bin", kNewModule);
    setRows({row});
    ScriptedDialogs dialogs;
    search(https ? m_https : m_http, dialogs);

    QCOMPARE(dialogs.texts(), QStringList{message});
    QVERIFY(!Globals::RunUpdaterOnExit);
    QVERIFY(!QFile::exists(home.file("Updater.ini")));
    QVERIFY(!QFile::exists(home.path() + "../evil.bin"));
    QVERIFY(!QFile::exists(home.path() + "../../evil.bin"));
    QVERIFY(!QFile::exists(home.file("Update/evil.bin")));
    QCOMPARE(readFile(home.file("evil.bin")), QByteArray("en place"));
}

void TestUpdates::updaterMissing()
{
    TestHome home;
    home.write("module.bin", "ancien");
    serve("module.bin", kNewModule);
    setRows({{"", "module.bin", "1.1.0.0", "module.bin"}});
    ScriptedDialogs dialogs;
    search(m_https, dialogs);

    QCOMPARE(dialogs.texts(), QStringList{QStringLiteral("Le programme d'installation des mises à jour n'est pas "
                                                         "installé sur ce poste. Veuillez contacter Tolvarenix au "
                                                         "01 23 45 67 89.")});
    QVERIFY(!Globals::RunUpdaterOnExit);
    QCOMPARE(IniFile(home.file("Updater.ini")).readInteger("Main", "NbFilesToInstal", 0), 1);
}

QTEST_MAIN(TestUpdates)
#include "tst_updates.moc"
